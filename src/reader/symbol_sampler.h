#pragma once
// Reading a located finder: the mode-message ring through the finder's transform, the grid
// transform refined on the module edges of the whole symbol, and the module grid.

#include <cmath>
#include <optional>
#include <utility>
#include <vector>

#include "detect/symbol_candidate.h"
#include "geometry/data_grid_sampling.h"
#include "geometry/homography.h"
#include "reader/binarizer.h"
#include "symbol/bit_ring.h"

namespace Aztec {

// Grid-to-image mapping of a symbol: one transform for all of it, or, for a large full-range
// symbol, one per cell of its reference grid (the lines every 16 modules through the centre),
// which also follows a curved or lens-distorted symbol.
class ModuleMap {
 public:
  ModuleMap(const PerspectiveTransform& t) : single_(t) {}  // NOLINT(google-explicit-constructor)
  // Cells of the grid lines -16 (k + 1) .. 16 (k + 1), row by row of cell columns:
  // cells[(cx + k + 1) * (2 k + 2) + cy + k + 1] maps the square of half-side 8 onto the cell
  // with top-left grid corner (16 cx, 16 cy).
  ModuleMap(int k, std::vector<PerspectiveTransform> cells) : k_(k), cells_(std::move(cells)) {}

  Point2D map(double gx, double gy) const {
    const PerspectiveTransform& t = local(gx, gy);
    return apply(t, gx, gy);
  }

  // The transform that serves grid point (gx, gy); moves the point into its coordinates.
  const PerspectiveTransform& local(double& gx, double& gy) const {
    if (k_ < 0) return single_;
    const int cx = cell(gx), cy = cell(gy);
    gx -= 16.0 * cx + 8.0;
    gy -= 16.0 * cy + 8.0;
    return cells_[static_cast<std::size_t>((cx + k_ + 1) * (2 * k_ + 2) + cy + k_ + 1)];
  }

  // PerspectiveTransform::map, inline for the sampling loops.
  static Point2D apply(const PerspectiveTransform& t, double x, double y) {
    const double w = t.g * x + t.h * y + 1.0;
    return {(t.a * x + t.b * y + t.c) / w, (t.d * x + t.e * y + t.f) / w};
  }

 private:
  int cell(double g) const {
    const int c = static_cast<int>(std::floor(g / 16.0));
    return c < -k_ - 1 ? -k_ - 1 : c > k_ ? k_ : c;
  }

  PerspectiveTransform single_;
  int k_ = -1;
  std::vector<PerspectiveTransform> cells_;
};

// The luminance plane in one polarity: dark symbol modules read low in both.
class PolarPlane {
 public:
  PolarPlane(const LumaPlane& plane, bool inverted) : plane_(plane), inverted_(inverted) {}
  double value(double x, double y) const {
    const double v = plane_.bilinear(x, y);
    return inverted_ ? 255.0 - v : v;
  }
  // Mean of five readings around a grid point: the module's value, steadier than one reading.
  double moduleValue(const ModuleMap& t, double gx, double gy) const;
  const LumaPlane& plane() const { return plane_; }
  bool inverted() const { return inverted_; }

 private:
  LumaPlane plane_;
  bool inverted_;
};

// The grid transform from the corners of the finder edge at `edgeRadius` modules (the corners in
// image order clockwise from the top-left one); nothing when the fit is degenerate.
std::optional<PerspectiveTransform> finderTransform(const std::array<Point2D, 4>& corners, double edgeRadius);

// Mean dark and light levels of the finder rings through a transform.
struct Levels {
  double dark = 0.0;
  double light = 0.0;
};
Levels finderLevels(const PolarPlane& plane, const ModuleMap& t, bool fullRange);

// Finder modules (the rings up to the outermost dark one) that disagree with the pattern through
// a transform, at the midpoint of the finder's levels; all of them when it shows no contrast.
int finderPatternErrors(const PolarPlane& plane, const PerspectiveTransform& t, bool fullRange);

// The mode-message ring binarised at a few thresholds between the finder's levels, in the
// order to try them (40 or 56 samples, index 0 at the top-left corner module, clockwise).
std::vector<BitRing> modeRings(const PolarPlane& plane, const PerspectiveTransform& t, bool fullRange,
                               double scale);

// Refines the transform on the edges between modules of different colour, growing outwards
// from the finder to the whole symbol (or to `maxRadius` modules from the centre). Returns the
// input when the edges give no better fit.
PerspectiveTransform refineOnEdges(const PolarPlane& plane, const PerspectiveTransform& t,
                                   const SymbolCandidate& params, int maxRadius = 1 << 20);

// A full-range symbol with reference-grid lines at least 32 modules out: the grid crossings
// found along the lines from `t` outwards, searched again until they stop moving, and one
// transform per grid cell through them. Nothing for a smaller symbol or when too few crossings
// show their lines.
std::optional<ModuleMap> gridCellMap(const PolarPlane& plane, const PerspectiveTransform& t,
                                     const SymbolCandidate& params);

// Module values of the whole symbol, [column][row], through a transform.
struct ModuleValues {
  int size = 0;
  std::vector<double> value;      // size x size, column-major: value[x * size + y]
  std::vector<double> threshold;  // local threshold per module
};
ModuleValues sampleModules(const PolarPlane& plane, const ModuleMap& t, const SymbolCandidate& params);

// The grid with every threshold moved by `shift` times the local contrast estimate.
SampledGrid binarizeModules(const ModuleValues& values, double shift, double contrast);

// Modules of the finder and orientation marks that disagree with the pattern they must show.
int finderMismatches(const SampledGrid& grid, const SymbolCandidate& params);

}  // namespace Aztec

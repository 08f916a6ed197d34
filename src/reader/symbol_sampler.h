#pragma once
// Reading a located finder: the mode-message ring through the finder's transform, the grid
// transform refined on the module edges of the whole symbol, and the module grid.

#include <optional>
#include <vector>

#include "detect/symbol_candidate.h"
#include "geometry/data_grid_sampling.h"
#include "geometry/homography.h"
#include "reader/binarizer.h"
#include "symbol/bit_ring.h"

namespace Aztec {

// The luminance plane in one polarity: dark symbol modules read low in both.
class PolarPlane {
 public:
  PolarPlane(const LumaPlane& plane, bool inverted) : plane_(plane), inverted_(inverted) {}
  double value(double x, double y) const {
    const double v = plane_.bilinear(x, y);
    return inverted_ ? 255.0 - v : v;
  }
  // Mean of five readings around a grid point: the module's value, steadier than one reading.
  double moduleValue(const PerspectiveTransform& t, double gx, double gy) const;
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
Levels finderLevels(const PolarPlane& plane, const PerspectiveTransform& t, bool fullRange);

// Finder modules (the rings up to the outermost dark one) that disagree with the pattern through
// a transform, at the midpoint of the finder's levels; all of them when it shows no contrast.
int finderPatternErrors(const PolarPlane& plane, const PerspectiveTransform& t, bool fullRange);

// The mode-message ring binarised at a few thresholds between the finder's levels, in the
// order to try them (40 or 56 samples, index 0 at the top-left corner module, clockwise).
std::vector<BitRing> modeRings(const PolarPlane& plane, const PerspectiveTransform& t, bool fullRange,
                               double scale);

// Refines the transform on the edges between modules of different colour, growing outwards
// from the finder to the whole symbol. Returns the input when the edges give no better fit.
PerspectiveTransform refineOnEdges(const PolarPlane& plane, const PerspectiveTransform& t,
                                   const SymbolCandidate& params);

// Module values of the whole symbol, [column][row], through a transform.
struct ModuleValues {
  int size = 0;
  std::vector<double> value;      // size x size, column-major: value[x * size + y]
  std::vector<double> threshold;  // local threshold per module
};
ModuleValues sampleModules(const PolarPlane& plane, const PerspectiveTransform& t,
                           const SymbolCandidate& params);

// The grid with every threshold moved by `shift` times the local contrast estimate.
SampledGrid binarizeModules(const ModuleValues& values, double shift, double contrast);

// Modules of the finder and orientation marks that disagree with the pattern they must show.
int finderMismatches(const SampledGrid& grid, const SymbolCandidate& params);

}  // namespace Aztec

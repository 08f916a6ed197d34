#pragma once
// Sampling a symbol whose mode message was read: the grid transform refined on the module edges
// of the whole symbol or, for a large full-range symbol, one per cell of its reference grid, the module
// values with their local thresholds, and the module grid.

#include <optional>
#include <vector>

#include "detect/symbol_candidate.h"
#include "geometry/data_grid_sampling.h"
#include "geometry/homography.h"
#include "reader/finder_fit.h"
#include "reader/module_map.h"
#include "reader/polar_plane.h"

namespace Aztec::detail {

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

// Where one transform does not hold the whole symbol (a curved label, a lens), how far each
// module lies off it, in modules: module (x, y) lies at t.map(x - half + dx, y - half + dy).
// Measured on the edges between modules of different colour, grown outwards from the finder.
struct GridOffsets {
  int size = 0;
  std::vector<double> dx, dy;  // size x size, column-major like ModuleValues
};
// Nothing for a full-range symbol whose edges mostly lie where the one transform puts them.
std::optional<GridOffsets> localGridOffsets(const PolarPlane& plane, const PerspectiveTransform& t,
                                            const SymbolCandidate& params);

// Module values through a transform and per-module offsets from it.
ModuleValues sampleModulesAt(const PolarPlane& plane, const ModuleMap& t, const SymbolCandidate& params,
                             const GridOffsets& offsets);

// Module values with the share `spill` of each of the four neighbours taken out again: a blur
// as wide as a module (defocus) mixes every module into the next. Outside the symbol is the
// light quiet zone.
ModuleValues unmixModules(const ModuleValues& values, double spill, const PolarPlane& plane,
                          const ModuleMap& t, const SymbolCandidate& params);

// The grid with every threshold moved by `shift` times the local contrast estimate.
SampledGrid binarizeModules(const ModuleValues& values, double shift, double contrast);

// Modules of the finder and orientation marks that disagree with the pattern they must show.
int finderMismatches(const SampledGrid& grid, const SymbolCandidate& params);

}  // namespace Aztec::detail

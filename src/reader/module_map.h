#pragma once
// Grid-to-image mapping of a symbol: one transform for all of it, or, for a large full-range
// symbol, one per cell of its reference grid (the lines every 16 modules through the centre),
// which also follows a curved or lens-distorted symbol.

#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

#include "geometry/homography.h"

namespace Aztec::detail {

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

}  // namespace Aztec::detail

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

// x[i] /= w[i] and y[i] /= w[i] for i < count: the last step of many perspective maps at once.
// Out of line: inlined, GCC 12 leaves the loop scalar.
[[gnu::noinline]] inline void divideBy(double* x, double* y, const double* w, int count) {
  for (int i = 0; i < count; ++i) {
    x[i] /= w[i];
    y[i] /= w[i];
  }
}

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

  // map(gx[i], gy[i]) into (x[i], y[i]) for i < count, by the same arithmetic.
  void map(const double* gx, const double* gy, int count, double* x, double* y) const {
    constexpr int kChunk = 64;
    double u[kChunk], v[kChunk], w[kChunk];
    const PerspectiveTransform* through[kChunk];
    for (int start = 0; start < count; start += kChunk) {
      const int m = count - start < kChunk ? count - start : kChunk;
      for (int i = 0; i < m; ++i) {
        u[i] = gx[start + i], v[i] = gy[start + i];
        through[i] = &local(u[i], v[i]);
      }
      // Runs of points through one transform at once.
      for (int from = 0, to = 0; from < m; from = to) {
        while (to < m && through[to] == through[from]) ++to;
        numerators(*through[from], u, v, from, to, x + start, y + start, w);
      }
      divideBy(x + start, y + start, w, m);
    }
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
  // apply() for points from .. to - 1, its divisions left for divideBy. Out of line: inlined,
  // GCC 12 leaves the loop scalar.
  [[gnu::noinline]] static void numerators(const PerspectiveTransform& t, const double* u, const double* v,
                                           int from, int to, double* x, double* y, double* w) {
    const PerspectiveTransform c = t;  // a copy, which the stores cannot alias
    for (int i = from; i < to; ++i) {
      w[i] = c.g * u[i] + c.h * v[i] + 1.0;
      x[i] = c.a * u[i] + c.b * v[i] + c.c;
      y[i] = c.d * u[i] + c.e * v[i] + c.f;
    }
  }

  int cell(double g) const {
    const int c = static_cast<int>(std::floor(g / 16.0));
    return c < -k_ - 1 ? -k_ - 1 : c > k_ ? k_ : c;
  }

  PerspectiveTransform single_;
  int k_ = -1;
  std::vector<PerspectiveTransform> cells_;
};

}  // namespace Aztec::detail

#pragma once
// Detector::sampleAt for the hot loops of the grid-line search and the block sampling: the
// same mapping, term for term in the same order, and the same pixel, with the transform and
// image held in locals. The batch forms map a run of points along one line first (a loop the
// compiler runs two lanes at a time; per-lane IEEE results are the scalar ones) and read the
// pixels after.

#include <array>
#include <cstddef>
#include <cstdint>

#include "geometry/homography.h"
#include "image/gray_buf.h"

namespace Aztec {

class TransformSampler {
 public:
  TransformSampler(const PerspectiveTransform& transform, const Velmora::Image::GrayBuf* image)
      : t_(transform) {
    if (image != nullptr && image->width() > 0 && image->height() > 0) {
      pixels_ = image->row(0);
      stride_ = static_cast<std::size_t>(image->stride());
      width_ = image->width();
      height_ = image->height();
    }
  }

  std::uint32_t operator()(double x, double y) const {
    const double w = t_.g * x + t_.h * y + 1.0;
    return pixel((t_.a * x + t_.b * y + t_.c) / w, (t_.d * x + t_.e * y + t_.f) / w);
  }

  // The pixel under image point (X, Y), or OUTSIDE_IMAGE.
  std::uint32_t pixel(double X, double Y) const {
    // Truncation lands in 0..width-1 exactly when -1 < X < width (width >= 1); NaN and
    // infinities fail the comparisons, as they fail sampleAt's bounds test.
    if (!(X > -1.0 && Y > -1.0 && X < width_ && Y < height_)) return OUTSIDE_IMAGE;
    return pixels_[stride_ * static_cast<std::size_t>(static_cast<int>(Y)) +
                   static_cast<std::size_t>(static_cast<int>(X))];
  }

  // Image points of grid points (x, ys[i]).
  template <std::size_t N>
  void mapColumn(double x, const std::array<double, N>& ys, std::array<double, N>& outX,
                 std::array<double, N>& outY) const {
    const double gx = t_.g * x, ax = t_.a * x, dx = t_.d * x;
    const double h = t_.h, b = t_.b, c = t_.c, e = t_.e, f = t_.f;
    const double* y = ys.data();
    double* __restrict X = outX.data();
    double* __restrict Y = outY.data();
    for (std::size_t i = 0; i < N; ++i) {
      const double w = gx + h * y[i] + 1.0;
      X[i] = (ax + b * y[i] + c) / w;
      Y[i] = (dx + e * y[i] + f) / w;
    }
  }

  // Image points of grid points (xs[i], y).
  template <std::size_t N>
  void mapRow(const std::array<double, N>& xs, double y, std::array<double, N>& outX,
              std::array<double, N>& outY) const {
    const double hy = t_.h * y, by = t_.b * y, ey = t_.e * y;
    const double g = t_.g, a = t_.a, c = t_.c, d = t_.d, f = t_.f;
    const double* x = xs.data();
    double* __restrict X = outX.data();
    double* __restrict Y = outY.data();
    for (std::size_t i = 0; i < N; ++i) {
      const double w = g * x[i] + hy + 1.0;
      X[i] = (a * x[i] + by + c) / w;
      Y[i] = (d * x[i] + ey + f) / w;
    }
  }

 private:
  PerspectiveTransform t_;
  const std::uint8_t* pixels_ = nullptr;
  std::size_t stride_ = 0;
  // Without pixels no X passes -1 < X < -1: every point is outside.
  double width_ = -1.0;
  double height_ = -1.0;
};

}  // namespace Aztec

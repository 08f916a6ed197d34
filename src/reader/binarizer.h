#pragma once
// The whole-frame reader's view of the luminance plane and its local threshold.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Aztec::detail {

// A rectangle of a luminance plane (the region of interest, already clipped to the frame).
// Coordinates are relative to its top-left pixel; pixel (x, y) covers [x, x + 1) x [y, y + 1).
struct LumaPlane {
  const std::uint8_t* data = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;

  std::uint8_t at(int x, int y) const {
    return data[static_cast<std::size_t>(y) * static_cast<std::size_t>(stride) + static_cast<std::size_t>(x)];
  }

  // Bilinear reading at a continuous position; positions off the plane read the nearest border
  // pixel, so nothing outside the plane is ever touched. Inline: the samplers call it for
  // every module.
  double bilinear(double x, double y) const;
  // bilinear(x[i], y[i]) into out[i] for i < count, by the same arithmetic: the positions and
  // the blends of many points side by side, only the pixel reads one by one.
  void bilinear(const double* x, const double* y, int count, double* out) const;
};

inline double LumaPlane::bilinear(double x, double y) const {
  // Pixel centres sit at i + 0.5.
  double u = x - 0.5;
  double v = y - 0.5;
  if (!(u > 0.0)) u = 0.0;  // also catches NaN
  if (!(v > 0.0)) v = 0.0;
  const double maxU = width - 1;
  const double maxV = height - 1;
  if (u > maxU) u = maxU;
  if (v > maxV) v = maxV;
  const int i = static_cast<int>(u);
  const int j = static_cast<int>(v);
  const double fu = u - i;
  const double fv = v - j;
  // One row pointer and neighbour offsets that stay on the plane at its last column and row
  // (where the fraction is zero, so the neighbour's weight is too).
  const std::uint8_t* p =
      data + static_cast<std::size_t>(j) * static_cast<std::size_t>(stride) + static_cast<std::size_t>(i);
  const std::size_t dx = i + 1 < width ? 1 : 0;
  const std::size_t dy = j + 1 < height ? static_cast<std::size_t>(stride) : 0;
  const double top = p[0] + (p[dx] - p[0]) * fu;
  const double bottom = p[dy] + (p[dy + dx] - p[dy]) * fu;
  return top + (bottom - top) * fv;
}

// A local threshold for every 8 x 8 block of the plane, one pass over the pixels. Each block's
// threshold is the mid-range of the pixels around it at the finest of three scales (40, 160,
// 640 pixels) whose block means show contrast, so small modules get a tight window and a large
// module, uniform at a small scale, still gets a threshold between its colours. Blocks with no
// contrast at any scale are flagged flat: no finder centre can lie there.
class Binarizer {
 public:
  static constexpr int kShift = 3;  // 8-pixel blocks

  explicit Binarizer(const LumaPlane& plane);

  const LumaPlane& plane() const { return plane_; }
  int threshold(int x, int y) const { return thresholds_[index(x, y)]; }
  bool flat(int x, int y) const { return flat_[index(x, y)] != 0; }
  int blocksX() const { return blocksX_; }
  int blocksY() const { return blocksY_; }
  const std::vector<std::uint8_t>& flatBlocks() const { return flat_; }  // row by row
  // Row y of thresholds, one entry per block.
  const std::uint8_t* thresholdRow(int y) const {
    return thresholds_.data() + static_cast<std::size_t>(y >> kShift) * blocksX_;
  }
  const std::uint8_t* flatRow(int y) const {
    return flat_.data() + static_cast<std::size_t>(y >> kShift) * blocksX_;
  }

  // Dark in the given polarity: normal means below the threshold, inverted means above it.
  bool dark(int x, int y, bool inverted) const {
    const int v = plane_.at(x, y);
    const int t = threshold(x, y);
    return inverted ? v > t : v < t;
  }
  // The same at a continuous position, from the bilinear reading; inside the plane only.
  bool darkInterpolated(double x, double y, bool inverted) const {
    const double v = plane_.bilinear(x, y);
    const int t = threshold(static_cast<int>(x), static_cast<int>(y));
    return inverted ? v > t : v < t;
  }

 private:
  std::size_t index(int x, int y) const {
    return static_cast<std::size_t>(y >> kShift) * blocksX_ + static_cast<std::size_t>(x >> kShift);
  }

  LumaPlane plane_;
  int blocksX_ = 0;
  int blocksY_ = 0;
  std::vector<std::uint8_t> thresholds_;
  std::vector<std::uint8_t> flat_;
};

}  // namespace Aztec::detail

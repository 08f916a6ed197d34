#pragma once
// The whole-frame reader's view of the luminance plane and its local threshold.

#include <cstdint>
#include <vector>

namespace Aztec {

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
  // pixel, so nothing outside the plane is ever touched.
  double bilinear(double x, double y) const;
};

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

}  // namespace Aztec

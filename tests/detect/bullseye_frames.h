#pragma once
// Synthetic frames for the detection stages: clean square bull's-eyes drawn straight into a
// GrayBuf, so that every ring edge sits on a known pixel.

#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <functional>

#include "image/gray_buf.h"

namespace DetectTest {

inline constexpr std::uint8_t kDark = 20;
inline constexpr std::uint8_t kLight = 230;

inline int floorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// Chebyshev distance in modules of pixel (x, y) from the centre module at pixel (cx, cy);
// `module` is odd so that the centre module is centred on (cx, cy).
inline int ringOf(int x, int y, int cx, int cy, int module) {
  const int i = floorDiv(x - cx + module / 2, module);
  const int j = floorDiv(y - cy + module / 2, module);
  return std::max(std::abs(i), std::abs(j));
}

inline Velmora::Image::GrayBuf frameOf(int w, int h, const std::function<std::uint8_t(int, int)>& grey) {
  Velmora::Image::GrayBuf frame;
  frame.resize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) frame.setPixel(x, y, grey(x, y));
  return frame;
}

inline Velmora::Image::GrayBuf uniformFrame(int w, int h, std::uint8_t value) {
  return frameOf(w, h, [value](int, int) { return value; });
}

// Dark at even module distances up to outerDark (6: full-range finder, 4: compact), light
// everywhere else.
inline Velmora::Image::GrayBuf bullseyeFrame(int w, int h, int cx, int cy, int module, int outerDark) {
  return frameOf(w, h, [=](int x, int y) {
    const int k = ringOf(x, y, cx, cy, module);
    return k <= outerDark && k % 2 == 0 ? kDark : kLight;
  });
}

}  // namespace DetectTest

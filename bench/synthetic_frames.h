#pragma once
// Frames made to look like finders, without a symbol: checkerboards at several angles and
// scales, binary pixel noise, halftone print, dense text and barcode bars, at 640x480 and
// 1920x1080. Drawn procedurally (own generator, so the same frames on every platform).

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace AztecBench {

struct NamedFrame {
  std::string name;
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;  // stride = width
};

namespace synthetic {

// xorshift64*: a fixed sequence on every platform.
class Random {
 public:
  explicit Random(std::uint64_t seed) : s_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  std::uint32_t next() {
    s_ ^= s_ >> 12;
    s_ ^= s_ << 25;
    s_ ^= s_ >> 27;
    return static_cast<std::uint32_t>((s_ * 0x2545F4914F6CDD1Dull) >> 32);
  }
  int below(int n) { return static_cast<int>(next() % static_cast<std::uint32_t>(n)); }

 private:
  std::uint64_t s_;
};

// Each pixel the mean of 2 x 2 samples of `inside(x, y)` (true: dark), dark 30, light 220.
template <class F>
NamedFrame draw(std::string name, int w, int h, F&& inside) {
  NamedFrame f{std::move(name), w, h, std::vector<std::uint8_t>(static_cast<std::size_t>(w) * h)};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int dark = 0;
      for (int s = 0; s < 4; ++s) dark += inside(x + 0.25 + 0.5 * (s & 1), y + 0.25 + 0.5 * (s >> 1)) ? 1 : 0;
      f.pixels[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint8_t>(220 - dark * 190 / 4);
    }
  return f;
}

inline NamedFrame checkerboard(int w, int h, double cell, double degrees) {
  const double a = degrees * 3.141592653589793 / 180.0, c = std::cos(a), s = std::sin(a);
  char name[64];
  std::snprintf(name, sizeof name, "checker_%.1fpx_%gdeg", cell, degrees);
  return draw(name, w, h, [=](double x, double y) {
    const double u = (c * x + s * y) / cell, v = (-s * x + c * y) / cell;
    return ((static_cast<long>(std::floor(u)) + static_cast<long>(std::floor(v))) & 1) != 0;
  });
}

// Independent dark or light cells of `cell` pixels.
inline NamedFrame binaryNoise(int w, int h, int cell) {
  Random rng(static_cast<std::uint64_t>(w) * 31 + cell);
  const int cw = (w + cell - 1) / cell, ch = (h + cell - 1) / cell;
  std::vector<char> bits(static_cast<std::size_t>(cw) * ch);
  for (char& b : bits) b = static_cast<char>(rng.below(2));
  return draw("binary_noise_" + std::to_string(cell) + "px", w, h, [&](double x, double y) {
    return bits[static_cast<std::size_t>(static_cast<int>(y) / cell) * cw + static_cast<int>(x) / cell] != 0;
  });
}

// Dots on a grid turned 45 degrees, their size following a smooth picture.
inline NamedFrame halftone(int w, int h, double pitch) {
  const double k = std::sqrt(0.5);
  char name[64];
  std::snprintf(name, sizeof name, "halftone_%.0fpx", pitch);
  return draw(name, w, h, [=](double x, double y) {
    const double u = (k * x + k * y) / pitch, v = (-k * x + k * y) / pitch;
    const double du = u - std::floor(u) - 0.5, dv = v - std::floor(v) - 0.5;
    const double tone = 0.5 + 0.45 * std::sin(x * 0.013) * std::cos(y * 0.017);  // dark share
    return du * du + dv * dv < tone * 0.64;
  });
}

// Lines of 5 x 7 glyphs of random dots, `dot` pixels each, one dot apart.
inline NamedFrame denseText(int w, int h, int dot) {
  Random rng(static_cast<std::uint64_t>(w) * 7 + dot);
  std::vector<std::uint64_t> glyphs(64);
  for (auto& g : glyphs) g = (static_cast<std::uint64_t>(rng.next()) << 32 | rng.next()) & ((1ull << 35) - 1);
  const int cols = w / (6 * dot) + 1, rows = h / (9 * dot) + 1;
  std::vector<int> page(static_cast<std::size_t>(cols) * rows);
  for (int& c : page) c = rng.below(8) == 0 ? -1 : rng.below(64);  // spaces between words
  return draw("text_" + std::to_string(dot) + "px", w, h, [&](double x, double y) {
    const int px = static_cast<int>(x) / dot, py = static_cast<int>(y) / dot;
    const int gx = px % 6, gy = py % 9;
    if (gx >= 5 || gy >= 7) return false;
    const int g = page[static_cast<std::size_t>(py / 9) * cols + px / 6];
    return g >= 0 && ((glyphs[static_cast<std::size_t>(g)] >> (gy * 5 + gx)) & 1) != 0;
  });
}

// Bars of one to four units, at an angle.
inline NamedFrame bars(int w, int h, int unit, double degrees) {
  Random rng(static_cast<std::uint64_t>(w) * 13 + unit);
  std::vector<char> stripe;
  const int span = (w + h) * 2 / unit + 8;
  bool dark = true;
  while (static_cast<int>(stripe.size()) < span) {
    const int n = 1 + rng.below(4);
    for (int i = 0; i < n; ++i) stripe.push_back(dark);
    dark = !dark;
  }
  const double a = degrees * 3.141592653589793 / 180.0, c = std::cos(a), s = std::sin(a);
  char name[64];
  std::snprintf(name, sizeof name, "bars_%dpx_%gdeg", unit, degrees);
  return draw(name, w, h, [&, c, s](double x, double y) {
    const int i = static_cast<int>(std::floor((c * x + s * y) / unit)) + span / 2;
    return i >= 0 && i < span && stripe[static_cast<std::size_t>(i)] != 0;
  });
}

}  // namespace synthetic

// Every finder-like frame at both sizes, as recipes: drawing a 1920x1080 frame takes a while.
inline std::vector<std::function<NamedFrame()>> finderLikeRecipes() {
  std::vector<std::function<NamedFrame()>> out;
  for (const auto& [w, h] : {std::pair{640, 480}, std::pair{1920, 1080}}) {
    for (double cell : {1.5, 2.5, 4.0, 7.0, 12.0})
      for (double deg : {0.0, 3.0, 20.0, 45.0})
        out.push_back([=] { return synthetic::checkerboard(w, h, cell, deg); });
    for (int cell : {1, 2, 3, 5}) out.push_back([=] { return synthetic::binaryNoise(w, h, cell); });
    for (double pitch : {4.0, 6.0, 9.0}) out.push_back([=] { return synthetic::halftone(w, h, pitch); });
    for (int dot : {1, 2, 3}) out.push_back([=] { return synthetic::denseText(w, h, dot); });
    for (int unit : {2, 3, 5})
      for (double deg : {0.0, 30.0}) out.push_back([=] { return synthetic::bars(w, h, unit, deg); });
  }
  return out;
}

}  // namespace AztecBench

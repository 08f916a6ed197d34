// A busy 1920x1080 frame: a finder-like texture everywhere but around five symbols, one in each
// corner and one in the middle. Texture that keeps one part of the frame busy must not leave
// another part unread.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "support/reader_helpers.h"

namespace {

using AztecTest::EncodedSymbol;
using AztecTest::RenderOptions;
using AztecTest::SymbolKind;

struct Texture {
  const char* name;
  std::function<bool(int x, int y)> dark;
};

std::uint32_t hash(int x, int y) {
  std::uint32_t h = static_cast<std::uint32_t>(x) * 73856093u ^ static_cast<std::uint32_t>(y) * 19349663u;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  return h ^ (h >> 15);
}

TEST(BusyFrame, SymbolsInEveryCornerAndTheMiddleOfATexture) {
  constexpr int kWidth = 1920, kHeight = 1080;
  const double turn = 3.0 * 3.141592653589793 / 180.0;
  // Both give thousands of finder candidates all over the frame.
  const std::vector<Texture> textures = {
      {"binary noise, 2-pixel cells", [](int x, int y) { return (hash(x / 2, y / 2) & 1) != 0; }},
      {"checkerboard of 3 pixels turned 3 degrees",
       [&](int x, int y) {
         const double u = (std::cos(turn) * x + std::sin(turn) * y) / 3.0;
         const double v = (-std::sin(turn) * x + std::cos(turn) * y) / 3.0;
         return ((static_cast<long>(std::floor(u)) + static_cast<long>(std::floor(v))) & 1) != 0;
       }},
  };
  // Centres and kinds: the four corners and the middle.
  const double cx[5] = {170, kWidth - 170, 170, kWidth - 170, kWidth / 2.0};
  const double cy[5] = {170, 170, kHeight - 170, kHeight - 170, kHeight / 2.0};
  std::vector<EncodedSymbol> symbols;
  std::vector<std::string> messages;
  for (int k = 0; k < 5; ++k) {
    messages.push_back("BUSY FRAME SYMBOL " + std::to_string(k));
    symbols.push_back(
        AztecTest::encodeText(messages.back(), k % 2 ? SymbolKind::Compact : SymbolKind::FullRange));
  }
  for (const Texture& texture : textures) {
    std::vector<AztecTest::ScenePart> parts;
    for (int k = 0; k < 5; ++k) {
      const RenderOptions o{
          .moduleSize = 3.0 + 0.5 * k, .centerX = cx[k], .centerY = cy[k], .angleDegrees = 17.0 * k};
      parts.push_back({&symbols[static_cast<std::size_t>(k)], o});
    }
    Velmora::Image::GrayBuf image =
        AztecTest::renderScene(parts, {.width = kWidth, .height = kHeight, .noiseSigma = 3});
    // The texture everywhere beyond a quiet zone of three modules around each symbol.
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        bool nearSymbol = false;
        for (int k = 0; k < 5; ++k) {
          const double reach = (symbols[static_cast<std::size_t>(k)].size * 0.5 * std::sqrt(2.0) + 3.0) *
                               parts[static_cast<std::size_t>(k)].placement.moduleSize;
          nearSymbol |= std::hypot(x - cx[k], y - cy[k]) < reach;
        }
        if (!nearSymbol) image.setPixel(x, y, texture.dark(x, y) ? 25 : 225);
      }
    std::vector<std::string> read;
    for (const Aztec::ReadResult& r : AztecTest::readFrame(image)) read.push_back(AztecTest::textOf(r.bytes));
    std::sort(read.begin(), read.end());
    EXPECT_EQ(read, messages) << texture.name;
  }
}

}  // namespace

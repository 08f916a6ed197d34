// The local threshold: where it sees contrast, and that it splits a symbol's colours. Flat
// blocks are skipped by the finder search, so a block wrongly called flat hides a symbol.

#include "reader/binarizer.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "synth/symbol_frames.h"

namespace {

using namespace Aztec;
using namespace Aztec::detail;

LumaPlane planeOf(const Velmora::Image::GrayBuf& img) {
  return {img.row(0), img.width(), img.height(), img.stride()};
}

int flatBlocks(const Binarizer& b, int x0, int y0, int x1, int y1) {
  int flat = 0;
  for (int y = y0; y < y1; y += 8)
    for (int x = x0; x < x1; x += 8) flat += b.flat(x, y) ? 1 : 0;
  return flat;
}

TEST(Binarizer, PixelNoiseIsFlatAndSymbolsAreNot) {
  // Uniform and salt-and-pepper noise: single pixels jump, block means hardly move (a rare
  // block's means may spread by chance).
  std::mt19937 g(3);
  for (int kind = 0; kind < 2; ++kind) {
    std::vector<std::uint8_t> px(320 * 240);
    for (auto& v : px) v = static_cast<std::uint8_t>(kind == 0 ? g() % 256 : (g() % 10 == 0 ? 0 : 200));
    const Binarizer b(LumaPlane{px.data(), 320, 240, 320});
    EXPECT_GE(flatBlocks(b, 0, 0, 320, 240), 40 * 30 * 99 / 100) << kind;
  }
  // A full-range symbol at 1.5 pixels a module, its finder far from the quiet zone: every block
  // around the finder sees the symbol, and the threshold splits the finder's colours.
  const AztecTest::EncodedSymbol sym =
      AztecTest::encodeText(std::string(300, 'Q'), AztecTest::SymbolKind::FullRange);
  ASSERT_GE(sym.size, 41);
  for (const double module : {1.5, 4.0}) {
    const auto img = AztecTest::renderSymbol(sym, {.moduleSize = module, .noiseSigma = 6.0});
    const Binarizer b(planeOf(img));
    EXPECT_EQ(flatBlocks(b, 296, 216, 344, 264), 0) << module;
    const int t = b.threshold(320, 240);
    EXPECT_GT(t, 60) << module;
    EXPECT_LT(t, 190) << module;
  }
  // A uniform frame: flat everywhere.
  std::vector<std::uint8_t> grey(64 * 64, 128);
  EXPECT_EQ(flatBlocks(Binarizer(LumaPlane{grey.data(), 64, 64, 64}), 0, 0, 64, 64), 64);
}

}  // namespace

#include "support/symbol_frames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

using AztecTest::EncodedSymbol;
using AztecTest::RenderOptions;
using AztecTest::SymbolKind;
using Velmora::Image::GrayBuf;

bool isDark(const GrayBuf& img, double x, double y) {
  return img.pixelAt(static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y))) < 128;
}

std::vector<std::uint8_t> pixels(const GrayBuf& img) {
  return {img.row(0), img.row(0) + img.width() * img.height()};
}

// What the encoder chose (size, layers, codewords) is checked against decoded mode messages by
// the symbol and decoder tests; here what they take on trust: the bytes kept as given, refusals
// reported, flips exact.
TEST(EncodeSymbol, KeepsTheBytesReportsRefusalsAndFlipsExactly) {
  EXPECT_TRUE(AztecTest::encodeText("A").compact);
  AztecTest::SymbolRequest binary;
  for (int i = 0; i < 300; ++i) binary.message.push_back(static_cast<std::uint8_t>(0x80 + i % 120));
  const EncodedSymbol big = AztecTest::encodeSymbol(binary);
  EXPECT_GE(big.dataCodewords * big.codewordSize, 300 * 8);  // at least 8 bits a byte
  EXPECT_EQ(big.message, binary.message);
  EXPECT_THROW(AztecTest::encodeText(""), std::runtime_error);
  EXPECT_THROW(AztecTest::encodeText(std::string(200, 'Q'), SymbolKind::Compact, 1), std::runtime_error);
  EXPECT_THROW(AztecTest::encodeText("A", SymbolKind::FullRange, 33), std::runtime_error);

  EncodedSymbol s = AztecTest::encodeText("FLIP", SymbolKind::Compact, 2);
  const EncodedSymbol original = s;
  AztecTest::flipModules(s, {{0, 0}, {3, 18}});
  int changed = 0;
  for (int r = 0; r < s.size; ++r)
    for (int c = 0; c < s.size; ++c) changed += s.modules[r][c] != original.modules[r][c];
  EXPECT_EQ(changed, 2);
  EXPECT_NE(s.modules[3][18], original.modules[3][18]);
  EXPECT_THROW(AztecTest::flipModules(s, {{19, 0}}), std::out_of_range);
}

// Every module lands where turning the picture clockwise (after an optional mirror) puts it.
TEST(RenderSymbol, EveryModuleLandsWhereRotationAndMirrorPutIt) {
  const EncodedSymbol s = AztecTest::encodeText("ORIENT 7", SymbolKind::Compact, 2);
  const double ms = 6.0, cx = 150.0, cy = 110.0;
  for (int mirrored = 0; mirrored < 2; ++mirrored)
    for (int rotation = 0; rotation < 4; ++rotation) {
      SCOPED_TRACE(testing::Message() << "rotation " << rotation << " mirrored " << mirrored);
      RenderOptions o;
      o.width = 300, o.height = 220, o.moduleSize = ms, o.centerX = cx, o.centerY = cy;
      o.rotation = rotation, o.mirrored = mirrored != 0;
      const GrayBuf img = AztecTest::renderSymbol(s, o);
      int wrong = 0;
      for (int r = 0; r < s.size; ++r)
        for (int c = 0; c < s.size; ++c) {
          double x = c + 0.5 - s.size / 2.0, y = r + 0.5 - s.size / 2.0;
          if (mirrored) x = -x;
          for (int i = 0; i < rotation; ++i) std::swap(x, y), x = -x;
          wrong += isDark(img, cx + ms * x, cy + ms * y) != s.modules[r][c];
        }
      EXPECT_EQ(wrong, 0);
      EXPECT_EQ(img.pixelAt(0, 0), o.light);
    }
}

// Blur makes mid tones; noise has the requested spread; a tilt about the vertical axis
// foreshortens one side; a JPEG round trip really happens (more change at lower quality) yet
// keeps the picture. Every effect gives the same frame on every run.
TEST(RenderSymbol, BlurNoiseTiltAndJpeg) {
  const EncodedSymbol s = AztecTest::encodeText("NOISE", SymbolKind::FullRange, 4);
  RenderOptions o;
  o.moduleSize = 6.0;
  const std::vector<std::uint8_t> sharp = pixels(AztecTest::renderSymbol(s, o));
  auto midTones = [](const std::vector<std::uint8_t>& p) {
    return std::count_if(p.begin(), p.end(), [](int v) { return v > 60 && v < 190; });
  };
  EXPECT_EQ(midTones(sharp), 0);  // whole-pixel modules: no partial coverage
  o.blurSigma = 1.5;
  EXPECT_GT(midTones(pixels(AztecTest::renderSymbol(s, o))), 500);

  o.noiseSigma = 10.0, o.seed = 7;
  const std::vector<std::uint8_t> noisy = pixels(AztecTest::renderSymbol(s, o));
  EXPECT_EQ(noisy, pixels(AztecTest::renderSymbol(s, o)));
  double sum = 0.0, sq = 0.0;
  for (int i = 0; i < 640 * 100; ++i)
    sum += noisy[i], sq += double(noisy[i]) * noisy[i];  // the background strip
  const double mean = sum / (640 * 100);
  EXPECT_NEAR(mean, 230.0, 0.5);
  EXPECT_NEAR(std::sqrt(sq / (640 * 100) - mean * mean), 10.0, 0.5);

  o = RenderOptions{};
  o.moduleSize = 6.0, o.tiltDegrees = 15.0;
  const GrayBuf tilted = AztecTest::renderSymbol(s, o);
  int left = 0, right = 0;
  for (int x = 0; x < 320; ++x) {
    if (isDark(tilted, 320 - x - 0.5, 240.5)) left = x;
    if (isDark(tilted, 320 + x + 0.5, 240.5)) right = x;
  }
  EXPECT_LT(right + 3, left);

  o = RenderOptions{};
  o.moduleSize = 5.0, o.angleDegrees = 17.0;
  const std::vector<std::uint8_t> clean = pixels(AztecTest::renderSymbol(s, o));
  double previous = 1e9;
  for (int quality : {40, 90}) {
    o.jpegQuality = quality;
    const std::vector<std::uint8_t> lossy = pixels(AztecTest::renderSymbol(s, o));
    ASSERT_EQ(lossy.size(), clean.size());
    double diff = 0.0;
    for (std::size_t i = 0; i < clean.size(); ++i) diff += std::abs(lossy[i] - clean[i]);
    diff /= static_cast<double>(clean.size());
    EXPECT_GT(diff, 0.05) << quality;
    EXPECT_LT(diff, 4.0) << quality;
    EXPECT_LT(diff, previous) << quality;
    previous = diff;
    EXPECT_EQ(lossy, pixels(AztecTest::renderSymbol(s, o)));
  }
}

}  // namespace

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

std::vector<std::uint8_t> pixels(const GrayBuf& img) { return {img.row(0), img.row(0) + img.width() * img.height()}; }

TEST(EncodeSymbol, SizesCapacitiesAndReferenceGrid) {
  const struct { SymbolKind kind; int layers, size, wordBits, total; } cases[] = {
      {SymbolKind::Compact, 1, 15, 6, 17},      {SymbolKind::Compact, 4, 27, 8, 76},       {SymbolKind::FullRange, 1, 19, 6, 21},
      {SymbolKind::FullRange, 5, 37, 8, 120},   {SymbolKind::FullRange, 12, 67, 10, 364}, {SymbolKind::FullRange, 32, 151, 12, 1664}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    const EncodedSymbol s = AztecTest::encodeText("TICKET 42", c.kind, c.layers);
    EXPECT_EQ(s.compact, c.kind == SymbolKind::Compact);
    EXPECT_EQ(s.size, c.size);
    ASSERT_EQ(static_cast<int>(s.modules.size()), s.size);
    EXPECT_EQ(s.codewordSize, c.wordBits);
    EXPECT_EQ(s.totalCodewords, c.total);
    EXPECT_GE(s.dataCodewords * s.codewordSize, 9 * 5);  // nine characters, at least 5 bits each
    EXPECT_EQ(AztecTest::modeMessageRing(s).size(), s.compact ? 28u : 40u);
    // Full-range: the reference grid runs through the centre beyond the mode-message ring.
    for (int d = 8; !s.compact && d <= s.size / 2; ++d) EXPECT_EQ(s.modules[s.size / 2][s.size / 2 + d], d % 2 == 0) << d;
  }
  // Automatic choice, binary bytes (at least 8 bits each), more error correction asked.
  EXPECT_TRUE(AztecTest::encodeText("A").compact);
  AztecTest::SymbolRequest binary;
  for (int i = 0; i < 300; ++i) binary.message.push_back(static_cast<std::uint8_t>(0x80 + i % 120));
  const EncodedSymbol big = AztecTest::encodeSymbol(binary);
  EXPECT_GE(big.dataCodewords * big.codewordSize, 300 * 8);
  EXPECT_EQ(big.message, binary.message);
  binary.eccPercent = 50;
  const EncodedSymbol safer = AztecTest::encodeSymbol(binary);
  EXPECT_GE((safer.totalCodewords - safer.dataCodewords) * 2, safer.totalCodewords);

  EXPECT_THROW(AztecTest::encodeText(""), std::runtime_error);
  EXPECT_THROW(AztecTest::encodeText(std::string(200, 'Q'), SymbolKind::Compact, 1), std::runtime_error);
  EXPECT_THROW(AztecTest::encodeText("A", SymbolKind::FullRange, 33), std::runtime_error);
}

TEST(FlipModules, TogglesInPlaceAndRejectsOutside) {
  EncodedSymbol s = AztecTest::encodeText("FLIP", SymbolKind::Compact, 2);
  const EncodedSymbol original = s;
  AztecTest::flipModules(s, {{0, 0}, {3, 18}});
  EXPECT_NE(s.modules[3][18], original.modules[3][18]);
  EXPECT_EQ(s.modules[0][1], original.modules[0][1]);
  AztecTest::flipModules(s, {{0, 0}, {3, 18}});
  EXPECT_EQ(s.modules, original.modules);
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

TEST(RenderSymbol, NoiseBlurAndTilt) {
  const EncodedSymbol s = AztecTest::encodeText("NOISE", SymbolKind::FullRange, 4);
  RenderOptions o;
  o.moduleSize = 6.0;
  const std::vector<std::uint8_t> sharp = pixels(AztecTest::renderSymbol(s, o));
  auto midTones = [](const std::vector<std::uint8_t>& p) { return std::count_if(p.begin(), p.end(), [](int v) { return v > 60 && v < 190; }); };
  EXPECT_EQ(midTones(sharp), 0);  // whole-pixel modules: no partial coverage
  o.blurSigma = 1.5;
  EXPECT_GT(midTones(pixels(AztecTest::renderSymbol(s, o))), 500);

  // Deterministic noise of the requested spread on the background strip.
  o.noiseSigma = 10.0, o.seed = 7;
  const std::vector<std::uint8_t> noisy = pixels(AztecTest::renderSymbol(s, o));
  EXPECT_EQ(noisy, pixels(AztecTest::renderSymbol(s, o)));
  double sum = 0.0, sq = 0.0;
  for (int i = 0; i < 640 * 100; ++i) sum += noisy[i], sq += double(noisy[i]) * noisy[i];
  const double mean = sum / (640 * 100);
  EXPECT_NEAR(mean, 230.0, 0.5);
  EXPECT_NEAR(std::sqrt(sq / (640 * 100) - mean * mean), 10.0, 0.5);

  // A tilt about the vertical axis foreshortens one side along the centre row.
  o = RenderOptions{};
  o.moduleSize = 6.0, o.tiltDegrees = 15.0;
  const GrayBuf tilted = AztecTest::renderSymbol(s, o);
  int left = 0, right = 0;
  for (int x = 0; x < 320; ++x) {
    if (isDark(tilted, 320 - x - 0.5, 240.5)) left = x;
    if (isDark(tilted, 320 + x + 0.5, 240.5)) right = x;
  }
  EXPECT_LT(right + 3, left);
}

// A JPEG round trip really happens (pixels change, more at lower quality) yet keeps the picture:
// small mean difference, same frame on every run.
TEST(RenderSymbol, JpegRoundTripStaysClose) {
  const EncodedSymbol s = AztecTest::encodeText("JPEG 40", SymbolKind::Compact, 2);
  RenderOptions o;
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

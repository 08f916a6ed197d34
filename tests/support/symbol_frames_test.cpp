#include "support/symbol_frames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

namespace {

using AztecTest::EncodedSymbol;
using AztecTest::RenderOptions;
using AztecTest::SymbolKind;
using Velmora::Image::GrayBuf;

// GF(16) with x^4 + x + 1, the field of the mode message check words.
int gf16Mul(int a, int b) {
  int r = 0;
  for (int i = 0; i < 4; ++i)
    if (b & (1 << i)) r ^= a << i;
  for (int i = 7; i >= 4; --i)
    if (r & (1 << i)) r ^= 0x13 << (i - 4);
  return r;
}

// True when every syndrome at 2^1 .. 2^checkWords of the ring's 4-bit words is zero.
bool modeMessageConsistent(const std::vector<bool>& ring, int checkWords) {
  std::vector<int> words;
  for (std::size_t i = 0; i + 4 <= ring.size(); i += 4)
    words.push_back(ring[i] << 3 | ring[i + 1] << 2 | ring[i + 2] << 1 | ring[i + 3]);
  int root = 1;
  for (int j = 1; j <= checkWords; ++j) {
    root = gf16Mul(root, 2);
    int acc = 0;
    for (int w : words) acc = gf16Mul(acc, root) ^ w;
    if (acc != 0) return false;
  }
  return true;
}

bool isDark(const GrayBuf& img, double x, double y) {
  return img.pixelAt(static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y))) < 128;
}

std::vector<std::uint8_t> pixels(const GrayBuf& img) {
  std::vector<std::uint8_t> out;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) out.push_back(img.pixelAt(x, y));
  return out;
}

TEST(EncodeSymbol, CompactSizesCapacitiesAndModeMessage) {
  const int total[] = {17, 40, 51, 76};
  const int wordBits[] = {6, 6, 8, 8};
  for (int layers = 1; layers <= 4; ++layers) {
    SCOPED_TRACE(layers);
    EncodedSymbol s = AztecTest::encodeText("TICKET 42", SymbolKind::Compact, layers);
    EXPECT_TRUE(s.compact);
    EXPECT_EQ(s.layers, layers);
    EXPECT_EQ(s.size, 11 + 4 * layers);
    ASSERT_EQ(static_cast<int>(s.modules.size()), s.size);
    EXPECT_EQ(s.codewordSize, wordBits[layers - 1]);
    EXPECT_EQ(s.totalCodewords, total[layers - 1]);
    EXPECT_GE(s.dataCodewords * s.codewordSize, 9 * 5);  // nine characters, at least 5 bits each
    EXPECT_LT(s.dataCodewords, s.totalCodewords);
    std::vector<bool> ring = AztecTest::modeMessageRing(s);
    ASSERT_EQ(ring.size(), 28u);
    EXPECT_TRUE(modeMessageConsistent(ring, 5));
  }
}

TEST(EncodeSymbol, FullRangeSizesWithReferenceGridAndModeMessage) {
  struct Case {
    int layers, size, wordBits, total;
  };
  const Case cases[] = {{1, 19, 6, 21},    {2, 23, 6, 48},     {4, 31, 8, 88},     {5, 37, 8, 120},
                        {12, 67, 10, 364}, {23, 113, 12, 920}, {32, 151, 12, 1664}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.layers);
    EncodedSymbol s = AztecTest::encodeText("FULL RANGE 0123456789", SymbolKind::FullRange, c.layers);
    EXPECT_FALSE(s.compact);
    EXPECT_EQ(s.layers, c.layers);
    EXPECT_EQ(s.size, c.size);
    EXPECT_EQ(s.codewordSize, c.wordBits);
    EXPECT_EQ(s.totalCodewords, c.total);
    std::vector<bool> ring = AztecTest::modeMessageRing(s);
    ASSERT_EQ(ring.size(), 40u);
    EXPECT_TRUE(modeMessageConsistent(ring, 6));
    // The reference grid runs through the centre: every other module of the centre row is
    // dark beyond the finder (distance 8 on, outside the mode message ring).
    int mid = s.size / 2;
    for (int d = 8; d <= mid; ++d) EXPECT_EQ(s.modules[mid][mid + d], d % 2 == 0) << d;
  }
}

TEST(EncodeSymbol, AutomaticChoiceAndDataCodewordsFollowTheMessage) {
  EncodedSymbol small = AztecTest::encodeText("A");
  EXPECT_TRUE(small.compact);
  EXPECT_EQ(small.layers, 1);

  // Bytes above 0x7f go through binary shift: at least 8 bits each.
  AztecTest::SymbolRequest binary;
  for (int i = 0; i < 300; ++i) binary.message.push_back(static_cast<std::uint8_t>(0x80 + i % 120));
  EncodedSymbol big = AztecTest::encodeSymbol(binary);
  EXPECT_FALSE(big.compact);
  EXPECT_GE(big.dataCodewords * big.codewordSize, 300 * 8);
  EXPECT_LT(big.dataCodewords, big.totalCodewords);
  EXPECT_EQ(big.message, binary.message);

  // More error correction asked: a bigger symbol with at least that share of check words,
  // also when the size search is ours (a fixed symbol type).
  for (SymbolKind kind : {SymbolKind::Any, SymbolKind::Compact, SymbolKind::FullRange}) {
    SCOPED_TRACE(static_cast<int>(kind));
    AztecTest::SymbolRequest low{std::vector<std::uint8_t>(30, 'x'), kind, 0, 10};
    AztecTest::SymbolRequest high = low;
    high.eccPercent = 50;
    EncodedSymbol a = AztecTest::encodeSymbol(low), b = AztecTest::encodeSymbol(high);
    EXPECT_GE(b.dataCodewords * b.codewordSize, 30 * 5);
    EXPECT_GT(b.totalCodewords, a.totalCodewords);
    EXPECT_GE((b.totalCodewords - b.dataCodewords) * 2, b.totalCodewords);
    if (kind != SymbolKind::Any) {
      EXPECT_EQ(b.compact, kind == SymbolKind::Compact);
    }
  }
}

TEST(EncodeSymbol, RefusalsThrow) {
  EXPECT_THROW(AztecTest::encodeText(""), std::runtime_error);
  EXPECT_THROW(AztecTest::encodeText(std::string(200, 'Q'), SymbolKind::Compact, 1), std::runtime_error);
  EXPECT_THROW(AztecTest::encodeText("A", SymbolKind::Compact, 5), std::runtime_error);
  EXPECT_THROW(AztecTest::encodeText("A", SymbolKind::FullRange, 33), std::runtime_error);
}

TEST(FlipModules, TogglesInPlaceAndRejectsOutside) {
  EncodedSymbol s = AztecTest::encodeText("FLIP", SymbolKind::Compact, 2);
  EncodedSymbol original = s;
  AztecTest::flipModules(s, {{0, 0}, {3, 18}});
  EXPECT_NE(s.modules[0][0], original.modules[0][0]);
  EXPECT_NE(s.modules[3][18], original.modules[3][18]);
  EXPECT_EQ(s.modules[0][1], original.modules[0][1]);
  AztecTest::flipModules(s, {{0, 0}, {3, 18}});
  EXPECT_EQ(s.modules, original.modules);
  EXPECT_THROW(AztecTest::flipModules(s, {{19, 0}}), std::out_of_range);
  EXPECT_THROW(AztecTest::flipModules(s, {{0, -1}}), std::out_of_range);
}

// Every module lands where turning the picture clockwise (after an optional mirror) puts it.
TEST(RenderSymbol, EveryModuleLandsWhereRotationAndMirrorPutIt) {
  EncodedSymbol s = AztecTest::encodeText("ORIENT 7", SymbolKind::Compact, 2);
  const double ms = 6.0, cx = 150.0, cy = 110.0;
  for (int mirrored = 0; mirrored < 2; ++mirrored)
    for (int rotation = 0; rotation < 4; ++rotation) {
      SCOPED_TRACE(testing::Message() << "rotation " << rotation << " mirrored " << mirrored);
      RenderOptions o;
      o.width = 300, o.height = 220, o.moduleSize = ms, o.centerX = cx, o.centerY = cy;
      o.rotation = rotation, o.mirrored = mirrored != 0;
      GrayBuf img = AztecTest::renderSymbol(s, o);
      int wrong = 0;
      for (int r = 0; r < s.size; ++r)
        for (int c = 0; c < s.size; ++c) {
          double x = c + 0.5 - s.size / 2.0, y = r + 0.5 - s.size / 2.0;
          if (mirrored) x = -x;
          for (int i = 0; i < rotation; ++i) {
            double t = x;
            x = -y;
            y = t;
          }
          if (isDark(img, cx + ms * x, cy + ms * y) != s.modules[r][c]) ++wrong;
        }
      EXPECT_EQ(wrong, 0);
    }
}

TEST(RenderSymbol, KnownCornerAfterOneTurnAndMirror) {
  EncodedSymbol s = AztecTest::encodeText("CORNER", SymbolKind::Compact, 1);
  // Make the top-left module the only dark corner, so its place tells the orientation.
  std::vector<std::pair<int, int>> flips;
  const int last = s.size - 1;
  if (!s.modules[0][0]) flips.push_back({0, 0});
  if (s.modules[0][last]) flips.push_back({0, last});
  if (s.modules[last][0]) flips.push_back({last, 0});
  if (s.modules[last][last]) flips.push_back({last, last});
  AztecTest::flipModules(s, flips);

  RenderOptions o;
  o.width = o.height = 200;
  o.moduleSize = 10.0;
  const double near = 100.0 - 7.0 * 10.0, far = 100.0 + 7.0 * 10.0;  // corner module centres
  o.rotation = 1;
  GrayBuf turned = AztecTest::renderSymbol(s, o);
  EXPECT_TRUE(isDark(turned, far, near));  // top-left went to top-right
  EXPECT_FALSE(isDark(turned, near, near));
  o.rotation = 0;
  o.mirrored = true;
  GrayBuf mirrored = AztecTest::renderSymbol(s, o);
  EXPECT_TRUE(isDark(mirrored, far, near));
  EXPECT_FALSE(isDark(mirrored, near, near));
  o.rotation = 1;
  GrayBuf both = AztecTest::renderSymbol(s, o);  // mirror first, then turn: bottom-right
  EXPECT_TRUE(isDark(both, far, far));
  EXPECT_FALSE(isDark(both, far, near));
}

TEST(RenderSymbol, FrameSizeCentreAndBackground) {
  EncodedSymbol s = AztecTest::encodeText("CENTRE", SymbolKind::FullRange, 2);
  RenderOptions o;
  o.width = 321, o.height = 203, o.moduleSize = 3.7;
  GrayBuf img = AztecTest::renderSymbol(s, o);
  EXPECT_EQ(img.width(), 321);
  EXPECT_EQ(img.height(), 203);
  EXPECT_EQ(img.pixelAt(160, 101), o.dark);  // the bull's-eye's centre module
  EXPECT_EQ(img.pixelAt(0, 0), o.light);
  EXPECT_EQ(img.pixelAt(320, 202), o.light);
  // A non-integer module size leaves partly covered pixels along module edges.
  int between = 0;
  for (std::uint8_t v : pixels(img)) between += v != o.dark && v != o.light;
  EXPECT_GT(between, 0);
}

TEST(RenderSymbol, DeterministicNoiseWithTheRequestedSpread) {
  EncodedSymbol s = AztecTest::encodeText("NOISE", SymbolKind::Compact, 3);
  RenderOptions o;
  o.noiseSigma = 10.0, o.blurSigma = 1.2, o.seed = 7, o.tiltDegrees = 8.0;
  std::vector<std::uint8_t> first = pixels(AztecTest::renderSymbol(s, o));
  EXPECT_EQ(first, pixels(AztecTest::renderSymbol(s, o)));
  o.seed = 8;
  EXPECT_NE(first, pixels(AztecTest::renderSymbol(s, o)));

  // Background strip far from the symbol: mean the light level, spread the noise sigma.
  double sum = 0.0, sq = 0.0;
  int count = 0;
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 640; ++x) {
      double v = first[y * 640 + x];
      sum += v, sq += v * v, ++count;
    }
  double mean = sum / count, sd = std::sqrt(sq / count - mean * mean);
  EXPECT_NEAR(mean, 230.0, 0.5);
  EXPECT_NEAR(sd, 10.0, 0.5);
}

TEST(RenderSymbol, BlurSoftensEdges) {
  EncodedSymbol s = AztecTest::encodeText("BLUR", SymbolKind::Compact, 1);
  RenderOptions o;
  o.width = o.height = 120, o.moduleSize = 4.0;
  std::vector<std::uint8_t> sharp = pixels(AztecTest::renderSymbol(s, o));
  o.blurSigma = 1.5;
  std::vector<std::uint8_t> soft = pixels(AztecTest::renderSymbol(s, o));
  auto midTones = [](const std::vector<std::uint8_t>& p) {
    int n = 0;
    for (std::uint8_t v : p) n += v > 60 && v < 190;
    return n;
  };
  EXPECT_EQ(midTones(sharp), 0);  // integer module size on whole pixels: no partial coverage
  EXPECT_GT(midTones(soft), 500);
  double a = 0, b = 0;
  for (std::size_t i = 0; i < sharp.size(); ++i) a += sharp[i], b += soft[i];
  EXPECT_NEAR(a / sharp.size(), b / soft.size(), 1.0);  // blur keeps the mean
}

TEST(RenderSymbol, TiltForeshortensOneSide) {
  EncodedSymbol s = AztecTest::encodeText("TILT", SymbolKind::FullRange, 4);
  RenderOptions o;
  o.moduleSize = 6.0;
  auto extents = [&](const GrayBuf& img) {
    // Outermost dark pixels left and right of the centre along the finder's centre row.
    int left = 0, right = 0;
    for (int x = 0; x < 320; ++x)
      if (isDark(img, 320 - x - 0.5, 240.5)) left = x;
    for (int x = 0; x < 320; ++x)
      if (isDark(img, 320 + x + 0.5, 240.5)) right = x;
    return std::pair<int, int>(left, right);
  };
  auto flat = extents(AztecTest::renderSymbol(s, o));
  EXPECT_NEAR(flat.first, flat.second, 1);
  o.tiltDegrees = 15.0;
  GrayBuf tilted = AztecTest::renderSymbol(s, o);
  auto tilt = extents(tilted);
  EXPECT_LT(tilt.second + 3, tilt.first);
  EXPECT_LT(tilt.first, flat.first + 40);  // mild: the symbol stays about the same width
  EXPECT_TRUE(isDark(tilted, 320.5, 240.5));
}

}  // namespace

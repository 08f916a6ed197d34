#include "synth/symbol_frames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "support/reader_helpers.h"

namespace {

using namespace AztecTest;
using Velmora::Image::GrayBuf;

bool isDark(const GrayBuf& img, double x, double y) {
  return img.pixelAt(static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y))) < 128;
}

std::vector<std::uint8_t> pixels(const GrayBuf& img) {
  return {img.row(0), img.row(0) + img.width() * img.height()};
}

double meanDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  EXPECT_EQ(a.size(), b.size());
  double diff = 0.0;
  for (std::size_t i = 0; i < a.size(); ++i) diff += std::abs(a[i] - b[i]);
  return diff / static_cast<double>(a.size());
}

// What the encoder chose (size, layers, codewords) is checked against decoded mode messages by
// the symbol and decoder tests; here what they take on trust: the bytes kept as given, refusals
// reported, flips exact.
TEST(EncodeSymbol, KeepsTheBytesReportsRefusalsAndFlipsExactly) {
  EXPECT_TRUE(encodeText("A").compact);
  SymbolRequest binary;
  for (int i = 0; i < 300; ++i) binary.message.push_back(static_cast<std::uint8_t>(0x80 + i % 120));
  const EncodedSymbol big = encodeSymbol(binary);
  EXPECT_GE(big.dataCodewords * big.codewordSize, 300 * 8);  // at least 8 bits a byte
  EXPECT_EQ(big.message, binary.message);
  EXPECT_THROW(encodeText(""), std::runtime_error);
  EXPECT_THROW(encodeText(std::string(200, 'Q'), SymbolKind::Compact, 1), std::runtime_error);
  EXPECT_THROW(encodeText("A", SymbolKind::FullRange, 33), std::runtime_error);

  EncodedSymbol s = encodeText("FLIP", SymbolKind::Compact, 2);
  auto flipped = s.modules;
  flipped[0][0].flip(), flipped[3][18].flip();
  flipModules(s, {{0, 0}, {3, 18}});
  EXPECT_EQ(s.modules, flipped);
  EXPECT_THROW(flipModules(s, {{19, 0}}), std::out_of_range);
}

// Every module lands where turning the picture clockwise (after an optional mirror) puts it.
TEST(RenderSymbol, EveryModuleLandsWhereRotationAndMirrorPutIt) {
  const EncodedSymbol s = encodeText("ORIENT 7", SymbolKind::Compact, 2);
  const double ms = 6.0, cx = 150.0, cy = 110.0;
  for (bool mirrored : {false, true})
    for (int rotation = 0; rotation < 4; ++rotation) {
      SCOPED_TRACE(testing::Message() << "rotation " << rotation << " mirrored " << mirrored);
      RenderOptions o{.width = 300, .height = 220, .moduleSize = ms, .centerX = cx, .centerY = cy};
      o.rotation = rotation, o.mirrored = mirrored;
      const GrayBuf img = renderSymbol(s, o);
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
  const EncodedSymbol s = encodeText("NOISE", SymbolKind::FullRange, 4);
  RenderOptions o{.moduleSize = 6.0};
  const std::vector<std::uint8_t> sharp = pixels(renderSymbol(s, o));
  auto midTones = [](const std::vector<std::uint8_t>& p) {
    return std::count_if(p.begin(), p.end(), [](int v) { return v > 60 && v < 190; });
  };
  EXPECT_EQ(midTones(sharp), 0);  // whole-pixel modules: no partial coverage
  o.blurSigma = 1.5;
  EXPECT_GT(midTones(pixels(renderSymbol(s, o))), 500);

  o.noiseSigma = 10.0, o.seed = 7;
  const std::vector<std::uint8_t> noisy = pixels(renderSymbol(s, o));
  EXPECT_EQ(noisy, pixels(renderSymbol(s, o)));
  double sum = 0.0, sq = 0.0;
  for (int i = 0; i < 640 * 100; ++i)
    sum += noisy[i], sq += double(noisy[i]) * noisy[i];  // the background strip
  const double mean = sum / (640 * 100);
  EXPECT_NEAR(mean, 230.0, 0.5);
  EXPECT_NEAR(std::sqrt(sq / (640 * 100) - mean * mean), 10.0, 0.5);

  o = {.moduleSize = 6.0, .tiltDegrees = 15.0};
  const GrayBuf tilted = renderSymbol(s, o);
  int left = 0, right = 0;
  for (int x = 0; x < 320; ++x) {
    if (isDark(tilted, 320 - x - 0.5, 240.5)) left = x;
    if (isDark(tilted, 320 + x + 0.5, 240.5)) right = x;
  }
  EXPECT_LT(right + 3, left);

  o = {.moduleSize = 5.0, .angleDegrees = 17.0};
  const std::vector<std::uint8_t> clean = pixels(renderSymbol(s, o));
  double previous = 1e9;
  for (int quality : {40, 90}) {
    o.jpegQuality = quality;
    const std::vector<std::uint8_t> lossy = pixels(renderSymbol(s, o));
    const double diff = meanDifference(lossy, clean);
    EXPECT_GT(diff, 0.05) << quality;
    EXPECT_LT(diff, 4.0) << quality;
    EXPECT_LT(diff, previous) << quality;
    previous = diff;
    EXPECT_EQ(lossy, pixels(renderSymbol(s, o)));
  }
}

// Darkness summed over the frame (pixels fully dark), and its centroid.
struct Ink {
  double area = 0, x = 0, y = 0;
};
Ink ink(const GrayBuf& img, const RenderOptions& o) {
  Ink k;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      const double d = (o.light - img.pixelAt(x, y)) / double(o.light - o.dark);
      k.area += d, k.x += d * (x + 0.5), k.y += d * (y + 0.5);
    }
  k.x /= k.area, k.y /= k.area;
  return k;
}

// Areas and positions worked out by hand from the geometry each effect models.
TEST(RenderSymbol, PrintLensAndCurvatureMoveInkAsModelled) {
  const EncodedSymbol dot = pattern(5, [](int r, int c) { return r == 2 && c == 2; });
  // 3 px more each side, corners rounded: (1 + 4 * 0.15 + pi * 0.15^2) modules.
  RenderOptions o{.moduleSize = 20.0, .dotGain = 0.3};
  EXPECT_NEAR(ink(renderSymbol(dot, o), o).area, 400 * 1.6707, 6.0);
  o.dotGain = -0.3;  // (1 - 0.3)^2 modules
  EXPECT_NEAR(ink(renderSymbol(dot, o), o).area, 400 * 0.49, 4.0);

  // Barrel distortion draws a point 120 px off the frame centre, diagonally, in to 116.1 px.
  const EncodedSymbol corner = pattern(41, [](int r, int c) { return r == 40 && c == 40; });
  o = {.moduleSize = 6.0, .lensDistortion = 0.2};
  Ink k = ink(renderSymbol(corner, o), o);
  EXPECT_NEAR(k.x, 320 + 116.09, 0.3);
  EXPECT_NEAR(k.y, 240 + 116.09, 0.3);
  // Near a corner, the symbol's centre and module size are where and what was asked.
  o.centerX = 560, o.centerY = 400, o.moduleSize = 10.0;
  k = ink(renderSymbol(dot, o), o);
  EXPECT_NEAR(k.x, 560, 0.3);
  EXPECT_NEAR(k.y, 400, 0.3);
  EXPECT_NEAR(k.area, 100, 3);

  // Round a cylinder of radius 20 modules, 20 modules of label span 40 sin(0.5) = 19.18.
  const EncodedSymbol block = pattern(20, [](int, int) { return true; });
  o = {.moduleSize = 10.0, .cylinderRadius = 1.0};
  EXPECT_NEAR(ink(renderSymbol(block, o), o).area, 191.77 * 200, 150);
}

// Motion smears along its direction only; a disc spreads an edge over exactly its radius and
// no further (a Gaussian would leave tails); sharpening overshoots on both sides of an edge.
TEST(RenderSymbol, MotionDefocusAndSharpeningShapeEdges) {
  const EncodedSymbol half = pattern(20, [](int, int c) { return c < 10; });
  auto row = [&](const RenderOptions& o) {  // pixels 190..209 across the edge at x = 200
    const GrayBuf img = renderSymbol(half, o);
    std::vector<int> v;
    for (int x = 190; x < 210; ++x) v.push_back(img.pixelAt(x, 150));
    return v;
  };
  RenderOptions o{.width = 400, .height = 300, .moduleSize = 10.0};
  std::vector<int> sharp(10, 20);
  sharp.resize(20, 230);
  o.motionBlurLength = 8.0, o.motionBlurAngleDegrees = 90.0;  // along the edge
  EXPECT_EQ(row(o), sharp);
  o.motionBlurAngleDegrees = 0.0;  // across: 4 px each side
  std::vector<int> v = row(o);
  EXPECT_EQ((std::pair{v[5], v[14]}), (std::pair{20, 230}));
  EXPECT_TRUE(v[6] > 20 && v[9] > v[6] && v[13] < 230) << ::testing::PrintToString(v);

  o.motionBlurLength = 0.0, o.defocusRadius = 4.0;
  v = row(o);
  EXPECT_EQ((std::pair{v[5], v[14]}), (std::pair{20, 230}));
  EXPECT_TRUE(v[6] > 20 && v[13] < 230) << ::testing::PrintToString(v);

  o.defocusRadius = 0.0, o.blurSigma = 0.8, o.sharpenAmount = 1.5, o.sharpenSigma = 1.5;
  v = row(o);
  EXPECT_LT(*std::min_element(v.begin(), v.end()), 10);
  EXPECT_GT(*std::max_element(v.begin(), v.end()), 240);
}

// A display's white is its stripes' light (half of it lost to the black matrix), its black a
// little leak; colour ink through the mosaic keeps its luma where the picture is flat.
TEST(RenderSymbol, ScreenAndColourSensorLevels) {
  const EncodedSymbol half = pattern(20, [](int, int c) { return c < 10; });
  RenderOptions o{.moduleSize = 12.0, .screenPixelsPerModule = 3.0};  // display pixels of 4 camera pixels
  const GrayBuf screen = renderSymbol(half, o);
  double dark = 0, light = 0;
  for (int y = 200; y < 280; ++y)
    for (int x = 0; x < 48; ++x) dark += screen.pixelAt(220 + x, y), light += screen.pixelAt(336 + x, y);
  EXPECT_NEAR(dark / (80 * 48), 20 + 210 * 0.04 * 0.4994, 1.0);
  EXPECT_NEAR(light / (80 * 48), 20 + 210 * 0.4994, 1.0);

  o = {.moduleSize = 12.0, .bayer = true, .darkRgb = 0x6A1010, .lightRgb = 0xF0E0A0};
  const GrayBuf colour = renderSymbol(half, o);
  EXPECT_EQ(colour.pixelAt(250, 240), 43);   // 0.299 * 106 + 0.701 * 16
  EXPECT_EQ(colour.pixelAt(360, 240), 221);  // 0.299 * 240 + 0.587 * 224 + 0.114 * 160
  EXPECT_EQ(colour.pixelAt(10, 10), 221);
}

// The codec really runs: the frame changes, stays close to the picture, and is the same every run.
TEST(RenderSymbol, VideoRoundTripIsLossyAndRepeatable) {
  if (!videoCodecAvailable()) GTEST_SKIP() << "ffmpeg with an H.264 encoder is not on the PATH";
  const EncodedSymbol s = encodeText("VIDEO", SymbolKind::FullRange, 3);
  RenderOptions o{.moduleSize = 5.0, .angleDegrees = 17.0, .videoKbps = 300};
  const std::vector<std::uint8_t> coded = pixels(renderSymbol(s, o));
  EXPECT_EQ(coded, pixels(renderSymbol(s, o)));
  o.videoKbps = 0;
  const double diff = meanDifference(coded, pixels(renderSymbol(s, o)));
  EXPECT_GT(diff, 0.2);
  EXPECT_LT(diff, 8.0);
  o.width = 641, o.videoKbps = 300;
  EXPECT_THROW(renderSymbol(s, o), std::invalid_argument);
}

}  // namespace

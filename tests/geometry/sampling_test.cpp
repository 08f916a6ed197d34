// Sampling through the perspective: the mode-message ring, the reference-grid line search and
// the data grid's blocks and dark/light classing.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

#include "detect/detector.h"
#include "geometry/data_grid_sampling.h"
#include "geometry/grid_points.h"
#include "geometry/mode_message_sampling.h"
#include "geometry/transform_sampler.h"
#include "synth/symbol_frames.h"

namespace Aztec {
namespace {

std::vector<bool> binarized(const std::vector<std::uint32_t>& samples, float t) {
  BitRing ring(samples.size());
  binarizeRing(samples, ring, t);
  return ring.bits();
}

TEST(BinarizeRing, SinglePrecisionFractionAndUnsignedThreshold) {
  // 0.45f widens to 0.449999988: the threshold is 89.99999 -> 89, so 89 is light and 88 dark.
  EXPECT_EQ(binarized({0, 200, 89, 88}, THRESHOLD_FRACTIONS[1]),
            (std::vector<bool>{true, false, false, true}));
  EXPECT_EQ(binarized({10, OUTSIDE_IMAGE, 500000004, 500000003}, 0.5f),
            (std::vector<bool>{true, false, false, true}));
  EXPECT_EQ(binarized({77, 77, 77}, 0.5f), std::vector<bool>(3, false));  // nothing below the threshold
  // One sample outside the image makes every in-image sample dark, at every fraction.
  for (float t : THRESHOLD_FRACTIONS)
    EXPECT_EQ(binarized({0, 255, 130, OUTSIDE_IMAGE, 254}, t),
              (std::vector<bool>{true, true, true, false, true}))
        << t;
}

// A light frame holding one pixel per ring module, where a sampler with `scale` reads it; the
// finder corners say 6 pixels per module around (100.5, 100.5). Sample i of the ring is taken
// clockwise from the top-left corner module (-r, -r), samples n, 2n, 3n at the other corners.
TEST(SampleModeMessage, ReadsEachRingModuleAtItsScaledCentre) {
  for (const auto& s : {AztecTest::encodeText("ring order", AztecTest::SymbolKind::Compact, 3),
                        AztecTest::encodeText("full-range ring", AztecTest::SymbolKind::FullRange, 2)})
    for (double scale : {1.0, 1.1, 0.9}) {
      SCOPED_TRACE(testing::Message() << (s.compact ? "compact" : "full-range") << " scale " << scale);
      const int n = s.compact ? 10 : 14, r = n / 2, c = s.compact ? 3 : 5, half = s.size / 2;
      std::vector<std::uint8_t> pixels(200 * 200, 200);
      for (int i = 0; i < 4 * n; ++i) {
        const int side = i / n, t = i % n;
        const int gx = side == 0 ? -r + t : side == 1 ? r : side == 2 ? r - t : -r;
        const int gy = side == 0 ? -r : side == 1 ? -r + t : side == 2 ? r : r - t;
        const int x = static_cast<int>(100.5 + 6 * (gx * scale)),
                  y = static_cast<int>(100.5 + 6 * (gy * scale));
        if (s.modules[half + gy][half + gx]) pixels[y * 200 + x] = 0;
      }
      Detector detector;
      detector.setImage(Velmora::Image::GrayBuf::fromBytes(pixels.data(), 200, 200));
      SymbolCandidate candidate;
      candidate.symbolType = s.compact ? kCompact : kFullRange;
      const double lo = 100.5 - 6 * c, hi = 100.5 + 6 * c;
      candidate.corners = {Point2D{lo, lo}, Point2D{hi, lo}, Point2D{hi, hi}, Point2D{lo, hi}};
      // Sampled at another scale the ring reads as light background and cannot decode.
      EXPECT_FALSE(detector.sampleModeMessage(candidate, scale == 1.0 ? 1.1 : 1.0));
      ASSERT_TRUE(detector.sampleModeMessage(candidate, scale));
      EXPECT_EQ(candidate.layers, s.layers);
      EXPECT_EQ(candidate.dataCodewords, s.dataCodewords);
      EXPECT_EQ(candidate.rotation, 0);
    }
}

// Modules alternating dark and light, five samples each; `flipFrom` inverts modules from there.
int scoreOf(int dark, int light, int flipFrom = 17) {
  std::array<int, GRID_LINE_SAMPLES> s{};
  for (int q = 0; q < GRID_LINE_SAMPLES; ++q) s[q] = ((q / 5) % 2 == 0) != (q / 5 >= flipFrom) ? dark : light;
  return scoreGridLine(s);
}

TEST(ScoreGridLine, ContrastAndBreaks) {
  EXPECT_EQ(scoreOf(128, 128), -1);  // no contrast
  EXPECT_EQ(scoreOf(0, 255), 0);     // a perfect grid line
  EXPECT_EQ(scoreOf(0, 31), -1);     // mid 15: 16 below and 16 above are needed
  EXPECT_EQ(scoreOf(0, 32), 0);
  EXPECT_EQ(scoreOf(260, 290), 0);   // the least value counts as at most 255
  EXPECT_EQ(scoreOf(0, 255, 9), 7);  // out of step from module 9 on
}

// Scores of candidate lines written as text, "-" for a line that was not scored.
std::vector<int> scores(const std::string& text) {
  std::istringstream in(text);
  std::vector<int> out;
  for (std::string t; in >> t;) out.push_back(t == "-" ? -1 : std::stoi(t));
  return out;
}

TEST(PickGridLine, RunsOfAcceptedScores) {
  const std::pair<const char*, int> cases[] = {
      {"- - - - - - - 2 1 0 1 2 - - - - - - -", 9},  // limit 0: only index 9
      {"3 3 3 3 3 3 3 3 3 3 3 3 3 3 3 3 3 3 3", 0},  // all equal: accepted as 0, no run above 0.0
      {"- - - - - - - - - - - - - - - - - - -", 0},
      {"0", 0},
      // Equal runs: the earlier wins; a five-wide run beats a three-wide one of the same values.
      {"- - 0 0 0 - - - 10 - - - 0 0 0 - - - -", 3},
      {"- - 0 0 0 - - - 10 - - - 0 0 0 0 0 - -", 14},
      {"0 0 0 0 0 0 0 0 0 0 - 10 - 0 0 0 - - -", 14},  // a ten-wide run is weighted down to half
      // Single precision: 27/3 * 0.6 and 108/10 * 0.5 are both 5.4000001f (in double the second
      // is larger), so the earlier run wins.
      {"2 2 2 11 0 0 0 0 0 0 0 0 0 2 - - - - -", 1},
  };
  for (const auto& [text, picked] : cases) EXPECT_EQ(pickGridLine(scores(text)), picked) << text;
}

TEST(ExtrapolateGridPoint, FromTheCellsOwnTransformAndRangeTested) {
  SymbolCandidate c;
  c.gridPoints[10][10] = {100, 100}, c.gridPoints[11][10] = {132, 100};
  c.gridPoints[11][11] = {132, 132}, c.gridPoints[10][11] = {100, 132};
  extrapolateGridPoint(c, 10, 10, 2, 2);
  EXPECT_NEAR(c.gridPoints[12][12].x, 164, 1e-9);
  EXPECT_NEAR(c.gridPoints[12][12].y, 164, 1e-9);
  EXPECT_THROW(extrapolateGridPoint(c, 19, 10, 0, 1), std::out_of_range);
}

// The line search and block sampling read through TransformSampler instead of sampleAt: both
// must give the same sample inside, on the edges, outside and for non-finite points.
TEST(TransformSampler, ReadsWhatSampleAtReads) {
  std::vector<std::uint8_t> px(7 * 5);
  for (std::size_t i = 0; i < px.size(); ++i) px[i] = static_cast<std::uint8_t>(i * 7 + 1);
  const std::array<double, 9> v = {-1.0, -0.999, -0.5, 0.0, 4.999, 5.0, 7.0, 3e9, std::nan("")};
  Detector d;
  d.setImage(Velmora::Image::GrayBuf::fromBytes(px.data(), 7, 5));
  for (const PerspectiveTransform& t :
       {PerspectiveTransform{1, 0, 0, 0, 1, 0, 0, 0},
        PerspectiveTransform{0.9, 0.3, 1.2, -0.2, 1.1, 0.4, 0.01, -0.02},
        PerspectiveTransform{1, 0, 0, 0, 1, 0, -1, 0}}) {  // the last has w = 0 at x = 1
    d.transform = t;
    const TransformSampler sampler(t, d.image.get());
    std::array<double, 9> X{}, Y{}, X2{}, Y2{};
    for (double a : v) {
      sampler.mapRow(v, a, X, Y);
      sampler.mapColumn(a, v, X2, Y2);
      for (std::size_t i = 0; i < v.size(); ++i) {
        ASSERT_EQ(sampler(v[i], a), d.sampleAt(v[i], a)) << v[i] << "," << a;
        ASSERT_EQ(sampler.pixel(X[i], Y[i]), d.sampleAt(v[i], a)) << v[i] << "," << a;
        ASSERT_EQ(sampler.pixel(X2[i], Y2[i]), d.sampleAt(a, v[i])) << a << "," << v[i];
      }
    }
  }
}

ModuleValueGrid uniform(int n, std::uint32_t v) {
  return ModuleValueGrid(n, std::vector<std::uint32_t>(n, v));
}

TEST(IsDarkModule, WindowsInsideAndAlongTheEdges) {
  // Whether one bright cell at (bx, by) in a 32 x 32 grid of 100s darkens module (x, y).
  const struct {
    int x, y, bx, by;
    bool dark;
  } cases[] = {{10, 10, 8, 8, true},   {10, 10, 11, 11, true},  {10, 10, 12, 10, false},
               {10, 10, 10, 7, false},  // two before, one after
               {1, 10, 6, 10, true},   {1, 10, 7, 10, false},   {10, 0, 10, 6, true},  // low edge: 0 up to 7
               {30, 10, 24, 10, true}, {30, 10, 23, 10, false}, {30, 10, 31, 10, false},
               {10, 31, 10, 31, false}};  // high: N - 8 up to N - 1
  for (const auto& k : cases) {
    auto g = uniform(32, 100);
    g[k.bx][k.by] = 250;
    EXPECT_EQ(isDarkModule(g, k.x, k.y), k.dark) << k.x << "," << k.y << " bright " << k.bx << "," << k.by;
  }
  auto g = uniform(32, 100);
  EXPECT_FALSE(isDarkModule(g, 10, 10));  // a uniform patch is light
  g[31][5] = 0;
  EXPECT_TRUE(isDarkModule(g, 31, 5));  // the last column is its own start value
  g[12][12] = 141006539;                // an outside reading darkens every in-image module of its windows
  EXPECT_TRUE(isDarkModule(g, 11, 11));
  EXPECT_FALSE(isDarkModule(g, 12, 12));
  EXPECT_THROW(isDarkModule(uniform(32, 1), 32, 0), std::out_of_range);
  EXPECT_THROW(isDarkModule(uniform(6, 1), 5, 3), std::out_of_range);  // the edge window starts at -2
}

// A 300 x 300 frame whose cell [10][10] spans 160 pixels (10 per module) from (100.3, 100.3);
// inside each module the pixel value tells the offset of the reading from its centre pixel.
TEST(SampleBlock, FiveReadingsPerModuleAveragedWithWrap) {
  const int w[10] = {11, 20, 40, 0, 0, 0, 0, 50, 0, 30};  // offset 0, +1, +2, -3, -2, -1 pixels
  std::vector<std::uint8_t> px(300 * 300);
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 300; ++x) px[y * 300 + x] = static_cast<std::uint8_t>(w[x % 10] + w[y % 10]);
  Detector d;
  d.setImage(Velmora::Image::GrayBuf::fromBytes(px.data(), 300, 300));
  SymbolCandidate c;
  c.gridPoints[10][10] = {100.3, 100.3}, c.gridPoints[11][10] = {260.3, 100.3};
  c.gridPoints[11][11] = {260.3, 260.3}, c.gridPoints[10][11] = {100.3, 260.3};
  for (int type : {kCompact, kFullRange}) {
    c.symbolType = type;
    auto values = uniform(32, 7);
    d.sampleBlock(c, 10, 10, values, 16, 0);
    // Compact reads 0.1 module (1 pixel) aside: (66 + 2 * 50) / 5; full-range 0.25 module
    // (2.5 pixels, so pixels +2 and -3): (66 + 2 * 90) / 5.
    const std::uint32_t expected = type == kCompact ? 33 : 49;
    for (int x = 0; x < 32; ++x)
      for (int y = 0; y < 32; ++y)
        ASSERT_EQ(values[x][y], x >= 16 && y < 16 ? expected : 7u) << x << "," << y;
  }
  // Far outside the frame all five readings are OUTSIDE_IMAGE and their sum wraps.
  for (auto& p : c.gridPoints[10]) p = {-5000, -5000};
  for (auto& p : c.gridPoints[11]) p = {-4000, -4000};
  auto values = uniform(16, 0);
  d.sampleBlock(c, 10, 10, values, 0, 0);
  EXPECT_EQ(values[3][9], 141006539u);
}

}  // namespace
}  // namespace Aztec

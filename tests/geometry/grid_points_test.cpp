#include "geometry/grid_points.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "detect/detector.h"
#include "geometry/transform_sampler.h"
#include "support/symbol_frames.h"

namespace Aztec {
namespace {

// Modules of `pattern` (true = dark), five samples each, from sample 0.
std::array<int, GRID_LINE_SAMPLES> line(const std::vector<bool>& pattern, int dark, int light) {
  std::array<int, GRID_LINE_SAMPLES> s{};
  for (int q = 0; q < GRID_LINE_SAMPLES; ++q) s[q] = pattern[q / 5] ? dark : light;
  return s;
}

std::vector<bool> alternating() {
  std::vector<bool> p(17);
  for (int m = 0; m < 17; ++m) p[m] = m % 2 == 0;
  return p;
}

TEST(ScoreGridLine, ContrastAndBreaks) {
  EXPECT_EQ(scoreGridLine(line(alternating(), 128, 128)), -1);
  EXPECT_EQ(scoreGridLine(line(alternating(), 0, 255)), 0);
  EXPECT_EQ(scoreGridLine(line(alternating(), 0, 31)), -1);  // mid 15: 16 below, 16 above needed
  EXPECT_EQ(scoreGridLine(line(alternating(), 0, 32)), 0);
  // The least value counts as at most 255, so two light levels still have contrast.
  EXPECT_EQ(scoreGridLine(line(alternating(), 260, 290)), 0);
  // Two dark modules in a row put every phase out of step for the rest of the line.
  auto doubled = alternating();
  for (int m = 9; m < 17; ++m) doubled[m] = !doubled[m];
  EXPECT_EQ(scoreGridLine(line(doubled, 0, 255)), 7);
}

std::vector<int> scores(std::initializer_list<std::pair<int, int>> set) {
  std::vector<int> s(19, -1);
  for (auto [i, v] : set) s[i] = v;
  return s;
}

TEST(PickGridLine, RunsOfAcceptedScores) {
  EXPECT_EQ(pickGridLine(scores({{7, 2}, {8, 1}, {9, 0}, {10, 1}, {11, 2}})), 9);
  EXPECT_EQ(pickGridLine(std::vector<int>(19, 3)), 0);
  EXPECT_EQ(pickGridLine(std::vector<int>(19, -1)), 0);
  EXPECT_EQ(pickGridLine(std::vector<int>{0}), 0);
  // Equal runs: the earlier wins; a five-wide run beats a three-wide one of the same values.
  EXPECT_EQ(pickGridLine(scores({{2, 0}, {3, 0}, {4, 0}, {8, 10}, {12, 0}, {13, 0}, {14, 0}})), 3);
  EXPECT_EQ(pickGridLine(scores({{2, 0}, {3, 0}, {4, 0}, {8, 10}, {12, 0}, {13, 0}, {14, 0}, {15, 0}, {16, 0}})), 14);
  // A ten-wide run is weighted down to half.
  EXPECT_EQ(pickGridLine(scores({{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0}, {8, 0}, {9, 0},
                                 {11, 10}, {13, 0}, {14, 0}, {15, 0}})),
            14);
  // Single precision: 27/3 * 0.6 and 108/10 * 0.5 are both 5.4000001f (in double the second
  // is larger), so the earlier run wins.
  std::vector<int> s = scores({{0, 2}, {1, 2}, {2, 2}, {3, 11}, {13, 2}});
  for (int i = 4; i < 13; ++i) s[i] = 0;
  EXPECT_EQ(pickGridLine(s), 1);
}

TEST(ExtrapolateGridPoint, ContinuesTheCellAndRangeTests) {
  SymbolCandidate c;
  c.gridPoints[10][10] = {100, 100};
  c.gridPoints[11][10] = {132, 100};
  c.gridPoints[11][11] = {132, 132};
  c.gridPoints[10][11] = {100, 132};
  extrapolateGridPoint(c, 10, 10, -1, 0);
  extrapolateGridPoint(c, 10, 10, 2, 2);
  EXPECT_NEAR(c.gridPoints[9][10].x, 68, 1e-9);
  EXPECT_NEAR(c.gridPoints[9][10].y, 100, 1e-9);
  EXPECT_NEAR(c.gridPoints[12][12].x, 164, 1e-9);
  EXPECT_NEAR(c.gridPoints[12][12].y, 164, 1e-9);
  EXPECT_THROW(extrapolateGridPoint(c, 19, 10, 0, 1), std::out_of_range);
  EXPECT_THROW(extrapolateGridPoint(c, 10, 10, 0, -11), std::out_of_range);
}

TEST(BuildGridPoints, FullRangeWithoutGridLinesMatchesCompactBuild) {
  Detector d;
  d.transform = {2.1, 0.2, 300, -0.1, 1.9, 240, 0.0005, -0.0003};
  SymbolCandidate compact, full;
  compact.center = full.center = {301, 239};
  full.symbolSize = 31;
  d.buildCompactGridPoints(compact);
  for (int build = 1; build <= 2; ++build) {  // diagonal seeds, then axis seeds
    d.buildFullGridPoints(full);
    EXPECT_EQ(d.fitCount, build);
    for (int i = 9; i <= 11; ++i) {
      for (int j = 9; j <= 11; ++j) {
        EXPECT_NEAR(full.gridPoints[i][j].x, compact.gridPoints[i][j].x, 1e-6) << i << "," << j;
        EXPECT_NEAR(full.gridPoints[i][j].y, compact.gridPoints[i][j].y, 1e-6) << i << "," << j;
      }
    }
  }
  EXPECT_EQ(compact.gridPoints[10][10], (Point2D{301, 239}));
  EXPECT_EQ(full.gridPoints[8][8], (Point2D{}));
}

TEST(BuildGridPoints, FindsTheReferenceGridLinesSeenInTheImage) {
  const auto s = AztecTest::encodeText(std::string(60, 'G'), AztecTest::SymbolKind::FullRange, 5);
  ASSERT_EQ(s.size, 37);
  AztecTest::RenderOptions o;
  o.width = o.height = 200;
  o.centerX = o.centerY = 100;  // centre module spans pixels 98..101
  o.moduleSize = 4;
  Detector d;
  d.setImage(AztecTest::renderSymbol(s, o));
  SymbolCandidate c;
  c.symbolSize = 37;
  c.center = {100, 100};
  // Mode-message transforms 1% too large and 0.6 module off in x and y; the first also
  // slightly in perspective, so that the diagonal and the axis seeds refit it differently.
  const PerspectiveTransform tilted{4.04, 0, 102.4, 0, 4.04, 97.6, 0.001, 0};
  const PerspectiveTransform shifted{4.04, 0, 102.4, 0, 4.04, 97.6, 0, 0};
  for (int build = 1; build <= 2; ++build) {
    // The build leaves the transform refitted to its seeds: the diagonal ones on odd builds,
    // the axis ones on even builds.
    d.transform = tilted;
    const auto seeds = build == 1 ? std::array<Point2D, 4>{Point2D{-16, -16}, {16, -16}, {16, 16}, {-16, 16}}
                                  : std::array<Point2D, 4>{Point2D{0, -16}, {16, 0}, {0, 16}, {-16, 0}};
    std::array<Point2D, 4> located{};
    for (int k = 0; k < 4; ++k) {
      located[k] = d.locateGridPoint(static_cast<int>(seeds[k].x), static_cast<int>(seeds[k].y), true);
    }
    const PerspectiveTransform refit = fitPerspective(seeds, located);
    d.buildFullGridPoints(c);
    EXPECT_EQ(d.fitCount, build);
    EXPECT_EQ(d.transform.a, refit.a);
    EXPECT_EQ(d.transform.c, refit.c);
    EXPECT_EQ(d.transform.g, refit.g);
    EXPECT_EQ(d.transform.h, refit.h);
  }
  for (int build = 3; build <= 4; ++build) {
    d.transform = shifted;
    d.buildFullGridPoints(c);
    for (int i = 8; i <= 12; ++i) {
      for (int j = 8; j <= 12; ++j) {
        EXPECT_NEAR(c.gridPoints[i][j].x, 100 + 64 * (i - 10), 0.5) << build << ": " << i << "," << j;
        EXPECT_NEAR(c.gridPoints[i][j].y, 100 + 64 * (j - 10), 0.5) << build << ": " << i << "," << j;
      }
    }
    EXPECT_EQ(c.gridPoints[7][10], (Point2D{}));
    EXPECT_EQ(c.gridPoints[13][13], (Point2D{}));
  }
}

// The line search and block sampling read through TransformSampler instead of sampleAt; both
// must give the same sample for every point, inside, on the edges, outside and non-finite.
TEST(TransformSampler, ReadsWhatSampleAtReads) {
  std::vector<std::uint8_t> px(7 * 5);
  for (std::size_t i = 0; i < px.size(); ++i) px[i] = static_cast<std::uint8_t>(i * 7 + 1);
  const double inf = std::numeric_limits<double>::infinity();
  const std::array<double, 10> coords = {-1.0, -0.999, -0.5, 0.0, 2.5, 4.999, 5.0, 6.999, 7.0, 3e9};
  for (int frame = 0; frame < 2; ++frame) {
    Detector d;
    d.setImage(frame == 0 ? Velmora::Image::GrayBuf::fromBytes(px.data(), 7, 5) : Velmora::Image::GrayBuf());
    for (const PerspectiveTransform& t : {PerspectiveTransform{1, 0, 0, 0, 1, 0, 0, 0},
                                          PerspectiveTransform{0.9, 0.3, 1.2, -0.2, 1.1, 0.4, 0.01, -0.02},
                                          PerspectiveTransform{1, 0, 0, 0, 1, 0, -1, 0}}) {
      d.transform = t;
      const TransformSampler sampler(t, d.image.get());
      std::array<double, 10> X{}, Y{};
      for (double y : coords) {
        sampler.mapRow(coords, y, X, Y);
        for (std::size_t i = 0; i < coords.size(); ++i) {
          ASSERT_EQ(sampler(coords[i], y), d.sampleAt(coords[i], y)) << coords[i] << "," << y;
          ASSERT_EQ(sampler.pixel(X[i], Y[i]), d.sampleAt(coords[i], y)) << coords[i] << "," << y;
        }
        sampler.mapColumn(y, coords, X, Y);
        for (std::size_t i = 0; i < coords.size(); ++i) ASSERT_EQ(sampler.pixel(X[i], Y[i]), d.sampleAt(y, coords[i]));
      }
      EXPECT_EQ(sampler(inf, 1), OUTSIDE_IMAGE);
      EXPECT_EQ(sampler(std::nan(""), 1), OUTSIDE_IMAGE);
    }
  }
}

}  // namespace
}  // namespace Aztec

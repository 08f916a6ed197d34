#include "geometry/grid_points.h"

#include <gtest/gtest.h>

#include <cmath>

#include "detect/detector.h"
#include "geometry/transform_sampler.h"
#include "support/symbol_frames.h"

namespace Aztec {
namespace {

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

std::vector<int> scores(std::initializer_list<std::pair<int, int>> set, int rest = -1) {
  std::vector<int> s(19, rest);
  for (auto [i, v] : set) s[i] = v;
  return s;
}

TEST(PickGridLine, RunsOfAcceptedScores) {
  EXPECT_EQ(pickGridLine(scores({{7, 2}, {8, 1}, {9, 0}, {10, 1}, {11, 2}})), 9);  // limit 0: only index 9
  EXPECT_EQ(pickGridLine(scores({}, 3)), 0);  // all equal: accepted with value 0, no run above 0.0
  EXPECT_EQ(pickGridLine(scores({})), 0);
  EXPECT_EQ(pickGridLine(std::vector<int>{0}), 0);
  // Equal runs: the earlier wins; a five-wide run beats a three-wide one of the same values.
  EXPECT_EQ(pickGridLine(scores({{2, 0}, {3, 0}, {4, 0}, {8, 10}, {12, 0}, {13, 0}, {14, 0}})), 3);
  EXPECT_EQ(pickGridLine(scores({{2, 0}, {3, 0}, {4, 0}, {8, 10}, {12, 0}, {13, 0}, {14, 0}, {15, 0}, {16, 0}})), 14);
  // A ten-wide run is weighted down to half.
  EXPECT_EQ(pickGridLine(scores({{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0}, {8, 0}, {9, 0},
                                 {11, 10}, {13, 0}, {14, 0}, {15, 0}})), 14);
  // Single precision: 27/3 * 0.6 and 108/10 * 0.5 are both 5.4000001f (in double the second is
  // larger), so the earlier run wins.
  EXPECT_EQ(pickGridLine(scores({{0, 2}, {1, 2}, {2, 2}, {3, 11}, {4, 0}, {5, 0}, {6, 0}, {7, 0}, {8, 0}, {9, 0},
                                 {10, 0}, {11, 0}, {12, 0}, {13, 2}})), 1);
}

TEST(BuildGridPoints, ExtrapolationAndTheFullRangeBuildWithoutGridLines) {
  SymbolCandidate c;
  c.gridPoints[10][10] = {100, 100}, c.gridPoints[11][10] = {132, 100};
  c.gridPoints[11][11] = {132, 132}, c.gridPoints[10][11] = {100, 132};
  extrapolateGridPoint(c, 10, 10, 2, 2);
  EXPECT_NEAR(c.gridPoints[12][12].x, 164, 1e-9);
  EXPECT_NEAR(c.gridPoints[12][12].y, 164, 1e-9);
  EXPECT_THROW(extrapolateGridPoint(c, 19, 10, 0, 1), std::out_of_range);

  // 31 modules (k = 0): no line search; the nine entries equal the compact build's.
  Detector d;
  d.transform = {2.1, 0.2, 300, -0.1, 1.9, 240, 0.0005, -0.0003};
  SymbolCandidate compact, full;
  compact.center = full.center = {301, 239};
  full.symbolSize = 31;
  d.buildCompactGridPoints(compact);
  for (int build = 1; build <= 2; ++build) {  // diagonal seeds, then axis seeds
    d.buildFullGridPoints(full);
    EXPECT_EQ(d.fitCount, build);
    for (int i = 9; i <= 11; ++i)
      for (int j = 9; j <= 11; ++j) {
        EXPECT_NEAR(full.gridPoints[i][j].x, compact.gridPoints[i][j].x, 1e-6) << i << "," << j;
        EXPECT_NEAR(full.gridPoints[i][j].y, compact.gridPoints[i][j].y, 1e-6) << i << "," << j;
      }
  }
  EXPECT_EQ(compact.gridPoints[10][10], (Point2D{301, 239}));
}

// The line search and block sampling read through TransformSampler instead of sampleAt: both
// must give the same sample inside, on the edges, outside and for non-finite points.
TEST(TransformSampler, ReadsWhatSampleAtReads) {
  std::vector<std::uint8_t> px(7 * 5);
  for (std::size_t i = 0; i < px.size(); ++i) px[i] = static_cast<std::uint8_t>(i * 7 + 1);
  const std::array<double, 9> v = {-1.0, -0.999, -0.5, 0.0, 4.999, 5.0, 7.0, 3e9, std::nan("")};
  Detector d;
  d.setImage(Velmora::Image::GrayBuf::fromBytes(px.data(), 7, 5));
  for (const PerspectiveTransform& t : {PerspectiveTransform{1, 0, 0, 0, 1, 0, 0, 0}, PerspectiveTransform{0.9, 0.3, 1.2, -0.2, 1.1, 0.4, 0.01, -0.02},
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

}  // namespace
}  // namespace Aztec

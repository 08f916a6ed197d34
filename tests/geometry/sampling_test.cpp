// Sampling through the perspective: the mode-message ring, the reference-grid line search and
// the data grid's blocks and dark/light classing.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "detect/detector.h"
#include "geometry/data_grid_sampling.h"
#include "geometry/grid_points.h"
#include "geometry/mode_message_sampling.h"
#include "geometry/transform_sampler.h"

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

}  // namespace
}  // namespace Aztec

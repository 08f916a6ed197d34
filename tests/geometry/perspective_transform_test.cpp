#include "geometry/perspective_transform.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <memory>
#include <random>

#include "detect/detector.h"
#include "image/gray_buf.h"

namespace {

using Aztec::Detector;
using Aztec::OUTSIDE_IMAGE;
using Aztec::PerspectiveTransform;
using Aztec::Point2D;

TEST(PerspectiveTransform, FitsKnownExamples) {
  const PerspectiveTransform t = Aztec::fitPerspective({{{0, 0}, {16, 0}, {16, 16}, {0, 16}}},
                                                      {{{100, 100}, {132, 100}, {132, 132}, {100, 132}}});
  EXPECT_NEAR(t.a, 2.0, 1e-12);
  EXPECT_NEAR(t.e, 2.0, 1e-12);
  EXPECT_NEAR(t.c, 100.0, 1e-12);
  EXPECT_NEAR(t.f, 100.0, 1e-12);
  for (double v : {t.b, t.d, t.g, t.h}) EXPECT_NEAR(v, 0.0, 1e-12);
  const Point2D m = t.map(8, 8);
  EXPECT_NEAR(m.x, 116.0, 1e-12);
  EXPECT_NEAR(m.y, 116.0, 1e-12);

  const PerspectiveTransform p = Aztec::fitPerspective({{{0, 0}, {1, 0}, {1, 1}, {0, 1}}},
                                                      {{{0, 0}, {2, 0}, {1, 1}, {0, 1}}});
  EXPECT_NEAR(p.a, 2.0, 1e-12);
  EXPECT_NEAR(p.e, 2.0, 1e-12);
  EXPECT_NEAR(p.h, 1.0, 1e-12);
  for (double v : {p.b, p.c, p.d, p.f, p.g}) EXPECT_NEAR(v, 0.0, 1e-12);
  const Point2D q = p.map(0.5, 0.5);
  EXPECT_NEAR(q.x, 2.0 / 3.0, 1e-12);
  EXPECT_NEAR(q.y, 2.0 / 3.0, 1e-12);
}

// Random quadrilaterals: the fit is exact at its four pairs, and a second fit through mapped
// points reproduces the first.
TEST(PerspectiveTransform, RandomFitsAreExact) {
  std::mt19937 rng(31337);
  std::uniform_real_distribution<double> jitter(-0.3, 0.3);
  std::uniform_real_distribution<double> offset(20, 600);
  std::uniform_real_distribution<double> scale(2, 12);
  for (int trial = 0; trial < 200; ++trial) {
    std::array<Point2D, 4> grid{{{-5, -5}, {5, -5}, {5, 5}, {-5, 5}}};
    std::array<Point2D, 4> image;
    const double ox = offset(rng), oy = offset(rng), s = scale(rng);
    for (int k = 0; k < 4; ++k) {
      grid[k].x += 2 * jitter(rng);
      grid[k].y += 2 * jitter(rng);
      const double bx = k == 1 || k == 2 ? 1 : -1;
      const double by = k >= 2 ? 1 : -1;
      image[k] = {ox + s * 5 * (bx + jitter(rng)), oy + s * 5 * (by + jitter(rng))};
    }
    const PerspectiveTransform t = Aztec::fitPerspective(grid, image);
    for (int k = 0; k < 4; ++k) {
      const Point2D m = t.map(grid[k].x, grid[k].y);
      ASSERT_NEAR(m.x, image[k].x, 1e-9) << trial << " " << k;
      ASSERT_NEAR(m.y, image[k].y, 1e-9) << trial << " " << k;
    }
  }
}

TEST(PerspectiveTransform, DegeneratePointsStillYieldCoefficients) {
  // all four image points equal, three grid points collinear: no exception
  EXPECT_NO_THROW(Aztec::fitPerspective({{{0, 0}, {1, 0}, {2, 0}, {0, 1}}}, {{{5, 5}, {5, 5}, {5, 5}, {5, 5}}}));
  EXPECT_NO_THROW(Aztec::fitPerspective({{{0, 0}, {0, 0}, {0, 0}, {0, 0}}}, {{{1, 2}, {3, 4}, {5, 6}, {7, 8}}}));
}

class SampleAtTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<std::uint8_t> bytes(10 * 8);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
    detector.image = std::make_shared<Velmora::Image::GrayBuf>(Velmora::Image::GrayBuf::fromBytes(bytes.data(), 10, 8));
    // grid point (x, y) maps to image point (x, y)
    detector.transform = PerspectiveTransform{};
    detector.transform.a = 1.0;
    detector.transform.e = 1.0;
  }
  Detector detector;
};

TEST_F(SampleAtTest, TruncatesTowardZeroAndTestsBounds) {
  EXPECT_EQ(detector.sampleAt(-0.5, 3.2), 30u);      // column 0, row 3
  EXPECT_EQ(detector.sampleAt(-1.0, 3.2), OUTSIDE_IMAGE);
  EXPECT_EQ(detector.sampleAt(3.99, -0.99), 3u);
  EXPECT_EQ(detector.sampleAt(3.0, -1.0), OUTSIDE_IMAGE);
  EXPECT_EQ(detector.sampleAt(9.999, 7.999), 79u);
  EXPECT_EQ(detector.sampleAt(10.0, 0.0), OUTSIDE_IMAGE);  // X = width
  EXPECT_EQ(detector.sampleAt(0.0, 8.0), OUTSIDE_IMAGE);   // Y = height
  EXPECT_EQ(detector.sampleAt(2.5, 1.5), 12u);
}

TEST_F(SampleAtTest, NonFiniteAndHugeAreOutside) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (double v : {inf, -inf, nan, 1e10, -1e10, 4294967296.0 + 3.0, 2147483648.0, -2147483649.0}) {
    EXPECT_EQ(detector.sampleAt(v, 1.0), OUTSIDE_IMAGE) << v;
    EXPECT_EQ(detector.sampleAt(1.0, v), OUTSIDE_IMAGE) << v;
  }
  // w = 0: the division gives a non-finite point
  detector.transform.g = -1.0;
  EXPECT_EQ(detector.sampleAt(1.0, 2.0), OUTSIDE_IMAGE);
  // no image at all
  Detector bare;
  EXPECT_EQ(bare.sampleAt(0.0, 0.0), OUTSIDE_IMAGE);
}

TEST_F(SampleAtTest, ReadsThroughAFittedTransform) {
  // grid (0,0)..(16,16) onto a 4 x 4 pixel square at (2, 2); points chosen a quarter pixel
  // off the pixel edges so rounding of the fit cannot move them
  detector.fitTransform({{{0, 0}, {16, 0}, {16, 16}, {0, 16}}}, {{{2, 2}, {6, 2}, {6, 6}, {2, 6}}});
  EXPECT_NEAR(detector.transform.a, 0.25, 1e-12);
  EXPECT_NEAR(detector.transform.c, 2.0, 1e-12);
  EXPECT_EQ(detector.sampleAt(9.0, 9.0), 44u);             // (4.25, 4.25)
  EXPECT_EQ(detector.sampleAt(-7.0, 1.0), 20u);            // (0.25, 2.25)
  EXPECT_EQ(detector.sampleAt(-9.0, 1.0), 20u);            // (-0.25, 2.25) truncates to 0
  EXPECT_EQ(detector.sampleAt(-13.0, 1.0), OUTSIDE_IMAGE); // (-1.25, 2.25)
}

// A resized image keeps a longer pixel vector; reads use the new stride.
TEST_F(SampleAtTest, UsesTheCurrentStride) {
  detector.image->resize(4, 2);
  EXPECT_EQ(detector.sampleAt(1.0, 1.0), 5u);  // element 4 * 1 + 1
  EXPECT_EQ(detector.sampleAt(4.0, 1.0), OUTSIDE_IMAGE);
  EXPECT_EQ(detector.sampleAt(1.0, 2.0), OUTSIDE_IMAGE);
}

}  // namespace

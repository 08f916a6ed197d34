// The matrix solver, and sampling through the perspective: single pixels, the mode-message
// ring, the reference-grid line search and the data grid's blocks and dark/light classing.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "detect/detector.h"
#include "geometry/data_grid_sampling.h"
#include "geometry/grid_points.h"
#include "geometry/homography.h"
#include "geometry/matrix.h"
#include "geometry/mode_message_sampling.h"
#include "geometry/transform_sampler.h"

namespace Aztec {
namespace {

using Math::Matrix;
using Rows = std::vector<std::vector<double>>;

std::shared_ptr<Matrix> make(const Rows& rows) {
  auto m = std::make_shared<Matrix>(static_cast<int>(rows.size()),
                                    rows.empty() ? 0 : static_cast<int>(rows[0].size()));
  for (int i = 0; i < m->rowCount(); ++i)
    for (int j = 0; j < m->columnCount(); ++j) (*m)(i, j) = rows[i][j];
  return m;
}

Rows rowsOf(const Matrix& m) {
  Rows rows(m.rowCount(), std::vector<double>(m.columnCount()));
  for (int i = 0; i < m.rowCount(); ++i)
    for (int j = 0; j < m.columnCount(); ++j) rows[i][j] = m(i, j);
  return rows;
}

TEST(MatrixSolve, KnownSystemsLeaveTheOperandsUnchanged) {
  const double big = 1.0 / 1e-20;  // a zero pivot is replaced by 1e-20; NAN: not checked
  const std::tuple<Rows, Rows, std::vector<double>> cases[] = {
      {{{2, 1}, {1, 3}}, {{3}, {5}}, {0.8, 1.4}},
      // First column all zero: the rows swap (the later row wins a tie), pivot 1e-20.
      {{{0, 1}, {0, 2}}, {{1}, {2}}, {0.0, 1.0}},
      // Rows [1, 1] and [2, 2] tie: the later row must win, which decides the huge answer.
      {{{1, 1}, {2, 2}}, {{1}, {3}}, {(3.0 + big) / 2.0, -0.5 * big}},
      // The row swapped down must carry its own scale (1/3) to column 1; with a stale scale it
      // would win there and u[1] would be -3.
      {{{3, 1, 3}, {1, -1, 1}, {-1, 0, -1}}, {{0}, {-1}, {-1}}, {NAN, 2.0, -5.0 * big}},
      // The multiplier overflows to infinity; the leading zeros of the right-hand side are
      // skipped by forward substitution, so no 0 * inf turns the answer into NaN.
      {{{0.1, 0.1}, {1e308, 1.5e308}}, {{0}, {1}}, {0.0, 0.0}},
      {{{0, 0, 1}, {1, 0, 0}, {0, 3, 0}}, {{0}, {0}, {6}}, {0.0, 2.0, 0.0}}};
  for (const auto& [rowsA, rowsB, want] : cases) {
    const auto A = make(rowsA), b = make(rowsB);
    const auto u = Matrix::solve(A, b);
    ASSERT_EQ(u->rowCount(), static_cast<int>(want.size()));
    ASSERT_EQ(u->columnCount(), 1);
    for (int i = 0; i < u->rowCount(); ++i)
      if (!std::isnan(want[i])) {
        EXPECT_DOUBLE_EQ((*u)(i, 0), want[i]) << "row " << i << " of " << rowsA.size() << "x" << rowsA.size();
      }
    EXPECT_EQ(rowsOf(*A), rowsA) << "pivoting or scaling left behind";
    EXPECT_EQ(rowsOf(*b), rowsB);
  }
}

template <class E>
std::string failureOf(const std::shared_ptr<Matrix>& A, const std::shared_ptr<Matrix>& b) {
  try {
    Matrix::solve(A, b);
  } catch (const E& e) {
    return e.what();
  }
  return "<nothing thrown>";
}

TEST(MatrixSolve, FailuresAndSubscripts) {
  using namespace Math;
  const auto A3 = make({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
  const std::string dimension = "Dimension of the two matrices not suitable for this operation !";
  EXPECT_EQ(failureOf<MatrixSingularException>(make({{1, 2}, {0, 0}}), make({{1}, {1}})),
            "Matrix is singular this operation cannot continue !");
  // Not square is reported before a dimension mismatch of b.
  EXPECT_EQ(failureOf<MatrixNotSquareException>(make({{1, 2, 3}, {4, 5, 6}}), make({{1, 2}})),
            "To do this operation, matrix must be a square matrix !");
  EXPECT_EQ(failureOf<MatrixDimensionException>(A3, make({{1}, {1}})), dimension);
  EXPECT_EQ(failureOf<MatrixDimensionException>(A3, make({{1, 1}, {1, 1}, {1, 1}})), dimension);
  EXPECT_EQ(failureOf<MatrixNullException>(std::make_shared<Matrix>(0, 0), make({{1}})),
            "To do this operation, matrix can not be null");
  EXPECT_EQ(failureOf<MatrixNullException>(make({{1}}), nullptr),
            "To do this operation, matrix can not be null");
  for (auto [i, j] : {std::pair{3, 0}, std::pair{-1, 0}, std::pair{0, 3}})
    EXPECT_THROW((void)(*A3)(i, j), std::out_of_range);
}

TEST(SampleAt, TruncatesTowardZeroAndTestsBounds) {
  std::vector<std::uint8_t> bytes(10 * 8);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
  Aztec::Detector d;
  d.setImage(Velmora::Image::GrayBuf::fromBytes(bytes.data(), 10, 8));
  d.transform = PerspectiveTransform{1, 0, 0, 0, 1, 0, 0, 0};  // grid point = image point
  EXPECT_EQ(d.sampleAt(-0.5, 3.2), 30u);                       // column 0, row 3
  EXPECT_EQ(d.sampleAt(-1.0, 3.2), OUTSIDE_IMAGE);
  EXPECT_EQ(d.sampleAt(3.99, -0.99), 3u);
  EXPECT_EQ(d.sampleAt(9.999, 7.999), 79u);
  EXPECT_EQ(d.sampleAt(10.0, 0.0), OUTSIDE_IMAGE);  // X = width
  EXPECT_EQ(d.sampleAt(0.0, 8.0), OUTSIDE_IMAGE);   // Y = height
  const double inf = std::numeric_limits<double>::infinity();
  for (double v : {inf, -inf, std::nan(""), 1e10, 4294967296.0 + 3.0, 2147483648.0, -2147483649.0}) {
    EXPECT_EQ(d.sampleAt(v, 1.0), OUTSIDE_IMAGE) << v;
    EXPECT_EQ(d.sampleAt(1.0, v), OUTSIDE_IMAGE) << v;
  }
  d.transform.g = -1.0;  // w = 0 at x = 1: a non-finite point
  EXPECT_EQ(d.sampleAt(1.0, 0.0), OUTSIDE_IMAGE);
}

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
  const std::tuple<int, int, int, int, bool> cases[] = {
      {10, 10, 8, 8, true},   {10, 10, 11, 11, true},  {10, 10, 12, 10, false},
      {10, 10, 10, 7, false},                                                 // two before, one after
      {1, 10, 6, 10, true},   {1, 10, 7, 10, false},   {10, 0, 10, 6, true},  // low edge: 0 up to 7
      {30, 10, 24, 10, true}, {30, 10, 23, 10, false}, {30, 10, 31, 10, false},
      {10, 31, 10, 31, false}};  // high: N - 8 up to N - 1
  for (const auto& [x, y, bx, by, dark] : cases) {
    auto g = uniform(32, 100);
    g[bx][by] = 250;
    EXPECT_EQ(isDarkModule(g, x, y), dark) << x << "," << y << " bright " << bx << "," << by;
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

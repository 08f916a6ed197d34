#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "detect/detector.h"
#include "geometry/homography.h"
#include "geometry/matrix.h"

namespace {

using Aztec::OUTSIDE_IMAGE;
using Aztec::PerspectiveTransform;
using Aztec::Point2D;
using Aztec::Math::Matrix;
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
  const struct {
    Rows A, b;
    std::vector<double> u;
  } cases[] = {{{{2, 1}, {1, 3}}, {{3}, {5}}, {0.8, 1.4}},
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
  for (const auto& k : cases) {
    const auto A = make(k.A), b = make(k.b);
    const auto u = Matrix::solve(A, b);
    ASSERT_EQ(u->rowCount(), static_cast<int>(k.u.size()));
    ASSERT_EQ(u->columnCount(), 1);
    for (int i = 0; i < u->rowCount(); ++i)
      if (!std::isnan(k.u[i])) {
        EXPECT_DOUBLE_EQ((*u)(i, 0), k.u[i]) << "row " << i << " of " << k.A.size() << "x" << k.A.size();
      }
    EXPECT_EQ(rowsOf(*A), k.A) << "pivoting or scaling left behind";
    EXPECT_EQ(rowsOf(*b), k.b);
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
  using namespace Aztec::Math;
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

}  // namespace

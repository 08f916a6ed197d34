#include "geometry/matrix.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Aztec::Math::Matrix;
using Aztec::Math::MatrixDimensionException;
using Aztec::Math::MatrixNotSquareException;
using Aztec::Math::MatrixNullException;
using Aztec::Math::MatrixSingularException;

std::shared_ptr<Matrix> make(const std::vector<std::vector<double>>& rows) {
  auto m = std::make_shared<Matrix>(static_cast<int>(rows.size()), rows.empty() ? 0 : static_cast<int>(rows[0].size()));
  for (int i = 0; i < m->rowCount(); ++i) {
    for (int j = 0; j < m->columnCount(); ++j) (*m)(i, j) = rows[i][j];
  }
  return m;
}

std::vector<double> column(const Matrix& m) {
  std::vector<double> v;
  for (int i = 0; i < m.rowCount(); ++i) v.push_back(m(i, 0));
  return v;
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

TEST(Matrix, ConstructionCopyAndAccess) {
  Matrix m(2, 3);
  EXPECT_EQ(m.rowCount(), 2);
  EXPECT_EQ(m.columnCount(), 3);
  EXPECT_EQ(m(1, 2), 0.0);
  m(1, 2) = 4.5;
  Matrix copy(m);
  copy(1, 2) = -1.0;
  EXPECT_EQ(m(1, 2), 4.5);  // deep copy: rows are not shared with the source
  EXPECT_EQ(copy.rowCount(), 2);
  EXPECT_EQ(copy.columnCount(), 3);
  Matrix assigned(1, 1);
  assigned = m;
  assigned(0, 0) = 9.0;
  EXPECT_EQ(m(0, 0), 0.0);
  EXPECT_EQ(assigned.columnCount(), 3);

  for (auto [i, j] : {std::pair{2, 0}, std::pair{-1, 0}, std::pair{0, 3}, std::pair{0, -1}}) {
    try {
      (void)m(i, j);
      ADD_FAILURE() << i << "," << j;
    } catch (const std::out_of_range& e) {
      EXPECT_STREQ(e.what(), "invalid vector<T> subscript");
    }
  }
  // a copy measures the columns in the first row, so a matrix without rows cannot be copied
  const Matrix empty(0, 4);
  EXPECT_THROW(Matrix{empty}, std::out_of_range);
}

TEST(MatrixSolve, KnownSystems) {
  const auto u = Matrix::solve(make({{2, 1}, {1, 3}}), make({{3}, {5}}));
  ASSERT_EQ(u->rowCount(), 2);
  ASSERT_EQ(u->columnCount(), 1);
  EXPECT_NEAR((*u)(0, 0), 0.8, 1e-15);
  EXPECT_NEAR((*u)(1, 0), 1.4, 1e-15);

  EXPECT_EQ(column(*Matrix::solve(make({{4}}), make({{2}}))), std::vector<double>{0.5});

  // first column all zero: the rows swap (later row wins a tie), the zero pivot becomes 1e-20
  EXPECT_EQ(column(*Matrix::solve(make({{0, 1}, {0, 2}}), make({{1}, {2}}))), (std::vector<double>{0.0, 1.0}));

  // rows [1, 1] and [2, 2] tie on the scaled pivot: the later row must win, which decides
  // where the 1e-20 pivot lands and so the (huge) answer of this inconsistent system
  const auto tie = column(*Matrix::solve(make({{1, 1}, {2, 2}}), make({{1}, {3}})));
  const double x1 = -0.5 / 1e-20;
  EXPECT_DOUBLE_EQ(tie[1], x1);
  EXPECT_DOUBLE_EQ(tie[0], (3.0 - 2.0 * x1) / 2.0);

  // the row swapped down at column 0 must carry its own scale (1/3) to column 1, where it then
  // loses to the row of scale 1; with a stale scale it would win and u[1] would be -3
  const auto moved = column(*Matrix::solve(make({{3, 1, 3}, {1, -1, 1}, {-1, 0, -1}}), make({{0}, {-1}, {-1}})));
  EXPECT_EQ(moved[1], 2.0);
  EXPECT_EQ(moved[2], -5.0 / 1e-20);

  // the multiplier 1e308 / 0.1 overflows to infinity; the zero leading the right-hand side is
  // skipped by forward substitution, so no 0 * inf turns the answer into NaN
  const auto skip = column(*Matrix::solve(make({{0.1, 0.1}, {1e308, 1.5e308}}), make({{0}, {1}})));
  EXPECT_EQ(skip, (std::vector<double>{0.0, 0.0}));

  // a permutation that needs pivoting and a zero leading right-hand side (the `first` skip)
  const auto p = Matrix::solve(make({{0, 0, 1}, {1, 0, 0}, {0, 3, 0}}), make({{0}, {0}, {6}}));
  EXPECT_EQ(column(*p), (std::vector<double>{0.0, 2.0, 0.0}));

  // a right-hand side whose first permuted entries are zero and later ones are not
  const auto q = Matrix::solve(make({{1, 2, 0}, {3, 4, 1}, {0, 1, 5}}), make({{0}, {1}, {11}}));
  const std::vector<double> got = column(*q);
  const double expect[3][3] = {{1, 2, 0}, {3, 4, 1}, {0, 1, 5}};
  const double rhs[3] = {0, 1, 11};
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(expect[i][0] * got[0] + expect[i][1] * got[1] + expect[i][2] * got[2], rhs[i], 1e-12) << i;
  }
}

TEST(MatrixSolve, OperandsUnchanged) {
  const auto A = make({{0, 1, 2}, {3, 0, 1}, {1, 1, 0}});
  const auto b = make({{1}, {2}, {3}});
  const auto u = Matrix::solve(A, b);
  EXPECT_EQ((*A)(0, 0), 0.0);
  EXPECT_EQ((*A)(1, 0), 3.0);
  EXPECT_EQ((*A)(2, 2), 0.0);
  EXPECT_EQ(column(*b), (std::vector<double>{1, 2, 3}));
  EXPECT_NE(u.get(), b.get());
  (*u)(0, 0) = 100.0;
  EXPECT_EQ((*b)(0, 0), 1.0);
}

TEST(MatrixSolve, Failures) {
  EXPECT_EQ(failureOf<MatrixSingularException>(make({{1, 2}, {0, 0}}), make({{1}, {1}})),
            "Matrix is singular this operation cannot continue !");
  EXPECT_EQ(failureOf<MatrixNotSquareException>(make({{1, 2, 3}, {4, 5, 6}}), make({{1}, {1}})),
            "To do this operation, matrix must be a square matrix !");
  const char* dimension = "Dimension of the two matrices not suitable for this operation !";
  const auto A3 = make({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
  EXPECT_EQ(failureOf<MatrixDimensionException>(A3, make({{1}, {1}})), dimension);
  EXPECT_EQ(failureOf<MatrixDimensionException>(A3, make({{1, 1}, {1, 1}, {1, 1}})), dimension);
  const char* null = "To do this operation, matrix can not be null";
  EXPECT_EQ(failureOf<MatrixNullException>(std::make_shared<Matrix>(0, 0), make({{1}})), null);
  EXPECT_EQ(failureOf<MatrixNullException>(make({{1}}), std::make_shared<Matrix>(0, 1)), null);
  EXPECT_EQ(failureOf<MatrixNullException>(nullptr, make({{1}})), null);
  EXPECT_EQ(failureOf<MatrixNullException>(make({{1}}), nullptr), null);
  // not square is reported before a dimension mismatch of b
  EXPECT_EQ(failureOf<MatrixNotSquareException>(make({{1, 2, 3}, {4, 5, 6}}), make({{1, 2}})),
            "To do this operation, matrix must be a square matrix !");
  // every exception is a std::exception
  EXPECT_THROW(Matrix::solve(make({{0}}), make({{1}})), std::exception);
}

}  // namespace

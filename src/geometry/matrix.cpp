#include "geometry/matrix.h"

#include <cmath>
#include <utility>

#include "common/checked_access.h"

namespace Aztec::Math {

namespace {

std::shared_ptr<Matrix::RowStorage> deepCopy(const Matrix::RowStorage& source) {
  auto copy = std::make_shared<Matrix::RowStorage>();
  copy->reserve(source.size());
  for (const auto& row : source) copy->push_back(std::make_shared<Matrix::Row>(*row));
  return copy;
}

}  // namespace

Matrix::Matrix(int rowCount, int columnCount)
    : rows_(std::make_shared<RowStorage>()), rowCount_(rowCount), columnCount_(columnCount) {
  // Negative counts become huge sizes and fail in the vector (std::length_error), never quietly.
  rows_->reserve(static_cast<std::size_t>(rowCount));
  for (int i = 0; i < rowCount; ++i)
    rows_->push_back(std::make_shared<Row>(static_cast<std::size_t>(columnCount), 0.0));
}

Matrix::Matrix(const Matrix& other) : rows_(deepCopy(*other.rows_)) {
  rowCount_ = static_cast<int>(rows_->size());
  columnCount_ = static_cast<int>(Aztec::at(*rows_, 0)->size());
}

Matrix& Matrix::operator=(const Matrix& other) {
  if (this != &other) {
    Matrix copy(other);
    std::swap(rows_, copy.rows_);
    std::swap(rowCount_, copy.rowCount_);
    std::swap(columnCount_, copy.columnCount_);
  }
  return *this;
}

Matrix::~Matrix() {
  rows_.reset();
  rowCount_ = 0;
  columnCount_ = 0;
}

double& Matrix::operator()(int i, int j) {
  return Aztec::at(*Aztec::at(*rows_, i), j);
}

double Matrix::operator()(int i, int j) const {
  return Aztec::at(*Aztec::at(*rows_, i), j);
}

std::shared_ptr<Matrix> Matrix::solve(const std::shared_ptr<Matrix>& A, const std::shared_ptr<Matrix>& b) {
  std::shared_ptr<RowStorage> aRows;
  std::shared_ptr<RowStorage> xRows;
  try {
    if (!A || !b) throw MatrixNullException();
    Matrix aCopy(*A);
    Matrix xCopy(*b);
    aRows = aCopy.rows_;
    xRows = xCopy.rows_;
  } catch (const std::exception&) {
    throw MatrixNullException();
  }
  RowStorage& a = *aRows;
  RowStorage& x = *xRows;

  const int n = static_cast<int>(a.size()) - 1;
  if (static_cast<int>(Aztec::at(a, 0)->size()) - 1 != n) throw MatrixNotSquareException();
  if (static_cast<int>(x.size()) - 1 != n) throw MatrixDimensionException();
  if (static_cast<int>(Aztec::at(x, 0)->size()) - 1 != 0) throw MatrixDimensionException();

  auto A_ = [&a](int i, int j) -> double& { return Aztec::at(*Aztec::at(a, i), j); };
  auto X_ = [&x](int i) -> double& { return Aztec::at(*Aztec::at(x, i), 0); };

  // Implicit scaling: pivots are compared as if every row's largest entry were 1.
  std::vector<double> scale(static_cast<std::size_t>(n) + 1);
  for (int i = 0; i <= n; ++i) {
    double big = 0.0;
    for (int j = 0; j <= n; ++j) {
      const double temp = std::fabs(A_(i, j));
      if (temp > big) big = temp;
    }
    if (big == 0.0) throw MatrixSingularException();
    Aztec::at(scale, i) = 1.0 / big;
  }

  // Crout decomposition in place; the products are subtracted one at a time in order of k so
  // that every build rounds the same way.
  std::vector<int> index(static_cast<std::size_t>(n) + 1);
  for (int j = 0; j <= n; ++j) {
    for (int i = 0; i < j; ++i) {
      double sum = A_(i, j);
      for (int k = 0; k < i; ++k) sum -= A_(i, k) * A_(k, j);
      A_(i, j) = sum;
    }
    double big = 0.0;
    int imax = j;  // only kept when every scaled pivot is NaN
    for (int i = j; i <= n; ++i) {
      double sum = A_(i, j);
      for (int k = 0; k < j; ++k) sum -= A_(i, k) * A_(k, j);
      A_(i, j) = sum;
      const double dum = Aztec::at(scale, i) * std::fabs(sum);
      if (dum >= big) {
        big = dum;
        imax = i;
      }
    }
    if (imax != j) {
      for (int k = 0; k <= n; ++k) std::swap(A_(imax, k), A_(j, k));
      Aztec::at(scale, imax) = Aztec::at(scale, j);
    }
    Aztec::at(index, j) = imax;
    // A zero pivot becomes tiny instead of failing: only an all-zero row counts as singular.
    if (A_(j, j) == 0.0) A_(j, j) = 1e-20;
    if (j < n) {
      const double dum = 1.0 / A_(j, j);
      for (int i = j + 1; i <= n; ++i) A_(i, j) *= dum;
    }
  }

  // Forward substitution, skipping the leading zeros of the permuted right-hand side.
  int first = -1;
  for (int i = 0; i <= n; ++i) {
    const int p = Aztec::at(index, i);
    double sum = X_(p);
    X_(p) = X_(i);
    if (first != -1) {
      for (int k = first; k < i; ++k) sum -= A_(i, k) * X_(k);
    } else if (sum != 0.0) {
      first = i;
    }
    X_(i) = sum;
  }

  for (int i = n; i >= 0; --i) {
    double sum = X_(i);
    for (int k = i + 1; k <= n; ++k) sum -= A_(i, k) * X_(k);
    X_(i) = sum / A_(i, i);
  }

  Matrix result(0, 0);
  result.rows_ = xRows;
  result.rowCount_ = n + 1;
  result.columnCount_ = 1;
  return std::make_shared<Matrix>(result);
}

}  // namespace Aztec::Math

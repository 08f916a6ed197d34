#pragma once
// Small dense matrix of doubles with one solver (LU decomposition with implicit row scaling
// and partial pivoting), used to fit perspective transforms.

#include <exception>
#include <memory>
#include <vector>

namespace Aztec::Math {

class MatrixSingularException : public std::exception {
 public:
  const char* what() const noexcept override { return "Matrix is singular this operation cannot continue !"; }
};

class MatrixNotSquareException : public std::exception {
 public:
  const char* what() const noexcept override {
    return "To do this operation, matrix must be a square matrix !";
  }
};

class MatrixDimensionException : public std::exception {
 public:
  const char* what() const noexcept override {
    return "Dimension of the two matrices not suitable for this operation !";
  }
};

class MatrixNullException : public std::exception {
 public:
  const char* what() const noexcept override { return "To do this operation, matrix can not be null"; }
};

class Matrix {
 public:
  using Row = std::vector<double>;
  using RowStorage = std::vector<std::shared_ptr<Row>>;

  // rowCount x columnCount zeros.
  Matrix(int rowCount, int columnCount);
  // Deep copy; the column count is taken from the source's first row, so a source without
  // rows raises std::out_of_range.
  Matrix(const Matrix& other);
  Matrix& operator=(const Matrix& other);
  ~Matrix();

  int rowCount() const { return rowCount_; }
  int columnCount() const { return columnCount_; }

  // Element (i, j), range-tested (std::out_of_range "invalid vector<T> subscript").
  double& operator()(int i, int j);
  double operator()(int i, int j) const;

  // u with A u = b for a square A (N x N) and b (N x 1). Neither operand is changed.
  // Throws MatrixNullException, MatrixNotSquareException, MatrixDimensionException or
  // MatrixSingularException (a row of A entirely zero).
  static std::shared_ptr<Matrix> solve(const std::shared_ptr<Matrix>& A, const std::shared_ptr<Matrix>& b);

 private:
  std::shared_ptr<RowStorage> rows_;
  int rowCount_ = 0;
  int columnCount_ = 0;
};

}  // namespace Aztec::Math

// Arbitrary small systems through the solver: an N x 1 result or one of the four matrix
// exceptions, and the operands unchanged either way.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "geometry/matrix.h"

using Aztec::Math::Matrix;

namespace {

bool sameBits(const Matrix& m, const Matrix& before, int rows, int cols) {
  if (rows == 0) return m.rowCount() == 0;
  if (m.rowCount() != rows || m.columnCount() != cols) return false;
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < cols; ++j) {
      const double x = m(i, j), y = before(i, j);
      if (std::memcmp(&x, &y, sizeof x) != 0) return false;
    }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const int rows = data[0] % 10;
  const int cols = data[1] % 10;
  const int bRows = data[2] % 10;
  std::size_t pos = 3;
  auto next = [&]() {
    double v = 0.0;
    if (pos + sizeof v <= size) {
      std::memcpy(&v, data + pos, sizeof v);
      pos += sizeof v;
    } else if (pos < size) {
      v = static_cast<double>(static_cast<std::int8_t>(data[pos++]));
    }
    return v;
  };
  auto A = std::make_shared<Matrix>(rows, cols);
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < cols; ++j) (*A)(i, j) = next();
  auto b = std::make_shared<Matrix>(bRows, 1);
  for (int i = 0; i < bRows; ++i) (*b)(i, 0) = next();
  const Matrix aBefore = rows > 0 ? *A : Matrix(0, 0);
  const Matrix bBefore = bRows > 0 ? *b : Matrix(0, 0);
  try {
    std::shared_ptr<Matrix> u = Matrix::solve(A, b);
    if (!u || u->rowCount() != rows || u->columnCount() != 1) __builtin_trap();
  } catch (const Aztec::Math::MatrixNullException&) {
  } catch (const Aztec::Math::MatrixNotSquareException&) {
  } catch (const Aztec::Math::MatrixDimensionException&) {
  } catch (const Aztec::Math::MatrixSingularException&) {
    // Anything else (std::out_of_range from a bad subscript included) escapes and is a finding.
  }
  // Neither operand is changed (compared bit for bit: NaN inputs are allowed).
  if (!sameBits(*A, aBefore, rows, cols) || !sameBits(*b, bBefore, bRows, 1)) __builtin_trap();
  return 0;
}

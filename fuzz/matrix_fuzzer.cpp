// Arbitrary small systems through the solver: a result or one of the matrix exceptions.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "geometry/matrix.h"

using Aztec::Math::Matrix;

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
  try {
    std::shared_ptr<Matrix> u = Matrix::solve(A, b);
    if (!u || u->rowCount() != rows || u->columnCount() != 1) __builtin_trap();
  } catch (const std::exception&) {
    // The four matrix exceptions; NaN and infinities in the input are allowed to flow through.
  }
  return 0;
}

#include "geometry/homography.h"

#include <memory>

#include "geometry/matrix.h"

namespace Aztec {

Point2D PerspectiveTransform::map(double x, double y) const {
  const double w = g * x + h * y + 1.0;
  return {(a * x + b * y + c) / w, (d * x + e * y + f) / w};
}

PerspectiveTransform fitPerspective(const std::array<Point2D, 4>& grid, const std::array<Point2D, 4>& image) {
  using Math::Matrix;
  auto A = std::make_shared<Matrix>(8, 8);
  auto R = std::make_shared<Matrix>(8, 1);
  Matrix& m = *A;
  Matrix& r = *R;
  // Each pair gives two linear equations: X (g x + h y + 1) = a x + b y + c, and the same
  // for Y with d, e, f. Four pairs determine the eight coefficients exactly.
  for (int k = 0; k < 4; ++k) {
    const double x = grid[k].x;
    const double y = grid[k].y;
    const double X = image[k].x;
    const double Y = image[k].y;
    const int row = 2 * k;
    m(row, 0) = -x;
    m(row, 1) = -y;
    m(row, 2) = -1.0;
    m(row, 6) = X * x;
    m(row, 7) = X * y;
    r(row, 0) = -X;
    m(row + 1, 3) = -x;
    m(row + 1, 4) = -y;
    m(row + 1, 5) = -1.0;
    m(row + 1, 6) = Y * x;
    m(row + 1, 7) = Y * y;
    r(row + 1, 0) = -Y;
  }
  const std::shared_ptr<Matrix> u = Matrix::solve(A, R);
  PerspectiveTransform t;
  t.a = (*u)(0, 0);
  t.b = (*u)(1, 0);
  t.c = (*u)(2, 0);
  t.d = (*u)(3, 0);
  t.e = (*u)(4, 0);
  t.f = (*u)(5, 0);
  t.g = (*u)(6, 0);
  t.h = (*u)(7, 0);
  return t;
}

}  // namespace Aztec

#include "geometry/homography.h"

#include <cmath>
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

std::optional<PerspectiveTransform> squareToQuad(const std::array<Point2D, 4>& q, double half) {
  if (!(half > 0.0)) return std::nullopt;
  // Unit square (0,0), (1,0), (1,1), (0,1) onto the quad.
  const double dx1 = q[1].x - q[2].x, dx2 = q[3].x - q[2].x, dx3 = q[0].x - q[1].x + q[2].x - q[3].x;
  const double dy1 = q[1].y - q[2].y, dy2 = q[3].y - q[2].y, dy3 = q[0].y - q[1].y + q[2].y - q[3].y;
  const double den = dx1 * dy2 - dx2 * dy1;
  if (!(std::abs(den) > 1e-12)) return std::nullopt;
  const double g = (dx3 * dy2 - dx2 * dy3) / den;
  const double h = (dx1 * dy3 - dx3 * dy1) / den;
  const double a = q[1].x - q[0].x + g * q[1].x, b = q[3].x - q[0].x + h * q[3].x, c = q[0].x;
  const double d = q[1].y - q[0].y + g * q[1].y, e = q[3].y - q[0].y + h * q[3].y, f = q[0].y;
  // Then u = x / (2 half) + 0.5, v = y / (2 half) + 0.5, scaled so that w = 1 at the origin.
  const double s = 0.5 / half;
  const double w0 = 1.0 + 0.5 * g + 0.5 * h;
  if (!(std::abs(w0) > 1e-12)) return std::nullopt;
  PerspectiveTransform t;
  t.a = a * s / w0;
  t.b = b * s / w0;
  t.c = (c + 0.5 * a + 0.5 * b) / w0;
  t.d = d * s / w0;
  t.e = e * s / w0;
  t.f = (f + 0.5 * d + 0.5 * e) / w0;
  t.g = g * s / w0;
  t.h = h * s / w0;
  return t;
}

}  // namespace Aztec

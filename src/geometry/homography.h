#pragma once
// Plane projective mapping from symbol grid space (modules, origin at the centre module)
// to image space (pixels).

#include <aztec/types.h>

#include <array>
#include <cstdint>
#include <optional>

namespace Aztec {

// Sample value of a point whose pixel lies outside the image; far above any gray value.
inline constexpr std::uint32_t OUTSIDE_IMAGE = 999999999u;

struct PerspectiveTransform {
  double a = 0.0, b = 0.0, c = 0.0, d = 0.0, e = 0.0, f = 0.0, g = 0.0, h = 0.0;

  // w = g x + h y + 1; X = (a x + b y + c) / w; Y = (d x + e y + f) / w. No guard for w = 0.
  Point2D map(double x, double y) const;
};

// The exact transform that maps grid[k] onto image[k] for k = 0..3, from an 8 x 8 solve.
// Exceptions of Matrix::solve pass out unchanged.
PerspectiveTransform fitPerspective(const std::array<Point2D, 4>& grid, const std::array<Point2D, 4>& image);

// The transform that maps the square (-half, -half), (half, -half), (half, half), (-half, half)
// onto quad[0..3], in closed form: the same mapping as fitPerspective up to rounding, at a
// fraction of its cost, for the searches that try it on many candidates. Nothing for a
// degenerate quadrilateral.
std::optional<PerspectiveTransform> squareToQuad(const std::array<Point2D, 4>& quad, double half);

}  // namespace Aztec

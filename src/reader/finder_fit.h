#pragma once
// The finder seen through a transform fitted to its ring corners: the transform itself, the
// finder's dark and light levels, and how well the pattern holds through it.

#include <array>
#include <cstdlib>
#include <optional>

#include "geometry/homography.h"
#include "reader/polar_plane.h"

namespace Aztec::detail {

// The finder's radius in modules up to its outermost dark ring.
inline int finderRadius(bool fullRange) {
  return fullRange ? 6 : 4;
}

// Whether grid cell (gx, gy) (from the centre) is dark in the finder pattern; `inFinder` tells
// whether it lies within `radius`.
inline bool finderDark(int gx, int gy, int radius, bool& inFinder) {
  const int d = std::max(std::abs(gx), std::abs(gy));
  inFinder = d <= radius;
  return d % 2 == 0;
}

// The grid transform from the corners of the finder edge at `edgeRadius` modules (the corners in
// image order clockwise from the top-left one); nothing when the fit is degenerate.
std::optional<PerspectiveTransform> finderTransform(const std::array<Point2D, 4>& corners, double edgeRadius);

// Mean dark and light levels of the finder rings through a transform.
struct Levels {
  double dark = 0.0;
  double light = 0.0;
};
Levels finderLevels(const PolarPlane& plane, const ModuleMap& t, bool fullRange);

// Finder modules (the rings up to the outermost dark one) that disagree with the pattern through
// a transform, at the midpoint of the finder's levels; all of them when it shows no contrast.
int finderPatternErrors(const PolarPlane& plane, const PerspectiveTransform& t, bool fullRange);

}  // namespace Aztec::detail

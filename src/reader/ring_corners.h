#pragma once
// The corners of a finder ring: crossings of the ring's edge on rays around the centre, sides
// fitted through them, corners where the sides meet.

#include <aztec/types.h>

#include <array>
#include <optional>
#include <vector>

#include "reader/binarizer.h"
#include "reader/finder_search.h"

namespace Aztec::detail {

// One ray's crossing of a ring edge.
struct RayPoint {
  Point2D dir;  // unit direction of the ray
  Point2D p;    // the crossing
  double r;     // its distance from the centre
};

// The quadrilateral of one ring edge from its crossings on rays around the centre (in angle
// order, at most 64): corners by the farthest points, sides by robust line fits between them, in
// image order clockwise from the corner nearest the top-left. `tolerance` is the distance from a
// side within which a crossing belongs to it; corners must lie between the two radii. Nothing
// when the crossings do not form a convex quadrilateral of reasonable proportions.
std::optional<std::array<Point2D, 4>> quadFromRays(const std::vector<RayPoint>& pts, const Point2D& centre,
                                                   double tolerance, double minRadius, double maxRadius);

// The four corners of the edge between the finder's outermost light ring and the dark ring
// around it (3.5 modules from the centre for compact, 5.5 for full-range), in image order
// clockwise from the corner nearest the top-left. Nothing when the rings do not form a
// convincing quadrilateral.
std::optional<std::array<Point2D, 4>> locateRingCorners(const Binarizer& binarizer,
                                                        const FinderCandidate& candidate, bool fullRange);

}  // namespace Aztec::detail

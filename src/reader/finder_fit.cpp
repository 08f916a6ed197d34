#include "reader/finder_fit.h"

#include <cmath>

#include "geometry/matrix.h"
#include "reader/tuning.h"

namespace Aztec::detail {

std::optional<PerspectiveTransform> finderTransform(const std::array<Point2D, 4>& corners, double r) {
  PerspectiveTransform t;
  try {
    t = fitPerspective({Point2D{-r, -r}, Point2D{r, -r}, Point2D{r, r}, Point2D{-r, r}}, corners);
  } catch (const Math::MatrixSingularException&) {  // corners in a line: no transform
    return std::nullopt;
  }
  for (double v : {t.a, t.b, t.c, t.d, t.e, t.f, t.g, t.h})
    if (!std::isfinite(v)) return std::nullopt;
  return t;
}

Levels finderLevels(const PolarPlane& plane, const ModuleMap& t, bool fullRange) {
  const int rings = finderRadius(fullRange);
  double sd = 0.0, sl = 0.0;
  int nd = 0, nl = 0;
  for (int d = 0; d <= rings; ++d) {
    // Four points per ring, on the axes (the middles of its sides).
    const int pts[4][2] = {{d, 0}, {-d, 0}, {0, d}, {0, -d}};
    for (const auto& q : pts) {
      const double v = plane.moduleValue(t, q[0], q[1]);
      if (d % 2 == 0) {
        sd += v;
        ++nd;
      } else {
        sl += v;
        ++nl;
      }
      if (d == 0) break;
    }
  }
  return {sd / nd, sl / nl};
}

int finderPatternErrors(const PolarPlane& plane, const PerspectiveTransform& t, bool fullRange) {
  const int radius = finderRadius(fullRange);
  const int all = (2 * radius + 1) * (2 * radius + 1);
  const Levels lv = finderLevels(plane, t, fullRange);
  if (!(lv.light - lv.dark >= Tuning::kMinFinderContrast)) return all;
  const double mid = 0.5 * (lv.dark + lv.light);
  int bad = 0;
  for (int x = -radius; x <= radius; ++x)
    for (int y = -radius; y <= radius; ++y) {
      bool inFinder = false;
      const bool ideal = finderDark(x, y, radius, inFinder);
      if ((plane.moduleValue(t, x, y) < mid) != ideal) ++bad;
    }
  return bad;
}

}  // namespace Aztec::detail

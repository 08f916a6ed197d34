#pragma once
// The luminance plane in one polarity, as the grid stages read it.

#include "geometry/homography.h"
#include "reader/binarizer.h"
#include "reader/module_map.h"
#include "reader/tuning.h"

namespace Aztec::detail {

// Dark symbol modules read low in both polarities.
class PolarPlane {
 public:
  PolarPlane(const LumaPlane& plane, bool inverted) : plane_(plane), inverted_(inverted) {}
  double value(double x, double y) const {
    const double v = plane_.bilinear(x, y);
    return inverted_ ? 255.0 - v : v;
  }
  // Mean of five readings around a grid point: the module's value, steadier than one reading.
  // One transform serves all five readings: cells meet without a step.
  double moduleValue(const ModuleMap& map, double gx, double gy) const {
    constexpr double o = Tuning::kModuleSpread;
    const PerspectiveTransform& t = map.local(gx, gy);
    const Point2D c = ModuleMap::apply(t, gx, gy);
    const Point2D l = ModuleMap::apply(t, gx - o, gy);
    const Point2D r = ModuleMap::apply(t, gx + o, gy);
    const Point2D u = ModuleMap::apply(t, gx, gy - o);
    const Point2D d = ModuleMap::apply(t, gx, gy + o);
    return (value(c.x, c.y) + value(l.x, l.y) + value(r.x, r.y) + value(u.x, u.y) + value(d.x, d.y)) / 5.0;
  }
  const LumaPlane& plane() const { return plane_; }
  bool inverted() const { return inverted_; }

 private:
  LumaPlane plane_;
  bool inverted_;
};

}  // namespace Aztec::detail

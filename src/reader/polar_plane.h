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
  // moduleValue of `count` grid points (gx[i], gy[i]) into out[i], by the same arithmetic: the
  // positions of a batch first, then its readings, so that one point's division and pixel reads
  // do not wait on the last point's.
  void moduleValues(const ModuleMap& map, const double* gx, const double* gy, int count, double* out) const {
    constexpr double o = Tuning::kModuleSpread;
    constexpr int kBatch = 32;
    double px[5 * kBatch], py[5 * kBatch];
    for (int start = 0; start < count; start += kBatch) {
      const int m = count - start < kBatch ? count - start : kBatch;
      for (int i = 0; i < m; ++i) {
        double x = gx[start + i], y = gy[start + i];
        const PerspectiveTransform& t = map.local(x, y);
        // moduleValue's readings in its order: centre, left, right, up, down.
        const Point2D q[5] = {ModuleMap::apply(t, x, y), ModuleMap::apply(t, x - o, y),
                              ModuleMap::apply(t, x + o, y), ModuleMap::apply(t, x, y - o),
                              ModuleMap::apply(t, x, y + o)};
        for (int k = 0; k < 5; ++k) px[5 * i + k] = q[k].x, py[5 * i + k] = q[k].y;
      }
      for (int i = 0; i < m; ++i) {
        const double* x = px + 5 * i;
        const double* y = py + 5 * i;
        out[start + i] = (value(x[0], y[0]) + value(x[1], y[1]) + value(x[2], y[2]) + value(x[3], y[3]) +
                          value(x[4], y[4])) /
                         5.0;
      }
    }
  }
  const LumaPlane& plane() const { return plane_; }
  bool inverted() const { return inverted_; }

 private:
  LumaPlane plane_;
  bool inverted_;
};

}  // namespace Aztec::detail

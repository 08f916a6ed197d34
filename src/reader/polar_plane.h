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
  // value(x[i], y[i]) into out[i] for i < count.
  void values(const double* x, const double* y, int count, double* out) const {
    plane_.bilinear(x, y, count, out);
    if (inverted_)
      for (int i = 0; i < count; ++i) out[i] = 255.0 - out[i];
  }
  // moduleValue of `count` grid points (gx[i], gy[i]) into out[i], by the same arithmetic: a
  // batch of modules at a time, each step for all its readings before the next, so that the
  // compiler runs the divisions and blends of several readings at once.
  void moduleValues(const ModuleMap& map, const double* gx, const double* gy, int count, double* out) const {
    constexpr double o = Tuning::kModuleSpread;
    constexpr int kBatch = 64;
    // Reading k of module i of a batch of m at [k * m + i], in moduleValue's order: centre,
    // left, right, up, down.
    double px[5 * kBatch], py[5 * kBatch], w[5 * kBatch], v[5 * kBatch];
    for (int start = 0; start < count; start += kBatch) {
      const int m = count - start < kBatch ? count - start : kBatch;
      for (int i = 0; i < m; ++i) {
        double x = gx[start + i], y = gy[start + i];
        const PerspectiveTransform& t = map.local(x, y);
        const double qx[5] = {x, x - o, x + o, x, x};
        const double qy[5] = {y, y, y, y - o, y + o};
        // ModuleMap::apply, its divisions left for the loop below.
        for (int k = 0; k < 5; ++k) {
          const std::size_t j = static_cast<std::size_t>(k * m + i);
          w[j] = t.g * qx[k] + t.h * qy[k] + 1.0;
          px[j] = t.a * qx[k] + t.b * qy[k] + t.c;
          py[j] = t.d * qx[k] + t.e * qy[k] + t.f;
        }
      }
      divideBy(px, py, w, 5 * m);
      values(px, py, 5 * m, v);
      for (int i = 0; i < m; ++i)
        out[start + i] = (v[i] + v[m + i] + v[2 * m + i] + v[3 * m + i] + v[4 * m + i]) / 5.0;
    }
  }
  const LumaPlane& plane() const { return plane_; }
  bool inverted() const { return inverted_; }

 private:
  LumaPlane plane_;
  bool inverted_;
};

}  // namespace Aztec::detail

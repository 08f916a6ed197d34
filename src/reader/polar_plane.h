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
    constexpr int kBatch = 64;
    // Reading k of module i of a batch of m at [k * m + i], in moduleValue's order: centre,
    // left, right, up, down.
    double px[5 * kBatch], py[5 * kBatch], w[5 * kBatch], v[5 * kBatch];
    double lx[kBatch], ly[kBatch];  // in the coordinates of the module's transform
    const PerspectiveTransform* through[kBatch];
    for (int start = 0; start < count; start += kBatch) {
      const int m = count - start < kBatch ? count - start : kBatch;
      for (int i = 0; i < m; ++i) {
        lx[i] = gx[start + i], ly[i] = gy[start + i];
        through[i] = &map.local(lx[i], ly[i]);
      }
      // Runs of modules through one transform, each reading for the whole run at once.
      for (int from = 0, to = 0; from < m; from = to) {
        while (to < m && through[to] == through[from]) ++to;
        const PerspectiveTransform& t = *through[from];
        numerators<0>(t, lx, ly, from, to, px, py, w);
        numerators<1>(t, lx, ly, from, to, px + m, py + m, w + m);
        numerators<2>(t, lx, ly, from, to, px + 2 * m, py + 2 * m, w + 2 * m);
        numerators<3>(t, lx, ly, from, to, px + 3 * m, py + 3 * m, w + 3 * m);
        numerators<4>(t, lx, ly, from, to, px + 4 * m, py + 4 * m, w + 4 * m);
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
  // ModuleMap::apply for reading K of modules from .. to - 1 (0 centre, 1 left, 2 right, 3 up,
  // 4 down, kModuleSpread off), all through t; the divisions are left for divideBy. Out of
  // line: inlined, GCC 12 leaves the loop scalar.
  template <int K>
  [[gnu::noinline]] static void numerators(const PerspectiveTransform& t, const double* x, const double* y,
                                           int from, int to, double* px, double* py, double* w) {
    constexpr double o = Tuning::kModuleSpread;
    const PerspectiveTransform c = t;  // a copy, which the stores cannot alias
    for (int i = from; i < to; ++i) {
      const double qx = K == 1 ? x[i] - o : K == 2 ? x[i] + o : x[i];
      const double qy = K == 3 ? y[i] - o : K == 4 ? y[i] + o : y[i];
      w[i] = c.g * qx + c.h * qy + 1.0;
      px[i] = c.a * qx + c.b * qy + c.c;
      py[i] = c.d * qx + c.e * qy + c.f;
    }
  }

  LumaPlane plane_;
  bool inverted_;
};

}  // namespace Aztec::detail

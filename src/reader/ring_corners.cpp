#include "reader/ring_corners.h"

#include <algorithm>
#include <cmath>

#include "reader/tuning.h"

namespace Aztec::detail {

using namespace Tuning;

namespace {

constexpr double kPi = 3.141592653589793;
// Room for the rays of either caller.
constexpr int kMaxRays = kCornerRays > kRingRays ? kCornerRays : kRingRays;

struct Line {
  // Point on the line and unit direction.
  Point2D o;
  Point2D d;
};

std::optional<Line> fitLine(const Point2D* pts, int n) {
  if (n < 2) return std::nullopt;
  double mx = 0, my = 0;
  for (int i = 0; i < n; ++i) {
    mx += pts[i].x;
    my += pts[i].y;
  }
  mx /= n;
  my /= n;
  double sxx = 0, syy = 0, sxy = 0;
  for (int i = 0; i < n; ++i) {
    const double x = pts[i].x - mx, y = pts[i].y - my;
    sxx += x * x;
    syy += y * y;
    sxy += x * y;
  }
  // Principal direction of the scatter: the eigenvector of the larger eigenvalue, taken from
  // the better conditioned of the two rows.
  const double half = 0.5 * (sxx - syy);
  const double lambda = 0.5 * (sxx + syy) + std::sqrt(half * half + sxy * sxy);
  double dx = sxy, dy = lambda - sxx;
  if (sxx > syy) {
    dx = lambda - syy;
    dy = sxy;
  }
  const double len = std::sqrt(dx * dx + dy * dy);
  if (!(len > 0.0)) return Line{{mx, my}, {1.0, 0.0}};
  return Line{{mx, my}, {dx / len, dy / len}};
}

double distance(const Line& l, const Point2D& q) {
  return std::abs((q.x - l.o.x) * l.d.y - (q.y - l.o.y) * l.d.x);
}

// Fit, drop the points far from the line, fit again. Reorders `pts`.
std::optional<Line> robustLine(Point2D* pts, int n, double tolerance) {
  auto l = fitLine(pts, n);
  if (!l) return l;
  for (int round = 0; round < 2; ++round) {
    int kept = 0;
    for (int i = 0; i < n; ++i)
      if (distance(*l, pts[i]) <= tolerance) std::swap(pts[kept++], pts[i]);
    if (kept < 3 || kept == n) break;
    n = kept;
    l = fitLine(pts, n);
    if (!l) return l;
  }
  if (n < 3) return std::nullopt;
  return l;
}

std::optional<Point2D> intersect(const Line& a, const Line& b) {
  const double det = a.d.x * b.d.y - a.d.y * b.d.x;
  if (std::abs(det) < kParallelDeterminant) return std::nullopt;
  const double t = ((b.o.x - a.o.x) * b.d.y - (b.o.y - a.o.y) * b.d.x) / det;
  return Point2D{a.o.x + t * a.d.x, a.o.y + t * a.d.y};
}

double dist2(const Point2D& a, const Point2D& b) {
  return (a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y);
}

}  // namespace

std::optional<std::array<Point2D, 4>> quadFromRays(const std::vector<RayPoint>& pts, const Point2D& centre,
                                                   double tol, double minRadius, double maxRadius) {
  if (static_cast<int>(pts.size()) < kQuadMinPoints) return std::nullopt;
  // Isolated misreadings (a missed or extra transition) jump to another ring: a median over
  // neighbouring rays keeps them from being taken for corners.
  const int m = static_cast<int>(pts.size());
  if (m > kMaxRays) return std::nullopt;
  std::array<double, kMaxRays> smooth;
  for (int i = 0; i < m; ++i) {
    double a = pts[(i + m - 1) % m].r, b = pts[i].r, c = pts[(i + 1) % m].r;
    smooth[i] = std::max(std::min(a, b), std::min(std::max(a, b), c));
  }
  auto at = [&](int i) {
    const RayPoint& q = pts[i];
    const double s = smooth[i];
    return Point2D{centre.x + q.dir.x * s, centre.y + q.dir.y * s};
  };
  int ia = 0;
  for (int i = 1; i < m; ++i)
    if (smooth[i] > smooth[ia]) ia = i;
  const Point2D A = at(ia);
  int ic = ia;
  double farthest = -1.0;
  for (int i = 0; i < m; ++i) {
    const double d = dist2(at(i), A);
    if (d > farthest) {
      farthest = d;
      ic = i;
    }
  }
  const Point2D C = at(ic);
  int ib = -1, id = -1;
  double bestB = 0.0, bestD = 0.0;
  for (int i = 0; i < m; ++i) {
    const Point2D q = at(i);
    const double s = (C.x - A.x) * (q.y - A.y) - (C.y - A.y) * (q.x - A.x);
    if (s > bestB) {
      bestB = s;
      ib = i;
    }
    if (-s > bestD) {
      bestD = -s;
      id = i;
    }
  }
  if (ib < 0 || id < 0) return std::nullopt;
  // Corner indices in increasing angle (clockwise on screen, y pointing down).
  std::array<int, 4> ci = {ia, ib, ic, id};
  std::sort(ci.begin(), ci.end());
  if (ci[0] == ci[1] || ci[1] == ci[2] || ci[2] == ci[3]) return std::nullopt;

  std::array<Line, 4> sides;
  for (int s = 0; s < 4; ++s) {
    const int from = ci[s];
    const int to = s == 3 ? ci[0] + m : ci[s + 1];
    const int span = to - from;
    const int margin = std::max(1, span / kQuadSideMarginDivisor);
    std::array<Point2D, kMaxRays> side;
    int n = 0;
    for (int i = from + margin; i <= to - margin; ++i) side[n++] = pts[i % m].p;
    auto l = robustLine(side.data(), n, tol);
    if (!l) return std::nullopt;
    sides[s] = *l;
  }
  // The corners above are the rays' extremes, which miss the true corners by up to a ray when
  // rays near them failed; each side's points then mix two sides. Every point is reassigned to
  // the one line it lies close to (points close to two lie at a corner and are left out) and
  // the lines fitted again.
  for (int round = 0; round < 2; ++round) {
    std::array<std::array<Point2D, kMaxRays>, 4> groups;
    std::array<int, 4> counts{};
    for (int i = 0; i < m; ++i) {
      int best = -1, near = 0;
      double bestDistance = tol;
      for (int s = 0; s < 4; ++s) {
        const double d = distance(sides[s], pts[i].p);
        if (d > tol) continue;
        ++near;
        if (d <= bestDistance) {
          bestDistance = d;
          best = s;
        }
      }
      if (near == 1) groups[best][counts[best]++] = pts[i].p;
    }
    for (int s = 0; s < 4; ++s)
      if (counts[s] >= 3)
        if (auto l = robustLine(groups[s].data(), counts[s], tol)) sides[s] = *l;
  }
  std::array<Point2D, 4> corners;
  for (int s = 0; s < 4; ++s) {
    auto q = intersect(sides[(s + 3) % 4], sides[s]);
    if (!q) return std::nullopt;
    corners[s] = *q;
  }
  // Shape checks: a convex quadrilateral around the centre of about the expected size.
  for (int s = 0; s < 4; ++s) {
    const Point2D& a = corners[s];
    const Point2D& b = corners[(s + 1) % 4];
    const Point2D& c = corners[(s + 2) % 4];
    const double cross = (b.x - a.x) * (c.y - b.y) - (b.y - a.y) * (c.x - b.x);
    if (cross <= 0.0) return std::nullopt;
    const double r2 = dist2(a, centre);
    if (r2 < minRadius * minRadius || r2 > maxRadius * maxRadius) return std::nullopt;
  }
  for (int s = 0; s < 2; ++s) {
    const double l1 = dist2(corners[s], corners[s + 1]);
    const double l2 = dist2(corners[s + 2], corners[(s + 3) % 4]);
    if (l1 < kQuadMinSide2 || l2 < kQuadMinSide2 || l1 > kQuadMaxSideRatio2 * l2 ||
        l2 > kQuadMaxSideRatio2 * l1)
      return std::nullopt;
  }
  // Start at the corner nearest the top-left direction.
  int first = 0;
  double bestTL = -1e300;
  for (int s = 0; s < 4; ++s) {
    const double score = -(corners[s].x - centre.x) - (corners[s].y - centre.y);
    if (score > bestTL) {
      bestTL = score;
      first = s;
    }
  }
  std::array<Point2D, 4> out;
  for (int s = 0; s < 4; ++s) out[s] = corners[(first + s) % 4];
  return out;
}

std::optional<std::array<Point2D, 4>> locateRingCorners(const Binarizer& bin, const FinderCandidate& cand,
                                                        bool fullRange) {
  const LumaPlane& p = bin.plane();
  const int K = fullRange ? 6 : 4;  // transitions from the centre to the edge wanted
  const double edgeRadius = K - 0.5;
  const double wMin = std::max(cand.moduleMin, 1.0);
  const double maxLen = (K + kCornerReachModules) * cand.moduleMax * kCornerReachFactor + kCornerReachSlack;
  const double step = std::clamp(wMin / kCornerStepsPerModule, kCornerMinStep, kCornerMaxStep);
  const int nSteps = static_cast<int>(maxLen / step) + 1;
  constexpr int kRays = kCornerRays;
  const bool inv = cand.inverted;
  std::vector<RayPoint> pts;
  std::vector<double> vals(static_cast<std::size_t>(nSteps));
  std::vector<double> thr(static_cast<std::size_t>(nSteps));
  for (int k = 0; k < kRays; ++k) {
    const double angle = 2.0 * kPi * (k + 0.5) / kRays - kPi;
    const double dx = std::cos(angle), dy = std::sin(angle);
    double lo = 255.0, hi = 0.0;
    int n = 0;
    for (; n < nSteps; ++n) {
      const double x = cand.center.x + dx * n * step;
      const double y = cand.center.y + dy * n * step;
      if (x < 0.0 || y < 0.0 || x >= p.width || y >= p.height) break;
      double v = p.bilinear(x, y);
      double t = bin.threshold(static_cast<int>(x), static_cast<int>(y));
      if (inv) {
        v = 255.0 - v;
        t = 255.0 - t;
      }
      vals[static_cast<std::size_t>(n)] = v;
      thr[static_cast<std::size_t>(n)] = t;
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
    const double hyst = kCornerHysteresis * (hi - lo);
    bool darkState = true;
    int transitions = 0;
    double lastCross = 0.0;
    for (int i = 1; i < n; ++i) {
      const double a = vals[i - 1] - thr[i - 1];
      const double b = vals[i] - thr[i];
      if ((a < 0.0) != (b < 0.0)) lastCross = (i - 1 + a / (a - b)) * step;
      const bool switchNow = darkState ? b > hyst : b < -hyst;
      if (switchNow) {
        darkState = !darkState;
        if (++transitions == K) {
          pts.push_back(
              {{dx, dy}, {cand.center.x + dx * lastCross, cand.center.y + dy * lastCross}, lastCross});
          break;
        }
      }
    }
  }
  if (static_cast<int>(pts.size()) < kCornerMinRays) return std::nullopt;

  return quadFromRays(pts, cand.center, kCornerSideTolerance * wMin + kCornerSideSlack,
                      edgeRadius * std::sqrt(2.0) * cand.moduleMin * kQuadMinRadius,
                      edgeRadius * std::sqrt(2.0) * cand.moduleMax * kQuadMaxRadius);
}

}  // namespace Aztec::detail

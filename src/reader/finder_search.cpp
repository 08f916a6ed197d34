#include "reader/finder_search.h"

#include <algorithm>
#include <cmath>

#include "geometry/homography.h"

namespace Aztec {

namespace {

constexpr double kPi = 3.141592653589793;

// Run widths allowed around the mean width w: loose for tiny modules, where one pixel of
// rounding is a large share of a module.
bool similar(double run, double w) {
  return std::abs(run - w) <= 0.5 * w + 0.75;
}

// Runs i-3..i+3 equal, and the outer dark ring present on both sides.
bool compactPattern(const int* runs, int i, double& w) {
  // Cheap integer test first: equal runs up to rounding.
  int lo = runs[i], hi = runs[i];
  for (int k = -3; k <= 3; ++k) {
    lo = std::min(lo, runs[i + k]);
    hi = std::max(hi, runs[i + k]);
  }
  if (hi > 2 * lo + 2) return false;
  int sum = 0;
  for (int k = -3; k <= 3; ++k) sum += runs[i + k];
  w = sum / 7.0;
  for (int k = -3; k <= 3; ++k)
    if (!similar(runs[i + k], w)) return false;
  // Mirror runs about the centre match up to rounding and a perspective gradient.
  for (int k = 1; k <= 3; ++k)
    if (std::abs(runs[i - k] - runs[i + k]) > 0.3 * w + 1.0) return false;
  return runs[i - 4] >= 0.5 * w - 1.0 && runs[i + 4] >= 0.5 * w - 1.0;
}

// Runs beyond the rings of the widest finder (six each way) plus four more, all of width w.
constexpr int kPeriodicRuns = 10;

// A side that reaches the frame's edge still in rhythm counts as periodic: the texture runs on
// out of view (the run at the edge is cut and not judged).
// The rhythm must hold to a pixel: data after a finder's rings, crossed at an angle, gives runs
// of many lengths.
bool periodicRuns(const int* runs, int n, int i, double w) {
  auto steady = [w](int run) { return std::abs(run - w) <= 1.25; };
  for (int k = 4; k <= kPeriodicRuns; ++k) {
    if (i - k > 0 && !steady(runs[i - k])) return false;
    if (i + k < n - 1 && !steady(runs[i + k])) return false;
  }
  return true;
}

// Whether the row at `y` shows runs of width w around x: the run holding x and three more each
// way. Through a finder, the rows a module above and below its centre cross the light ring's
// three-module run; through a checkerboard they alternate like the centre row.
bool alternatesAround(const Binarizer& bin, int x, int y, double w, bool inverted) {
  const LumaPlane& p = bin.plane();
  if (y < 0 || y >= p.height) return false;
  const int limit = static_cast<int>(1.5 * w + 2.0);
  const bool start = bin.dark(x, y, inverted);
  int l = x, r = x;
  while (l > 0 && x - l <= limit && bin.dark(l - 1, y, inverted) == start) --l;
  while (r + 1 < p.width && r - x <= limit && bin.dark(r + 1, y, inverted) == start) ++r;
  if (!similar(r - l + 1, w)) return false;
  for (int dir : {-1, 1}) {
    int xx = dir < 0 ? l - 1 : r + 1;
    bool colour = !start;
    for (int k = 0; k < 3; ++k) {
      int len = 0;
      while (xx >= 0 && xx < p.width && bin.dark(xx, y, inverted) == colour && len <= limit) {
        ++len;
        xx += dir;
      }
      if (xx < 0 || xx >= p.width) break;
      if (!similar(len, w)) return false;
      colour = !colour;
    }
  }
  return true;
}

struct CrossCheck {
  double center = 0.0;  // offset along the direction, in steps, from the start pixel's origin
  double width = 0.0;   // module width in steps
  bool fullRange = false;
};

// Runs along a direction through (x0, y0), which must be dark in the polarity: the centre run,
// three more each way that must match it, and the outer ring. `maxRun` bounds each walk.
std::optional<CrossCheck> crossCheck(const Binarizer& bin, int x0, int y0, int dx, int dy, bool inverted,
                                     double maxRun) {
  const LumaPlane& p = bin.plane();
  if (x0 < 0 || y0 < 0 || x0 >= p.width || y0 >= p.height) return std::nullopt;
  if (!bin.dark(x0, y0, inverted)) return std::nullopt;
  const int limit = static_cast<int>(maxRun) + 2;
  // runs[side][k]: k = 0 the centre part (t = 0 included), then the alternating rings;
  // complete[side][k]: the run ended at a colour change, not at the border or the limit.
  int runs[2][7] = {};
  bool complete[2][7] = {};
  for (int side = 0; side < 2; ++side) {
    const int sx = side == 0 ? -dx : dx;
    const int sy = side == 0 ? -dy : dy;
    int x = x0, y = y0;
    bool colour = true;  // dark
    for (int k = 0; k < 7; ++k) {
      int len = 0;
      bool inside = true;
      while (len <= limit) {
        inside = x >= 0 && y >= 0 && x < p.width && y < p.height;
        if (!inside || bin.dark(x, y, inverted) != colour) break;
        ++len;
        x += sx;
        y += sy;
      }
      runs[side][k] = len;
      complete[side][k] = inside && len <= limit;
      if (!complete[side][k]) break;
      colour = !colour;
    }
    for (int k = 0; k < 4; ++k)
      if (!complete[side][k]) return std::nullopt;
  }
  const int centreRun = runs[0][0] + runs[1][0] - 1;
  const int seven[7] = {runs[0][3], runs[0][2], runs[0][1], centreRun, runs[1][1], runs[1][2], runs[1][3]};
  double w = 0.0;
  int sum = 0;
  for (int r : seven) sum += r;
  w = sum / 7.0;
  for (int r : seven)
    if (!similar(r, w)) return std::nullopt;
  if (runs[0][4] < 0.5 * w - 1.0 || runs[1][4] < 0.5 * w - 1.0) return std::nullopt;
  CrossCheck out;
  const int tneg = -(runs[0][0] - 1) - runs[0][1] - runs[0][2] - runs[0][3];
  const int tpos = (runs[1][0] - 1) + runs[1][1] + runs[1][2] + runs[1][3];
  out.center = (tneg + tpos + 1) * 0.5;
  out.width = w;
  out.fullRange = true;
  for (int side = 0; side < 2; ++side)
    out.fullRange = out.fullRange && complete[side][4] && complete[side][5] && similar(runs[side][4], w) &&
                    similar(runs[side][5], w) && runs[side][6] >= 0.5 * w - 1.0;
  return out;
}

struct RayPoint {
  Point2D dir;  // unit direction of the ray
  Point2D p;    // the crossing
  double r;     // its distance from the centre
};

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

// Fit, drop the points far from the line, fit again. Reorders `pts` (at most kMaxRays).
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
  if (std::abs(det) < 1e-3) return std::nullopt;
  const double t = ((b.o.x - a.o.x) * b.d.y - (b.o.y - a.o.y) * b.d.x) / det;
  return Point2D{a.o.x + t * a.d.x, a.o.y + t * a.d.y};
}

double dist2(const Point2D& a, const Point2D& b) {
  return (a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y);
}

constexpr int kMaxRays = 64;

// The quadrilateral of one ring edge from its crossings on rays around the centre (in angle
// order): corners by the farthest points, sides by robust line fits between them, in image
// order clockwise from the corner nearest the top-left.
std::optional<std::array<Point2D, 4>> quadFromRays(const std::vector<RayPoint>& pts, const Point2D& centre,
                                                   double tol, double minRadius, double maxRadius) {
  if (pts.size() < 12) return std::nullopt;
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
    const int margin = std::max(1, span / 6);
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
    if (l1 < 4.0 || l2 < 4.0 || l1 > 9.0 * l2 || l2 > 9.0 * l1) return std::nullopt;
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
// Rays all around the centre must each cross the centre module and three rings of one width
// (most of them: noise specks spoil some), and the quadrilateral through the outermost crossings
// must carry the 9 x 9 ring pattern. Pixel noise passes single directions easily, but at
// modules of 1.5 pixels only the whole pattern tells the rings from it.
// The number of finder modules that disagree through the fitted quadrilateral, or nothing; sets
// `centre` to the quadrilateral's centre.
std::optional<int> ringPattern(const Binarizer& bin, Point2D& centre, double moduleMin, double moduleMax,
                               bool inverted) {
  const Point2D c = centre;
  const LumaPlane& p = bin.plane();
  constexpr int kRays = 32;
  constexpr int kMaxFailures = 10;
  // Modules under about three pixels (row runs under four) alias on the pixel grid: there the
  // rays read interpolated values.
  const bool fine = moduleMin < 4.0;
  const double step = 0.5;
  const double reach = 5.5 * moduleMax * 1.5 + 2.0;
  const int steps = static_cast<int>(reach / step);
  std::vector<RayPoint> pts;
  pts.reserve(kRays);
  int failed = 0;
  // Directions computed once; the table is never written after its initialisation.
  static const std::array<Point2D, kRays> kDirections = [] {
    std::array<Point2D, kRays> d{};
    for (int k = 0; k < kRays; ++k) {
      const double a = (k + 0.25) * (2.0 * kPi / kRays) - kPi;
      d[k] = {std::cos(a), std::sin(a)};
    }
    return d;
  }();
  for (int k = 0; k < kRays; ++k) {
    const Point2D dir = kDirections[k];
    const double dx = dir.x * step, dy = dir.y * step;
    double edge[5];
    int found = 0;
    bool colour = true;
    for (int s = 1; s <= steps && found < 5; ++s) {
      const double x = c.x + dx * s, y = c.y + dy * s;
      if (x < 0.0 || y < 0.0 || x >= p.width || y >= p.height) break;
      const bool dark = fine ? bin.darkInterpolated(x, y, inverted)
                             : bin.dark(static_cast<int>(x), static_cast<int>(y), inverted);
      if (dark != colour) {
        edge[found++] = (s - 0.5) * step;
        colour = !colour;
      }
    }
    bool ok = found >= 4;
    if (ok) {
      // Concentric similar squares put the crossings of every ray at 0.5, 1.5, 2.5 and 3.5
      // times one unit, whatever the ray's angle.
      const double u = edge[3] / 3.5;
      for (int r = 0; r < 3 && ok; ++r) ok = std::abs(edge[r] - (r + 0.5) * u) <= 0.45 * u + 1.0;
      // The outer dark ring follows.
      if (ok && found == 5) ok = edge[4] - edge[3] >= 0.5 * u - 1.0;
    }
    if (!ok) {
      if (++failed > kMaxFailures) return std::nullopt;
      continue;
    }
    pts.push_back({dir, {c.x + dir.x * edge[3], c.y + dir.y * edge[3]}, edge[3]});
  }
  const double expect = 3.5 * std::sqrt(2.0);
  const auto quad =
      quadFromRays(pts, c, 0.3 * moduleMin + 1.0, 0.4 * expect * moduleMin, 2.5 * expect * moduleMax);
  if (!quad) return std::nullopt;
  const auto fitted = squareToQuad(*quad, 3.5);
  if (!fitted) return std::nullopt;
  const PerspectiveTransform& t = *fitted;
  int bad = 0;
  for (int gx = -4; gx <= 4; ++gx)
    for (int gy = -4; gy <= 4; ++gy) {
      const Point2D q = t.map(gx, gy);
      if (!(q.x >= 0.0 && q.y >= 0.0 && q.x < p.width && q.y < p.height)) return std::nullopt;
      const bool ideal = std::max(std::abs(gx), std::abs(gy)) % 2 == 0;
      if (bin.dark(static_cast<int>(q.x), static_cast<int>(q.y), inverted) != ideal) ++bad;
    }
  centre = t.map(0.0, 0.0);
  return bad;
}

// The rings check from the confirmed centre, and once more from the centre of the fitted rings
// when the first start was off (pixel-rounded runs put it up to half a module off).
bool ringsCoherent(const Binarizer& bin, Point2D& centre, double moduleMin, double moduleMax, bool inverted) {
  constexpr int kMaxBad = 12;  // of 81 modules
  Point2D c = centre;
  auto bad = ringPattern(bin, c, moduleMin, moduleMax, inverted);
  if (!bad) return false;
  if (*bad > kMaxBad) {
    if (std::hypot(c.x - centre.x, c.y - centre.y) < 0.25 * moduleMin) return false;
    bad = ringPattern(bin, c, moduleMin, moduleMax, inverted);
    if (!bad || *bad > kMaxBad) return false;
  }
  centre = c;
  return true;
}

// Around a finder centre a circle of 0.8 row-run widths lies in the light first ring whatever
// the rotation (the run is one to 1.41 modules long); tilt and small modules blur the margins,
// so most points, not all, must agree. Cheap, and pixel noise rarely passes.
bool circleAgrees(const Binarizer& bin, double cx, double cy, double w, bool inverted) {
  const LumaPlane& p = bin.plane();
  // Unit circle in 16 steps: cosines, the sines being the same shifted by a quarter.
  static constexpr double kCos[16] = {1.0,  0.9238795325112867,  0.7071067811865476,  0.3826834323650898,
                                      0.0,  -0.3826834323650898, -0.7071067811865476, -0.9238795325112867,
                                      -1.0, -0.9238795325112867, -0.7071067811865476, -0.3826834323650898,
                                      0.0,  0.3826834323650898,  0.7071067811865476,  0.9238795325112867};
  const double r = 0.8 * w;
  int light = 0;
  for (int k = 0; k < 16; ++k) {
    const double x = cx + r * kCos[k], y = cy + r * kCos[(k + 12) % 16];
    if (x < 0.0 || y < 0.0 || x >= p.width || y >= p.height) return false;
    if (!bin.dark(static_cast<int>(x), static_cast<int>(y), inverted)) ++light;
  }
  return light >= 12;
}

// The centre module's middle through `centre`, in its row and then its column, twice: the
// cross checks can end a pixel or two off on a module turned near 45 degrees.
void recentre(const Binarizer& bin, Point2D& centre, double maxRun, bool inverted) {
  const LumaPlane& p = bin.plane();
  const int limit = static_cast<int>(maxRun);
  for (int round = 0; round < 2; ++round) {
    const int x = static_cast<int>(centre.x), y = static_cast<int>(centre.y);
    if (x < 0 || y < 0 || x >= p.width || y >= p.height || !bin.dark(x, y, inverted)) return;
    int l = x, r = x;
    while (l > 0 && x - l < limit && bin.dark(l - 1, y, inverted)) --l;
    while (r + 1 < p.width && r - x < limit && bin.dark(r + 1, y, inverted)) ++r;
    const int cx = (l + r + 1) / 2;
    if (!bin.dark(cx, y, inverted)) return;
    int u = y, d = y;
    while (u > 0 && y - u < limit && bin.dark(cx, u - 1, inverted)) --u;
    while (d + 1 < p.height && d - y < limit && bin.dark(cx, d + 1, inverted)) ++d;
    centre = {(l + r + 1) * 0.5, (u + d + 1) * 0.5};
  }
}

// Confirms a row hit; the candidate with its refined centre, or nothing. A check that runs
// through the ring corners is fragile (a pixel off the centre cuts a corner; strong
// perspective skews the rings), so besides the row either the column or both diagonals
// suffice; verifyFinder then checks the whole pattern.
std::optional<FinderCandidate> confirm(const Binarizer& bin, double cx, double cy, double w, bool inverted) {
  const double maxRun = 3.0 * w + 4.0;
  const double maxDiag = maxRun / 1.2;
  auto check = [&](int dx, int dy) {
    return crossCheck(bin, static_cast<int>(cx), static_cast<int>(cy), dx, dy, inverted,
                      dx != 0 && dy != 0 ? maxDiag : maxRun);
  };
  auto v = check(0, 1);
  const double rowY = cy;
  if (v) cy = static_cast<int>(cy) + v->center;
  auto h = check(1, 0);
  // A speck in the row through the column's centre: the row that hit serves instead.
  if (!h && v) {
    cy = rowY;
    h = check(1, 0);
  }
  if (!h) return std::nullopt;
  cx = static_cast<int>(cx) + h->center;
  std::optional<CrossCheck> d1, d2;
  if (v) {
    if (auto v2 = check(0, 1)) {
      cy = static_cast<int>(cy) + v2->center;
      v = v2;
    }
  } else {
    d1 = check(1, 1);
    if (!d1) return std::nullopt;
    d2 = check(1, -1);
    if (!d2) return std::nullopt;
    // The centre from the diagonals: offsets a along (1, 1) and b along (1, -1).
    const double a = d1->center - 0.5, b = d2->center - 0.5;
    cx = static_cast<int>(cx) + 0.5 + 0.5 * (a + b);
    cy = static_cast<int>(cy) + 0.5 + 0.5 * (a - b);
  }
  const double s = std::sqrt(2.0);
  double widths[4] = {h->width, 0.0, 0.0, 0.0};
  int nw = 1;
  if (v) widths[nw++] = v->width;
  if (d1) widths[nw++] = d1->width * s;
  if (d2) widths[nw++] = d2->width * s;
  FinderCandidate c;
  c.center = {cx, cy};
  c.moduleMin = *std::min_element(widths, widths + nw);
  c.moduleMax = *std::max_element(widths, widths + nw);
  c.inverted = inverted;
  c.maybeFullRange = h->fullRange && v && v->fullRange;
  // Very different widths are not the projection of one square ring set.
  if (c.moduleMax > 3.0 * c.moduleMin + 1.0) return std::nullopt;
  recentre(bin, c.center, 2.0 * c.moduleMax + 2.0, inverted);
  return c;
}

}  // namespace

std::vector<FinderCandidate> findFinderCandidates(const Binarizer& bin, bool normal, bool inverted,
                                                  int limit) {
  std::vector<FinderCandidate> found;
  const LumaPlane& p = bin.plane();
  if (p.width < 9 || p.height < 9 || limit <= 0) return found;
  std::vector<int> runs;
  std::vector<int> starts;
  std::vector<int> bounds(static_cast<std::size_t>(p.width) + 2);
  runs.reserve(static_cast<std::size_t>(p.width) + 1);
  starts.reserve(static_cast<std::size_t>(p.width) + 1);
  double maxModule = 0.0;
  const int blocksX = bin.blocksX();
  // Row hits of the previous and the current row: centre x and width, negative for inverted.
  std::vector<std::pair<double, double>> previousHits, hits;
  for (int y = 0; y < p.height; ++y) {
    const std::uint8_t* row = p.data + static_cast<std::size_t>(y) * p.stride;
    const std::uint8_t* thr = bin.thresholdRow(y);
    const std::uint8_t* flat = bin.flatRow(y);
    previousHits.swap(hits);
    hits.clear();
    // No finder centre lies in a flat block, and a finder's rings and quiet zone lie within
    // blocks that see its contrast: only the span of non-flat blocks, with a margin, is scanned.
    int firstBlock = 0, lastBlock = blocksX - 1;
    while (firstBlock < blocksX && flat[firstBlock]) ++firstBlock;
    if (firstBlock == blocksX) continue;
    while (flat[lastBlock]) --lastBlock;
    const int xBegin = std::max(0, (firstBlock - 2) << Binarizer::kShift);
    const int xEnd = std::min(p.width, (lastBlock + 3) << Binarizer::kShift);
    // Colour changes, branch-free: noise changes colour at every other pixel.
    bounds[0] = xBegin;
    int nb = 1;
    bool colour = row[xBegin] < thr[xBegin >> Binarizer::kShift];
    const bool firstDark = colour;
    for (int x = xBegin + 1; x < xEnd; ++x) {
      const bool d = row[x] < thr[x >> Binarizer::kShift];
      bounds[static_cast<std::size_t>(nb)] = x;
      nb += d != colour ? 1 : 0;
      colour = d;
    }
    bounds[static_cast<std::size_t>(nb)] = xEnd;
    runs.resize(static_cast<std::size_t>(nb));
    starts.resize(static_cast<std::size_t>(nb));
    for (int k = 0; k < nb; ++k) {
      starts[static_cast<std::size_t>(k)] = bounds[static_cast<std::size_t>(k)];
      runs[static_cast<std::size_t>(k)] =
          bounds[static_cast<std::size_t>(k) + 1] - bounds[static_cast<std::size_t>(k)];
    }
    const int n = static_cast<int>(runs.size());
    for (int i = 4; i + 4 < n; ++i) {
      const bool runDark = ((i & 1) == 0) == firstDark;
      if (runDark ? !normal : !inverted) continue;
      double w = 0.0;
      if (!compactPattern(runs.data(), i, w)) continue;
      const double cx = starts[i] + runs[i] * 0.5;
      if (flat[static_cast<int>(cx) >> Binarizer::kShift]) continue;
      // Equal runs far beyond the finder's rings, and the same rhythm a module above: a
      // periodic texture (checkerboard, tiles, a calibration chart), not a bull's-eye. (A
      // full-range symbol's centre row is a reference-grid line and alternates end to end; the
      // row above it does not.) Finer textures are flat to the binariser; at finer finders a
      // pixel of tolerance says nothing.
      if (w >= 3.0 && periodicRuns(runs.data(), n, i, w)) {
        const int off = static_cast<int>(w + 0.5);
        if (alternatesAround(bin, static_cast<int>(cx), y >= off ? y - off : y + off, w, !runDark)) continue;
      }
      const bool inv = !runDark;
      // The centre module spans more than one row: a pattern in this row alone is noise.
      hits.push_back({cx, inv ? -w : w});
      bool repeated = false;
      const double tol = 0.5 * w + 1.0;
      // Hits of a row come in increasing x.
      auto it = std::lower_bound(previousHits.begin(), previousHits.end(), cx - tol,
                                 [](const std::pair<double, double>& h, double x) { return h.first < x; });
      for (; it != previousHits.end() && it->first <= cx + tol && !repeated; ++it)
        repeated = (it->second < 0) == inv;
      // Except that a centre module under three pixels tall may show the pattern in one row
      // only (rounding spoils the others); such a hit must show the light ring around it first.
      if (!repeated && (w >= 4.0 || !circleAgrees(bin, cx, y + 0.5, w, inv))) continue;
      // Rows through the centre module all hit the same finder: a hit close to a found
      // centre adds nothing, and one that refines to it neither. Hits farther off (perhaps a
      // misplaced first confirmation) are kept, so a bad early estimate cannot hide the finder.
      // Candidates come in row order, their centres within a few modules of their rows: the
      // search back stops well above the current row.
      auto known = [&](double x, double yy, bool close) {
        for (auto f = found.rbegin(); f != found.rend(); ++f) {
          const FinderCandidate& c = *f;
          if (c.center.y < yy - 4.0 * maxModule - 8.0) break;
          const double r = close ? 0.5 : 0.25 * c.moduleMin + 0.5;
          if (c.inverted == inv && std::abs(c.center.x - x) < r && std::abs(c.center.y - yy) < r) return true;
        }
        return false;
      };
      if (known(cx, y + 0.5, false)) continue;
      // A confirmed centre a little off an earlier one is kept: the earlier may fail the
      // all-round check where this one passes.
      if (auto c = confirm(bin, cx, y + 0.5, w, inv)) {
        if (known(c->center.x, c->center.y, true)) continue;
        found.push_back(*c);
        maxModule = std::max(maxModule, c->moduleMax);
        if (static_cast<int>(found.size()) >= limit) return found;
      }
    }
  }
  return found;
}

bool verifyFinder(const Binarizer& bin, FinderCandidate& candidate) {
  return ringsCoherent(bin, candidate.center, candidate.moduleMin, candidate.moduleMax, candidate.inverted);
}

std::optional<std::array<Point2D, 4>> locateRingCorners(const Binarizer& bin, const FinderCandidate& cand,
                                                        bool fullRange) {
  const LumaPlane& p = bin.plane();
  const int K = fullRange ? 6 : 4;  // transitions from the centre to the edge wanted
  const double edgeRadius = K - 0.5;
  const double wMin = std::max(cand.moduleMin, 1.0);
  const double maxLen = (K + 2.5) * cand.moduleMax * 1.6 + 4.0;
  const double step = std::clamp(wMin / 6.0, 0.25, 2.0);
  const int nSteps = static_cast<int>(maxLen / step) + 1;
  constexpr int kRays = kMaxRays;
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
    const double hyst = 0.05 * (hi - lo);
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
  if (pts.size() < 24) return std::nullopt;

  return quadFromRays(pts, cand.center, 0.2 * wMin + 0.6, edgeRadius * std::sqrt(2.0) * cand.moduleMin * 0.4,
                      edgeRadius * std::sqrt(2.0) * cand.moduleMax * 2.5);
}

}  // namespace Aztec

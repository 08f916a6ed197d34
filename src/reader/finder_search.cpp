#include "reader/finder_search.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "geometry/homography.h"
#include "reader/ring_corners.h"
#include "reader/tuning.h"

namespace Aztec::detail {

using namespace Tuning;

namespace {

constexpr double kPi = 3.141592653589793;

// Run widths allowed around the mean width w.
bool similar(double run, double w) {
  return std::abs(run - w) <= kRunTolerance * w + kRunSlack;
}

// The dark ring around the light rings, seen in a run.
bool outerRing(int run, double w) {
  return run >= kOuterRingMin * w - kOuterRingSlack;
}

// The seven runs across a finder's rings, centre run in the middle, all of one width w. Blur
// shrinks the centre module most (a square loses contrast from all four sides, a ring from two),
// down to a dot of a pixel or two: failing that, the six ring runs must be equal and the centre
// run only has to be there, no wider than they are.
bool ringRuns(const int* seven, double& w) {
  int lo = seven[0], hi = seven[0], ringSum = 0;
  for (int k = 0; k < 7; ++k) {
    if (k == 3) continue;
    lo = std::min(lo, seven[k]);
    hi = std::max(hi, seven[k]);
    ringSum += seven[k];
  }
  // Cheap integer test first: equal runs up to rounding.
  if (hi > kRunSpreadFactor * lo + kRunSpreadSlack) return false;
  // The tolerance tests below in integers, scaled so that both sides are whole: a run r is
  // similar to the mean s / n when d * |n r - s| <= s + d * n * slack (d = 1 / tolerance).
  // Only an exact tie is left to the floating-point test, so the outcome is the same to the bit.
  static_assert(kRunTolerance == 0.5 && kRunSlack == 0.75, "the integer forms below assume these");
  const int all = ringSum + seven[3];
  // n = 7: 4 |7 r - s| <= 2 s + 21 (odd on the right, so never a tie).
  bool equal = true;
  for (int k = 0; k < 7 && equal; ++k) equal = 4 * std::abs(7 * seven[k] - all) <= 2 * all + 21;
  if (equal) {
    w = all / 7.0;
    return true;
  }
  w = ringSum / 6.0;
  // n = 6: 2 |6 r - s| <= s + 9.
  for (int k = 0; k < 7; ++k) {
    if (k == 3) continue;
    const int margin = ringSum + 9 - 2 * std::abs(6 * seven[k] - ringSum);
    if (margin < 0 || (margin == 0 && !similar(seven[k], w))) return false;
  }
  // The centre no wider than 1.5 w + 0.75: 4 c <= s + 3.
  const int margin = ringSum + 3 - 4 * seven[3];
  return margin > 0 || (margin == 0 && seven[3] <= w + kRunTolerance * w + kRunSlack);
}

// Runs i-3..i+3 across the rings, and the outer dark ring present on both sides.
bool compactPattern(const int* runs, int i, double& w) {
  if (!ringRuns(runs + i - 3, w)) return false;
  // Mirror runs about the centre match up to rounding and a perspective gradient; or else the
  // mirror edges do: a pixel that straddles two modules reads either way and moves one edge by a
  // pixel, which changes the two runs beside it in opposite directions but that edge only.
  const double tolerance = kMirrorTolerance * w + kMirrorSlack;
  bool runsMatch = true, edgesMatch = true;
  int left = 0, right = 0;
  for (int k = 1; k <= 3; ++k) {
    runsMatch = runsMatch && std::abs(runs[i - k] - runs[i + k]) <= tolerance;
    left += runs[i - k];
    right += runs[i + k];
    edgesMatch = edgesMatch && std::abs(left - right) <= tolerance;
  }
  if (!runsMatch && !edgesMatch) return false;
  return outerRing(runs[i - 4], w) && outerRing(runs[i + 4], w);
}

// A side that reaches the frame's edge still in rhythm counts as periodic: the texture runs on
// out of view (the run at the edge is cut and not judged).
// The rhythm must hold to a pixel: data after a finder's rings, crossed at an angle, gives runs
// of many lengths.
bool periodicRuns(const int* runs, int n, int i, double w) {
  auto steady = [w](int run) { return std::abs(run - w) <= kPeriodicSteadiness; };
  for (int k = 4; k <= kPeriodicRuns; ++k) {
    if (i - k > 0 && !steady(runs[i - k])) return false;
    if (i + k < n - 1 && !steady(runs[i + k])) return false;
  }
  return true;
}

struct CrossCheck {
  double center = 0.0;  // offset along the direction, in steps, from the start pixel's origin
  double width = 0.0;   // module width in steps
  bool fullRange = false;
};

// Runs along a direction through (x0, y0), which must be dark in the polarity: the centre run,
// three more each way that must match it, and the outer ring. `maxRun` bounds each walk. With
// `bridgeSpecks` (modules wide enough that no ring is one pixel), a single pixel of the other
// colour inside a run does not end it: a display's pixel grid speckles its light modules.
std::optional<CrossCheck> crossCheck(const Binarizer& bin, int x0, int y0, int dx, int dy, bool inverted,
                                     double maxRun, bool bridgeSpecks) {
  const LumaPlane& p = bin.plane();
  if (x0 < 0 || y0 < 0 || x0 >= p.width || y0 >= p.height) return std::nullopt;
  if (!bin.dark(x0, y0, inverted)) return std::nullopt;
  const int limit = static_cast<int>(maxRun) + kCrossWalkSlack;
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
        if (!inside) break;
        if (bin.dark(x, y, inverted) != colour) {
          const int nx = x + sx, ny = y + sy;
          if (!bridgeSpecks || len == 0 || nx < 0 || ny < 0 || nx >= p.width || ny >= p.height ||
              bin.dark(nx, ny, inverted) != colour)
            break;
        }
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
  if (!ringRuns(seven, w)) return std::nullopt;
  if (!outerRing(runs[0][4], w) || !outerRing(runs[1][4], w)) return std::nullopt;
  CrossCheck out;
  const int tneg = -(runs[0][0] - 1) - runs[0][1] - runs[0][2] - runs[0][3];
  const int tpos = (runs[1][0] - 1) + runs[1][1] + runs[1][2] + runs[1][3];
  out.center = (tneg + tpos + 1) * 0.5;
  out.width = w;
  out.fullRange = true;
  for (int side = 0; side < 2; ++side)
    out.fullRange = out.fullRange && complete[side][4] && complete[side][5] && similar(runs[side][4], w) &&
                    similar(runs[side][5], w) && outerRing(runs[side][6], w);
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
  constexpr int kRays = kRingRays;
  // Modules under about three pixels (row runs under four) alias on the pixel grid: there the
  // rays read interpolated values.
  const bool fine = moduleMin < kFineModule;
  const bool bridge = moduleMin >= kSpeckModule;
  const double step = kRingRayStep;
  const double reach = kRingReachModules * moduleMax * kRingReachFactor + kRingReachSlack;
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
  // Rays in bit-reversed order, so that every prefix is spread evenly around the centre: most
  // of the first eight fail around noise and textures (a real finder's fail hardly ever), and
  // there the check ends.
  static_assert(kRays == 32, "the ray order below is for 32 rays");
  bool rayOk[kRays] = {};
  RayPoint rayPoint[kRays];
  for (int n = 0; n < kRays; ++n) {
    if (n == kRingQuickRays && failed >= kRingQuickFailures) return std::nullopt;
    const int k = ((n & 1) << 4) | ((n & 2) << 2) | (n & 4) | ((n & 8) >> 2) | ((n & 16) >> 4);
    const Point2D dir = kDirections[k];
    const double dx = dir.x * step, dy = dir.y * step;
    double edge[5];
    int found = 0;
    bool colour = true;
    // The ray's unit as far as its first crossings allow it: a walk that can no longer meet
    // the pattern stops there, and one that has it stops once the outer dark ring is wide
    // enough. Only the length of the walk changes, not which rays pass.
    double uLo = 0.0, uHi = reach;
    double u = 0.0;
    bool ok = false, decided = false;
    for (int s = 1; s <= steps; ++s) {
      const double at = (s - 0.5) * step;
      if (found == 4 && at - edge[3] >= kOuterRingMin * u - kOuterRingSlack) {
        ok = true;
        decided = true;
        break;
      }
      if (found < 4 && at > 3.5 * uHi * (1.0 + 1e-9) + 1e-9) break;
      const double x = c.x + dx * s, y = c.y + dy * s;
      if (x < 0.0 || y < 0.0 || x >= p.width || y >= p.height) break;
      const bool dark = fine ? bin.darkInterpolated(x, y, inverted)
                             : bin.dark(static_cast<int>(x), static_cast<int>(y), inverted);
      if (dark == colour) continue;
      if (bridge) {
        // A single pixel of the other colour: the first step on the next pixel has this colour again.
        const int px = static_cast<int>(x), py = static_cast<int>(y);
        int t = s + 1;
        double nx = c.x + dx * t, ny = c.y + dy * t;
        while (t <= steps && static_cast<int>(nx) == px && static_cast<int>(ny) == py)
          ++t, nx = c.x + dx * t, ny = c.y + dy * t;
        if (t <= steps && nx >= 0.0 && ny >= 0.0 && nx < p.width && ny < p.height &&
            bin.dark(static_cast<int>(nx), static_cast<int>(ny), inverted) == colour) {
          s = t;
          continue;
        }
      }
      colour = !colour;
      edge[found] = at;
      if (found < 3) {
        // |at - (found + 0.5) u| within the crossing tolerance bounds u from both sides.
        const double m = found + 0.5;
        uLo = std::max(uLo, (at - kRingCrossingSlack) / (m + kRingCrossingTolerance));
        uHi = std::min(uHi, (at + kRingCrossingSlack) / (m - kRingCrossingTolerance));
        ++found;
        if (uLo > uHi * (1.0 + 1e-9) + 1e-9) break;
        continue;
      }
      if (found == 3) {
        // Concentric similar squares put the crossings of every ray at 0.5, 1.5, 2.5 and 3.5
        // times one unit, whatever the ray's angle.
        u = edge[3] / 3.5;
        bool crossings = true;
        for (int r = 0; r < 3 && crossings; ++r)
          crossings = std::abs(edge[r] - (r + 0.5) * u) <= kRingCrossingTolerance * u + kRingCrossingSlack;
        found = 4;
        if (!crossings) {
          decided = true;
          break;
        }
        continue;
      }
      // The outer dark ring follows.
      ok = edge[4] - edge[3] >= kOuterRingMin * u - kOuterRingSlack;
      decided = true;
      break;
    }
    // The walk ended (reach or border) after the four crossings without a fifth: it holds.
    if (!decided) ok = found == 4;
    if (!ok) {
      if (++failed > kRingRayFailures) return std::nullopt;
      continue;
    }
    rayOk[k] = true;
    rayPoint[k] = {dir, {c.x + dir.x * edge[3], c.y + dir.y * edge[3]}, edge[3]};
  }
  for (int k = 0; k < kRays; ++k)
    if (rayOk[k]) pts.push_back(rayPoint[k]);
  const double expect = 3.5 * std::sqrt(2.0);
  const auto quad = quadFromRays(pts, c, kRingSideTolerance * moduleMin + kRingSideSlack,
                                 kQuadMinRadius * expect * moduleMin, kQuadMaxRadius * expect * moduleMax);
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
      // Small modules are read where the rays read them, interpolated: a pixel-rounded reading
      // of a module of one or two pixels lands on its neighbour often enough to fail a real finder.
      const bool dark = fine ? bin.darkInterpolated(q.x, q.y, inverted)
                             : bin.dark(static_cast<int>(q.x), static_cast<int>(q.y), inverted);
      if (dark != ideal) ++bad;
    }
  centre = t.map(0.0, 0.0);
  return bad;
}

// The rings check from the confirmed centre, and once more from the centre of the fitted rings
// when the first start was off (pixel-rounded runs put it up to half a module off).
bool ringsCoherent(const Binarizer& bin, Point2D& centre, double moduleMin, double moduleMax, bool inverted) {
  Point2D c = centre;
  auto bad = ringPattern(bin, c, moduleMin, moduleMax, inverted);
  if (!bad) return false;
  if (*bad > kRingPatternMaxBad) {
    if (std::hypot(c.x - centre.x, c.y - centre.y) < kRecheckMoveModules * moduleMin) return false;
    bad = ringPattern(bin, c, moduleMin, moduleMax, inverted);
    if (!bad || *bad > kRingPatternMaxBad) return false;
  }
  centre = c;
  return true;
}

// Around a finder centre a circle of kCircleRadius row-run widths lies in the light first ring whatever
// the rotation (the run is one to 1.41 modules long); tilt and small modules blur the margins,
// so most points, not all, must agree. Cheap, and pixel noise rarely passes. With `needed`, the
// count stops once it can no longer reach that many (the result is then below it).
int lightRingPoints(const Binarizer& bin, double cx, double cy, double w, bool inverted, int needed = 0) {
  const LumaPlane& p = bin.plane();
  // Unit circle in 16 steps: cosines, the sines being the same shifted by a quarter.
  static constexpr double kCos[16] = {1.0,  0.9238795325112867,  0.7071067811865476,  0.3826834323650898,
                                      0.0,  -0.3826834323650898, -0.7071067811865476, -0.9238795325112867,
                                      -1.0, -0.9238795325112867, -0.7071067811865476, -0.3826834323650898,
                                      0.0,  0.3826834323650898,  0.7071067811865476,  0.9238795325112867};
  const double r = kCircleRadius * w;
  int light = 0;
  for (int k = 0; k < 16; ++k) {
    const double x = cx + r * kCos[k], y = cy + r * kCos[(k + 12) % 16];
    if (x < 0.0 || y < 0.0 || x >= p.width || y >= p.height) return 0;
    if (!bin.dark(static_cast<int>(x), static_cast<int>(y), inverted))
      ++light;
    else if (light + 15 - k < needed)
      return light;
  }
  return light;
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
  const double maxRun = kCrossReach * w + kCrossReachSlack;
  const double maxDiag = maxRun / kDiagonalReachDivisor;
  const bool bridge = w >= kSpeckModule;
  auto check = [&](int dx, int dy) {
    return crossCheck(bin, static_cast<int>(cx), static_cast<int>(cy), dx, dy, inverted,
                      dx != 0 && dy != 0 ? maxDiag : maxRun, bridge);
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
  if (c.moduleMax > kMaxWidthRatio * c.moduleMin + kMaxWidthRatioSlack) return std::nullopt;
  recentre(bin, c.center, kRecentreReach * c.moduleMax + kRecentreSlack, inverted);
  // Rings cross every direction through a finder's centre; bars, checkerboards and most noise
  // fail some. Only ranks the candidate: it takes nothing from its widths.
  c.quality = 1 + (v ? 1 : 0);
  if (v) {
    const int x = static_cast<int>(c.center.x), y = static_cast<int>(c.center.y);
    c.quality += crossCheck(bin, x, y, 1, 1, inverted, maxDiag, bridge) ? 1 : 0;
    c.quality += crossCheck(bin, x, y, 1, -1, inverted, maxDiag, bridge) ? 1 : 0;
  } else {
    c.quality += 2;
  }
  return c;
}

// Bit k of the result: pixel x + k (k < n <= 64) is dark in the polarity (below its block's
// threshold, or above it when inverted). Sixteen pixels at a time where the processor has the
// instructions (x is a multiple of the block size, so each half of sixteen has one threshold);
// the same bits either way.
std::uint64_t darkBits(const std::uint8_t* row, const std::uint8_t* thr, int x, int n, bool inverted) {
  std::uint64_t bits = 0;
  int k = 0;
#if defined(__SSE2__)
  for (; k + 16 <= n; k += 16) {
    const int b = (x + k) >> Binarizer::kShift;
    const __m128i t = _mm_set_epi64x(static_cast<long long>(thr[b + 1] * 0x0101010101010101ULL),
                                     static_cast<long long>(thr[b] * 0x0101010101010101ULL));
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x + k));
    // max(v, t) == v where v >= t (not dark), == t where v <= t (not dark inverted).
    const __m128i m = _mm_max_epu8(v, t);
    const auto notDark = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(m, inverted ? t : v)));
    bits |= static_cast<std::uint64_t>(~notDark & 0xFFFFu) << k;
  }
#endif
  for (; k < n; ++k) {
    const int v = row[x + k], t = thr[(x + k) >> Binarizer::kShift];
    bits |= static_cast<std::uint64_t>(inverted ? v > t : v < t) << k;
  }
  return bits;
}

// The starts of the runs of one colour in row [xBegin, xEnd) into `bounds`, xEnd after the
// last; the number of runs. Colour changes come from 64 pixels of dark bits at a time: noise
// changes colour at every other pixel, a smooth background hardly ever.
int colourChanges(const std::uint8_t* row, const std::uint8_t* thr, int xBegin, int xEnd, int* bounds,
                  bool inverted = false) {
  bounds[0] = xBegin;
  int nb = 1;
  std::uint64_t previous = darkBits(row, thr, xBegin, 1, inverted);
  for (int x = xBegin; x < xEnd; x += 64) {
    const int n = std::min(64, xEnd - x);
    const std::uint64_t dark = darkBits(row, thr, x, n, inverted);
    std::uint64_t change = dark ^ ((dark << 1) | previous);
    if (n < 64) change &= (std::uint64_t{1} << n) - 1;
    for (; change != 0; change &= change - 1) bounds[nb++] = x + std::countr_zero(change);
    previous = (dark >> (n - 1)) & 1;
  }
  bounds[nb] = xEnd;
  return nb;
}

// The runs of one colour across a whole row, in a polarity: the walks along rows near a hit look
// them up instead of reading pixel by pixel.
class RowColours {
 public:
  void load(const Binarizer& bin, int y, bool inverted) {
    const LumaPlane& p = bin.plane();
    bounds_.resize(static_cast<std::size_t>(p.width) + 1);
    const std::uint8_t* row = p.data + static_cast<std::size_t>(y) * p.stride;
    runs_ = colourChanges(row, bin.thresholdRow(y), 0, p.width, bounds_.data(), inverted);
    firstDark_ = darkBits(row, bin.thresholdRow(y), 0, 1, inverted) != 0;
    y_ = y;
    inverted_ = inverted;
  }
  bool holds(int y, bool inverted) const { return y_ == y && inverted_ == inverted; }
  // The run holding x (0 <= x < width), its first pixel and one past its last.
  int run(int x) const {
    return static_cast<int>(std::upper_bound(bounds_.begin(), bounds_.begin() + runs_, x) - bounds_.begin()) -
           1;
  }
  int begin(int j) const { return bounds_[static_cast<std::size_t>(j)]; }
  int end(int j) const { return bounds_[static_cast<std::size_t>(j) + 1]; }
  bool dark(int x) const { return ((run(x) & 1) == 0) == firstDark_; }

 private:
  std::vector<int> bounds_;
  int runs_ = 0;
  bool firstDark_ = false;
  int y_ = -1;
  bool inverted_ = false;
};

// Whether the row `rc` shows runs of width w around x: the run holding x and three more each
// way. Through a finder, the rows a module above and below its centre cross the light ring's
// three-module run; through a checkerboard they alternate like the centre row. Each walk goes at
// most kWalkReach widths (and a pixel) from where it starts.
bool alternatesAround(const RowColours& rc, int width, int x, double w) {
  const int limit = static_cast<int>(kWalkReach * w + kWalkSlack);
  const int home = rc.run(x);
  const bool start = rc.dark(x);
  const int l = std::max({rc.begin(home), x - limit - 1, 0});
  const int r = std::min({rc.end(home) - 1, x + limit + 1, width - 1});
  if (!similar(r - l + 1, w)) return false;
  for (int dir : {-1, 1}) {
    int xx = dir < 0 ? l - 1 : r + 1;
    bool colour = !start;
    for (int k = 0; k < 3; ++k) {
      int len = 0;
      if (xx >= 0 && xx < width && rc.dark(xx) == colour) {
        const int j = rc.run(xx);
        const int left = dir > 0 ? rc.end(j) - xx : xx - rc.begin(j) + 1;
        len = std::min(left, limit + 1);
        xx += dir * len;
      }
      if (xx < 0 || xx >= width) break;
      if (!similar(len, w)) return false;
      colour = !colour;
    }
  }
  return true;
}

}  // namespace

std::vector<FinderHit> scanFinderHits(const Binarizer& bin, bool normal, bool inverted) {
  std::vector<FinderHit> found;
  const LumaPlane& p = bin.plane();
  if (p.width < kMinRegionSide || p.height < kMinRegionSide) return found;
  std::vector<int> runs;
  std::vector<int> starts;
  std::vector<int> bounds(static_cast<std::size_t>(p.width) + 2);
  runs.reserve(static_cast<std::size_t>(p.width) + 1);
  starts.reserve(static_cast<std::size_t>(p.width) + 1);
  const int blocksX = bin.blocksX();
  // Row hits of the previous and the current row: centre x and width, negative for inverted.
  std::vector<std::pair<double, double>> previousHits, hits;
  // The rows a module above or below that the periodic test walked lately (hits of one row
  // differ in width, so in the row they look at).
  std::array<RowColours, 4> otherRows;
  std::size_t nextOtherRow = 0;
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
    const int xBegin = std::max(0, (firstBlock - kFlatMarginBlocksBefore) << Binarizer::kShift);
    const int xEnd = std::min(p.width, (lastBlock + kFlatMarginBlocksAfter) << Binarizer::kShift);
    const bool firstDark = row[xBegin] < thr[xBegin >> Binarizer::kShift];
    const int nb = colourChanges(row, thr, xBegin, xEnd, bounds.data());
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
      // A low-contrast finder whose modules are half a block can leave the block of its centre
      // looking flat (the block means agree): such a hit must repeat a hit of the row above and
      // show the light ring all but whole around it.
      const bool flatCentre = flat[static_cast<int>(cx) >> Binarizer::kShift] != 0;
      // Equal runs far beyond the finder's rings, and the same rhythm a module above: a
      // periodic texture (checkerboard, tiles, a calibration chart), not a bull's-eye. (A
      // full-range symbol's centre row is a reference-grid line and alternates end to end; the
      // row above it does not.) Finer textures are flat to the binariser; at finer finders a
      // pixel of tolerance says nothing.
      if (w >= kPeriodicMinModule && periodicRuns(runs.data(), n, i, w)) {
        const int off = static_cast<int>(w + 0.5);
        const int other = y >= off ? y - off : y + off;
        if (other < p.height) {
          RowColours* rc = nullptr;
          for (RowColours& c : otherRows)
            if (c.holds(other, !runDark)) rc = &c;
          if (rc == nullptr) {
            rc = &otherRows[nextOtherRow];
            nextOtherRow = (nextOtherRow + 1) % otherRows.size();
            rc->load(bin, other, !runDark);
          }
          if (alternatesAround(*rc, p.width, static_cast<int>(cx), w)) continue;
        }
      }
      const bool inv = !runDark;
      hits.push_back({cx, inv ? -w : w});
      bool repeated = false;
      const double tol = kRowHitTolerance * w + kRowHitSlack;
      // Hits of a row come in increasing x.
      auto it = std::lower_bound(previousHits.begin(), previousHits.end(), cx - tol,
                                 [](const std::pair<double, double>& h, double x) { return h.first < x; });
      for (; it != previousHits.end() && it->first <= cx + tol && !repeated; ++it)
        repeated = (it->second < 0) == inv;
      // The centre module spans more than one row, but the pattern may show in one row only:
      // rounding spoils the others under three pixels, blur shrinks the centre to a dot, and a
      // display's pixel grid speckles the rings of the rows around. Such a hit must show the
      // light ring around it first.
      int ring = -1;
      if (flatCentre && !repeated) continue;
      if (!repeated || flatCentre) {
        const int needed = flatCentre ? kFlatCentreCircleAgreeing : kCircleAgreeing;
        ring = lightRingPoints(bin, cx, y + 0.5, w, inv, needed);
        if (ring < needed) continue;
      }
      found.push_back({static_cast<float>(cx), static_cast<float>(y + 0.5), static_cast<float>(w), inv,
                       static_cast<std::int8_t>(ring)});
    }
  }
  return found;
}

std::optional<FinderCandidate> confirmHit(const Binarizer& bin, const FinderHit& hit) {
  return confirm(bin, hit.x, hit.y, hit.w, hit.inverted);
}

int lightRingScore(const Binarizer& bin, const FinderHit& hit) {
  return hit.lightRing >= 0 ? hit.lightRing : lightRingPoints(bin, hit.x, hit.y, hit.w, hit.inverted);
}

bool verifyFinder(const Binarizer& bin, FinderCandidate& candidate) {
  return ringsCoherent(bin, candidate.center, candidate.moduleMin, candidate.moduleMax, candidate.inverted);
}

}  // namespace Aztec::detail

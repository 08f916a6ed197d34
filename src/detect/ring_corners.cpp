// Finder ring corners: counts the colour changes out from the centre, fills the outermost
// light ring and keeps its farthest pixel per quadrant as a corner.

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>

#include "detect/detector.h"

namespace Aztec {

namespace {

int clampTo(long long v, int m) {
  if (v < 0) return 0;
  if (v > m) return m;
  return static_cast<int>(v);
}

double distance(const IntPoint& a, const IntPoint& b) {
  const double dx = static_cast<double>(b.x) - a.x;
  const double dy = static_cast<double>(b.y) - a.y;
  return std::sqrt(dx * dx + dy * dy);
}

// A centre that no frame can produce; refusing it keeps every int below free of overflow.
bool usableCenter(const Point2D& c) {
  constexpr double kLimit = 1 << 30;
  return std::isfinite(c.x) && std::isfinite(c.y) && std::fabs(c.x) < kLimit && std::fabs(c.y) < kLimit;
}

}  // namespace

bool Detector::findRingCorners(SymbolCandidate& candidate, bool fullRange) {
  for (Point2D& corner : candidate.corners) corner = Point2D{-1.0, -1.0};
  // Empty frame: there is no level image to read. A level image of another size than the
  // frame has not been classified for it.
  if (!image || image->width() < 1 || image->height() < 1 || !levelImage) return false;
  const int w = image->width();
  const int h = image->height();
  if (levelImage->width() != w || levelImage->height() != h) return false;
  if (!usableCenter(candidate.center)) return false;

  // Dark here: inside the image with a level below 128; everything else is light.
  const std::uint8_t* const levels = levelImage->row(0);
  const std::ptrdiff_t stride = levelImage->stride();
  auto dark = [&](int x, int y) {
    return x >= 0 && y >= 0 && x < w && y < h && levels[y * stride + x] < 128;
  };

  const int cx = static_cast<int>(candidate.center.x);
  const int cy = static_cast<int>(candidate.center.y);
  const int n = fullRange ? 6 : 4;
  const double f = fullRange ? 10.0 / 11.0 : 6.0 / 7.0;

  // Positions off the image are all light, so a pair of them never changes colour: each scan
  // starts at the last position that can.
  // Each scan carries the previous position's colour instead of reading it again.
  int xLeft = 0;
  {
    int x = std::min(cx - 1, w - 1);
    bool before = dark(x + 1, cy);
    for (int changes = 0; x >= 1; --x) {
      const bool here = dark(x, cy);
      if (here != before && ++changes == n) {
        xLeft = x;
        break;
      }
      before = here;
    }
  }
  int xRight = w - 1;
  {
    int x = std::max(cx + 1, 0);
    bool before = dark(x - 1, cy);
    for (int changes = 0; x <= w - 1; ++x) {
      const bool here = dark(x, cy);
      if (here != before && ++changes == n) {
        xRight = x;
        break;
      }
      before = here;
    }
  }
  int yTop = 0;
  {
    int y = std::min(cy - 1, h - 1);
    bool before = dark(cx, y + 1);
    for (int changes = 0; y >= 1; --y) {
      const bool here = dark(cx, y);
      if (here != before && ++changes == n) {
        yTop = y;
        break;
      }
      before = here;
    }
  }
  int yBottom = h - 1;
  {
    int y = std::max(cy + 1, 0);
    bool before = dark(cx, y - 1);
    for (int changes = 0; y <= h - 1; ++y) {
      const bool here = dark(cx, y);
      if (here != before && ++changes == n) {
        yBottom = y;
        break;
      }
      before = here;
    }
  }

  // A zero height gives an infinite or NaN ratio, which fails here.
  const double ratio = static_cast<double>(xRight - xLeft) / static_cast<double>(yBottom - yTop);
  if (!(ratio >= 0.5 && ratio <= 2.0)) return false;

  // Measure along the more symmetric axis.
  const long long sx = 2LL * cx - xRight - xLeft;
  const long long sy = 2LL * cy - yBottom - yTop;
  const IntPoint e = sx * sx > sy * sy ? IntPoint{cx, yTop} : IntPoint{xLeft, cy};
  const int qx = cx - static_cast<int>(static_cast<double>(cx - e.x) * f);
  const int qy = cy - static_cast<int>(static_cast<double>(cy - e.y) * f);
  if (dark(qx, qy)) return false;

  const long long ry = static_cast<long long>(cy) - qy;
  const long long rx = static_cast<long long>(cx) - qx;
  const long long r = static_cast<long long>(1.5 * std::sqrt(static_cast<double>(ry * ry + rx * rx)));

  fillSumX = 0;
  fillSumY = 0;
  fillCount = 0;
  ringOrigin = IntPoint{cx, cy};
  // Bounded by width and height themselves here, one more than the centre search's window.
  windowLeft = clampTo(cx - r, w);
  windowTop = clampTo(cy - r, h);
  windowRight = clampTo(cx + r, w);
  windowBottom = clampTo(cy + r, h);
  fillLimit = static_cast<int>(std::min<long long>(
      static_cast<long long>(windowBottom - windowTop) * (windowRight - windowLeft), INT_MAX));
  seedX.clear();
  seedY.clear();

  try {
    floodRing(qx, qy);
  } catch (const std::exception&) {
    fillCount = 0;
  }
  if (fillCount == 0) return false;

  const double mx = static_cast<double>(fillSumX) / fillCount - cx;
  const double my = static_cast<double>(fillSumY) / fillCount - cy;
  if (std::sqrt(mx * mx + my * my) > (xRight - xLeft) / 5.0) return false;

  const auto& p = quadrantPoint;
  const double sides[4] = {distance(p[0], p[1]), distance(p[1], p[2]), distance(p[2], p[3]),
                           distance(p[3], p[0])};
  const double smin = *std::min_element(sides, sides + 4);
  const double smax = *std::max_element(sides, sides + 4);
  if (smax <= 1e-6 || smin / smax < 0.5) return false;

  const double diag02 = distance(p[0], p[2]);
  const double diag13 = distance(p[1], p[3]);
  if (diag13 <= 1e-6) return false;
  const double diagRatio = diag02 / diag13;
  if (!(diagRatio >= 0.5 && diagRatio <= 2.0)) return false;

  auto toPoint = [](const IntPoint& ip) {
    return Point2D{static_cast<double>(ip.x), static_cast<double>(ip.y)};
  };
  candidate.corners = {toPoint(p[3]), toPoint(p[0]), toPoint(p[1]), toPoint(p[2])};
  return true;
}

void Detector::floodRing(int x, int y) {
  quadrantPoint.fill(IntPoint{});
  quadrantDistance.fill(0);
  fillStep(Fill::Ring, x, y);
  // The budget stops a ring that leaks into the background; leftover seeds stay queued.
  while (!seedX.empty() && fillCount < fillLimit) {
    fillStep(Fill::Ring, seedX.front(), seedY.front());
    seedX.pop_front();
    seedY.pop_front();
  }
}

}  // namespace Aztec

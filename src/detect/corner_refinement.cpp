// Corner refinement: fits a line to each side of the filled ring and intersects neighbours.

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "detect/detector.h"
#include "detect/line_fit.h"

namespace Aztec {

namespace {

// Wrapping 64-bit arithmetic: equal to the signed result whenever that fits, and free of
// undefined overflow for windows too large for it.
std::int64_t wrapMul(std::int64_t a, std::int64_t b) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) * static_cast<std::uint64_t>(b));
}
std::int64_t wrapSub(std::int64_t a, std::int64_t b) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b));
}
std::int64_t wrapAdd(std::int64_t a, std::int64_t b) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}

double quotient(std::int64_t numerator, std::int64_t denominator) {
  return static_cast<double>(numerator) / static_cast<double>(denominator);
}

// a x + b y + c = 0
struct Line {
  double a;
  double b;
  double c;
};

Line through(const Point2D& p, const Point2D& q) {
  const double a = q.y - p.y;
  const double b = -(q.x - p.x);
  return Line{a, b, -(a * p.x + b * p.y)};
}

Point2D intersect(const Line& l1, const Line& l2) {
  double det = l1.a * l2.b - l2.a * l1.b;
  if (det > -1e-6 && det < 1e-6) det = det >= 0 ? 1e-6 : -1e-6;
  return Point2D{(l1.b * l2.c - l2.b * l1.c) / det, (l1.c * l2.a - l2.c * l1.a) / det};
}

// The side through the two end corners, fitted as x on y when it is steep.
Line sideLine(const LineFit& fit, const Point2D& end1, const Point2D& end2) {
  if (std::fabs(end2.y - end1.y) > std::fabs(end2.x - end1.x)) {
    return Line{1.0, -fit.slopeXOnY(), -fit.interceptXOnY()};
  }
  return Line{fit.slopeYOnX(), -1.0, fit.interceptYOnX()};
}

}  // namespace

void LineFit::add(int x, int y) {
  sumXY = wrapAdd(sumXY, wrapMul(x, y));
  sumX = wrapAdd(sumX, x);
  sumY = wrapAdd(sumY, y);
  sumXX = wrapAdd(sumXX, wrapMul(x, x));
  sumYY = wrapAdd(sumYY, wrapMul(y, y));
  n = wrapAdd(n, 1);
}

double LineFit::slopeYOnX() const {
  return quotient(wrapSub(wrapMul(n, sumXY), wrapMul(sumX, sumY)),
                  wrapSub(wrapMul(n, sumXX), wrapMul(sumX, sumX)));
}

double LineFit::interceptYOnX() const {
  return quotient(wrapSub(wrapMul(sumY, sumXX), wrapMul(sumXY, sumX)),
                  wrapSub(wrapMul(n, sumXX), wrapMul(sumX, sumX)));
}

double LineFit::slopeXOnY() const {
  return quotient(wrapSub(wrapMul(n, sumXY), wrapMul(sumX, sumY)),
                  wrapSub(wrapMul(n, sumYY), wrapMul(sumY, sumY)));
}

double LineFit::interceptXOnY() const {
  return quotient(wrapSub(wrapMul(sumX, sumYY), wrapMul(sumXY, sumY)),
                  wrapSub(wrapMul(n, sumYY), wrapMul(sumY, sumY)));
}

void Detector::refineCorners(SymbolCandidate& candidate) {
  const Point2D tl = candidate.corners[0];
  const Point2D tr = candidate.corners[1];
  const Point2D br = candidate.corners[2];
  const Point2D bl = candidate.corners[3];
  const Line d1 = through(tl, br);
  const Line d2 = through(bl, tr);

  LineFit bottom;
  LineFit left;
  LineFit right;
  LineFit top;
  if (levelImage && levelImage->width() > 0 && levelImage->height() > 0) {
    // The window may reach one past the last column and row; only pixels of the image count.
    const int x0 = std::max(windowLeft, 0);
    const int x1 = std::min(windowRight, levelImage->width() - 1);
    const int y0 = std::max(windowTop, 0);
    const int y1 = std::min(windowBottom, levelImage->height() - 1);
    for (int y = y0; y <= y1; ++y) {
      const std::uint8_t* row = levelImage->row(y);
      for (int x = x0; x <= x1; ++x) {
        if (row[x] != kLevelRingFilled) continue;
        const bool neg1 = d1.a * x + d1.b * y + d1.c < -0.0001;
        const bool neg2 = d2.a * x + d2.b * y + d2.c < -0.0001;
        if (neg1 && neg2) {
          bottom.add(x, y);
        } else if (neg1) {
          left.add(x, y);
        } else if (neg2) {
          right.add(x, y);
        } else {
          top.add(x, y);
        }
      }
    }
  }

  const Line bottomLine = sideLine(bottom, bl, br);
  const Line leftLine = sideLine(left, tl, bl);
  const Line rightLine = sideLine(right, tr, br);
  const Line topLine = sideLine(top, tl, tr);
  candidate.corners[3] = intersect(bottomLine, leftLine);
  candidate.corners[2] = intersect(rightLine, bottomLine);
  candidate.corners[0] = intersect(topLine, leftLine);
  candidate.corners[1] = intersect(topLine, rightLine);
}

}  // namespace Aztec

#include <climits>
#include <cmath>

#include "detect/detector.h"

namespace Aztec {

namespace {

// Truncation toward zero; a value that is not finite or does not fit an int becomes INT_MIN,
// which every bounds test rejects.
int truncateToInt(double v) {
  if (!std::isfinite(v) || v <= -2147483649.0 || v >= 2147483648.0) return INT_MIN;
  return static_cast<int>(v);
}

}  // namespace

void Detector::fitTransform(const std::array<Point2D, 4>& grid, const std::array<Point2D, 4>& imagePoints) {
  // Assigned only after the fit succeeds, so a failed solve leaves the old transform.
  transform = fitPerspective(grid, imagePoints);
}

std::uint32_t Detector::sampleAt(double x, double y) const {
  const Point2D p = transform.map(x, y);
  const int xi = truncateToInt(p.x);
  const int yi = truncateToInt(p.y);
  const Velmora::Image::GrayBuf* img = image.get();
  if (img == nullptr || xi < 0 || yi < 0 || xi >= img->width() || yi >= img->height()) return OUTSIDE_IMAGE;
  // In bounds, so stride * yi + xi lies inside the pixel vector: read it without the range test.
  return img->row(yi)[xi];
}

}  // namespace Aztec

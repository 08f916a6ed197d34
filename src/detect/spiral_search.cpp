// Spiral search: tries the fixed start points around the image centre until one of them
// yields a readable mode message.

#include "detect/spiral_search.h"

#include <cmath>

namespace Aztec {

namespace {

std::array<IntPoint, 25> makeOffsets() {
  std::array<IntPoint, 25> offsets{};
  int k = 0;
  offsets[k++] = IntPoint{0, 0};
  for (int r : {24, 48}) {
    const int perSide = r / 12;
    // Top and left run forwards from (-r, -r), bottom and right backwards from (r, r).
    for (int i = 0; i < perSide; ++i) offsets[k++] = IntPoint{-r + 24 * i, -r};
    for (int i = 0; i < perSide; ++i) offsets[k++] = IntPoint{r - 24 * i, r};
    for (int i = 0; i < perSide; ++i) offsets[k++] = IntPoint{-r, -r + 24 * i};
    for (int i = 0; i < perSide; ++i) offsets[k++] = IntPoint{r, r - 24 * i};
  }
  return offsets;
}

bool finite(const Point2D& p) {
  return std::isfinite(p.x) && std::isfinite(p.y);
}

}  // namespace

const std::array<IntPoint, 25>& spiralStartOffsets() {
  static const std::array<IntPoint, 25> offsets = makeOffsets();
  return offsets;
}

bool Detector::detect(SymbolCandidate& candidate) {
  // An empty frame still runs the tries: each fails at once and leaves symbolType 1.
  const int cx = image ? image->width() / 2 : 0;
  const int cy = image ? image->height() / 2 : 0;
  for (const IntPoint& offset : spiralStartOffsets()) {
    if (tryAt(candidate, cx + offset.x, cy + offset.y)) return true;
  }
  return false;
}

bool Detector::tryAt(SymbolCandidate& candidate, int x, int y) {
  candidate.center = locateCenter(x, y);
  bool ringFound = findRingCorners(candidate, true);
  if (ringFound) {
    candidate.symbolType = kFullRange;
  } else {
    ringFound = findRingCorners(candidate, false);
    candidate.symbolType = kCompact;
  }
  if (!ringFound) return false;
  refineCorners(candidate);
  // A side without a usable fit leaves non-finite corners, from which no ring can be sampled.
  for (const Point2D& corner : candidate.corners) {
    if (!finite(corner)) return false;
  }
  if (sampleModeMessage(candidate, 1.0)) return true;
  if (sampleModeMessage(candidate, 1.1)) return true;
  return sampleModeMessage(candidate, 0.9);
}

}  // namespace Aztec

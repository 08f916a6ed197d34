#include "geometry/mode_message_sampling.h"

#include "common/checked_access.h"
#include "detect/detector.h"
#include "symbol/mode_message.h"
#include "symbol/ring_walk.h"

namespace Aztec {

void binarizeRing(const std::vector<std::uint32_t>& samples, BitRing& ring, float t) {
  if (samples.empty()) return;
  std::uint32_t lo = samples.front();
  std::uint32_t hi = samples.front();
  for (std::uint32_t s : samples) {
    if (s < lo) lo = s;
    if (s > hi) hi = s;
  }
  const double fraction = t;  // widened from single precision on purpose
  const auto threshold = static_cast<std::uint32_t>((1.0 - fraction) * lo + fraction * hi);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    ring.set(static_cast<long long>(i), samples[i] < threshold);
  }
}

bool Detector::sampleModeMessage(SymbolCandidate& candidate, double scale) {
  const bool compact = candidate.symbolType == kCompact;
  const int n = compact ? 10 : 14;       // samples per side
  const int r = n / 2;                   // ring radius in modules
  const double c = compact ? 3.0 : 5.0;  // grid radius of the finder corners

  fitTransform({Point2D{-c, -c}, Point2D{c, -c}, Point2D{c, c}, Point2D{-c, c}},
               {at(candidate.corners, 0), at(candidate.corners, 1), at(candidate.corners, 2),
                at(candidate.corners, 3)});

  // Clockwise from the top-left corner module: top, right, bottom, left side.
  std::vector<std::uint32_t> samples(static_cast<std::size_t>(4 * n), 0u);
  for (int i = 0; i < 4 * n; ++i) {
    const RingCell cell = ringCell(i, r);
    at(samples, i) = sampleAt(cell.x * scale, cell.y * scale);
  }

  BitRing ring(samples.size());
  bool decoded = false;
  for (float t : THRESHOLD_FRACTIONS) {
    if (!samples.empty()) binarizeRing(samples, ring, t);
    decoded = decodeModeMessage(candidate, ring);
    if (decoded) break;
  }
  return decoded;
}

}  // namespace Aztec

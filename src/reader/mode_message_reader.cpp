#include "reader/mode_message_reader.h"

#include "reader/finder_fit.h"
#include "reader/symbol_content.h"
#include "reader/tuning.h"
#include "symbol/mode_message.h"
#include "symbol/ring_walk.h"

namespace Aztec::detail {

std::vector<BitRing> modeRings(const PolarPlane& plane, const PerspectiveTransform& t, bool fullRange,
                               double scale) {
  const int n = fullRange ? 14 : 10;
  const int r = n / 2;
  std::vector<double> samples(static_cast<std::size_t>(4 * n));
  for (int i = 0; i < 4 * n; ++i) {
    const RingCell cell = ringCell(i, r);
    samples[static_cast<std::size_t>(i)] = plane.moduleValue(t, cell.x * scale, cell.y * scale);
  }
  const Levels lv = finderLevels(plane, t, fullRange);
  const double mid = 0.5 * (lv.dark + lv.light);
  const double span = lv.light - lv.dark;
  std::vector<BitRing> rings;
  for (double shift : Tuning::kModeRingShifts) {
    BitRing ring(static_cast<std::size_t>(4 * n));
    for (int i = 0; i < 4 * n; ++i) ring.set(i, samples[static_cast<std::size_t>(i)] < mid + shift * span);
    rings.push_back(std::move(ring));
  }
  return rings;
}

std::optional<SymbolCandidate> readModeMessage(const PolarPlane& plane, const PerspectiveTransform& t,
                                               bool fullRange, std::vector<BitRing>& runeRings) {
  for (double scale : Tuning::kModeRingScales) {
    const std::vector<BitRing> rings = modeRings(plane, t, fullRange, scale);
    for (const BitRing& ring : rings) {
      SymbolCandidate p;
      p.symbolType = fullRange ? kFullRange : kCompact;
      // The correction may turn a misread ring into another valid message: one that counts more
      // data words than its layers hold was not this symbol's.
      if (decodeModeMessage(p, ring) && dataCount(p)) {
        const double c = fullRange ? 5.0 : 3.0;  // grid radius of the finder corners
        p.center = t.map(0.0, 0.0);
        p.corners = {t.map(-c, -c), t.map(c, -c), t.map(c, c), t.map(-c, c)};
        return p;
      }
    }
    if (!fullRange && scale == 1.0) runeRings = rings;
  }
  return std::nullopt;
}

}  // namespace Aztec::detail

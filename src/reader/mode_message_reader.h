#pragma once
// The mode message read around a fitted finder: the ring sampled through the finder's transform
// at a few scales and thresholds until one decodes.

#include <optional>
#include <vector>

#include "detect/symbol_candidate.h"
#include "geometry/homography.h"
#include "reader/polar_plane.h"
#include "symbol/bit_ring.h"

namespace Aztec::detail {

// The mode-message ring binarised at a few thresholds between the finder's levels, in the
// order to try them (40 or 56 samples, index 0 at the top-left corner module, clockwise).
std::vector<BitRing> modeRings(const PolarPlane& plane, const PerspectiveTransform& t, bool fullRange,
                               double scale);

// The symbol's parameters from the first ring that decodes, centre and finder corners set from
// the transform; nothing when none does. For a compact finder whose ring does not decode,
// `runeRings` receives the rings at the fitted scale (a rune's ring has no mode message).
std::optional<SymbolCandidate> readModeMessage(const PolarPlane& plane, const PerspectiveTransform& t,
                                               bool fullRange, std::vector<BitRing>& runeRings);

}  // namespace Aztec::detail

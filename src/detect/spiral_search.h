#pragma once
// The fixed start points of the search, as offsets from the image centre in the order tried.

#include <array>

#include "detect/detector.h"

namespace Aztec {

// 25 offsets: the centre, then the rings at 24 and 48 pixels. Each ring repeats its corners
// (-r, -r) and (r, r) and never visits (r, -r) or (-r, r).
const std::array<IntPoint, 25>& spiralStartOffsets();

}  // namespace Aztec

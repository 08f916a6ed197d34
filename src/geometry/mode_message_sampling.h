#pragma once
// Binarisation of the mode-message ring: one sampling, up to eleven thresholds.

#include <array>
#include <cstdint>
#include <vector>

#include "symbol/bit_ring.h"

namespace Aztec {

// Fractions of the way from the darkest to the lightest ring sample, tried in this order.
// Kept in single precision: 0.45f widens to 0.449999988..., which moves some thresholds
// down by one grey level, and decoded results depend on that.
inline constexpr std::array<float, 11> THRESHOLD_FRACTIONS = {0.5f, 0.45f, 0.55f, 0.4f, 0.6f, 0.3f,
                                                              0.7f, 0.2f,  0.8f,  0.1f, 0.9f};

// Bit i of the ring = sample i below (1 - t) min + t max, truncated to an unsigned int;
// true = dark. An empty sample list leaves the ring untouched.
void binarizeRing(const std::vector<std::uint32_t>& samples, BitRing& ring, float t);

}  // namespace Aztec

#pragma once
// High-level text decoding: the five character modes, shifts, latches and binary shift.

#include <cstdint>
#include <vector>

#include "symbol/bit_ring.h"

namespace Aztec {

// Decodes every bit of `bits` into message bytes. Throws std::out_of_range
// ("invalid vector<T> subscript") when the output overflows its 2 x (n / 6) byte buffer.
std::vector<std::uint8_t> decodeHighLevel(const BitRing* bits);

}  // namespace Aztec

#pragma once
// Data layer extraction and the data pipeline of a detected symbol.

#include <cstdint>
#include <optional>
#include <vector>

#include "detect/symbol_candidate.h"
#include "geometry/data_grid_sampling.h"
#include "symbol/bit_ring.h"

namespace Aztec {

// Undoes mirroring, drops the reference-grid lines and walks the layers from the outside in
// into the raw layer ring of codewordSize x totalCodewords bits. The walk holds leadingBits more
// bits than that; they wrap onto the first positions, where the side written last wins (which
// side that is depends on the rotation). With wholeWalk the ring is leadingBits longer instead,
// so every bit stays where it is and the codewords read from leadingBits on are the true ones
// at every rotation.
BitRing extractDataBits(const SymbolCandidate& candidate, const SampledGrid& grid, bool wholeWalk = false);

// The whole data path after sampling: extraction, correction, unstuffing and text. Nothing
// when the grid is missing or the codewords cannot be corrected.
std::optional<std::vector<std::uint8_t>> decodeSymbolData(const SymbolCandidate& candidate,
                                                          const SampledGrid* grid);

}  // namespace Aztec

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
// into the raw layer ring of codewordSize x totalCodewords bits.
BitRing extractDataBits(const SymbolCandidate& candidate, const SampledGrid& grid);

// The whole data path after sampling: extraction, correction, unstuffing and text. Nothing
// when the grid is missing or the codewords cannot be corrected.
std::optional<std::vector<std::uint8_t>> decodeSymbolData(const SymbolCandidate& candidate,
                                                          const SampledGrid* grid);

}  // namespace Aztec

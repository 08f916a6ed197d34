#pragma once
// Codeword correction of the data layers and removal of the stuffed bits.

#include <atomic>
#include <optional>

#include "detect/symbol_candidate.h"
#include "symbol/bit_ring.h"

namespace Aztec {

// Codewords corrected by the last data correction, process-wide. Concurrent decodes overwrite
// each other's count; relaxed atomic so that this is not a data race.
extern std::atomic<int> lastErrorCount;

// Corrects the codewords of the raw layer bits and unpacks the data codewords without their
// stuffed bits into a ring of codewordSize x dataCodewords bits (the freed tail stays false).
// Nothing when dataCodewords or codewordSize < 1 or dataCodewords > totalCodewords.
// Throws ReedSolomonException for an uncorrectable block and IllegalSymbolException
// ("Illegal series of bits") for a data codeword of all zeros or all ones.
std::optional<BitRing> correctDataBits(const BitRing& raw, const SymbolCandidate& candidate);

}  // namespace Aztec

#pragma once
// Codeword correction of the data layers and removal of the stuffed bits.

#include <atomic>
#include <optional>
#include <vector>

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

// The codewords of the raw layer bits after Reed-Solomon correction, and how many were corrected.
struct CorrectedCodewords {
  std::vector<int> words;  // totalCodewords words, data first
  int corrected = 0;       // what the Reed-Solomon decoder returned for this block
};

// The correction step of correctDataBits alone: the same checks and exceptions, but it leaves
// lastErrorCount untouched and hands the count back instead.
std::optional<CorrectedCodewords> correctCodewords(const BitRing& raw, const SymbolCandidate& candidate);

// The unstuffing step of correctDataBits: the first dataCodewords words without their stuffed
// bits. keepFullLength keeps codewordSize x dataCodewords bits with a false tail (as the exact
// decoder does); otherwise only the bits actually produced. Throws IllegalSymbolException for an
// all-zeros / all-ones data codeword and std::out_of_range when `words` is too short.
BitRing unstuffCodewords(const std::vector<int>& words, int dataCodewords, int codewordSize,
                         bool keepFullLength);

}  // namespace Aztec

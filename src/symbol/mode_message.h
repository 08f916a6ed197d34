#pragma once
// The mode message: orientation marks, layer count and data codeword count of a symbol,
// corrected with Reed-Solomon over GF(16), and the layer parameter tables.

#include <vector>

#include "detect/symbol_candidate.h"
#include "symbol/bit_ring.h"

namespace Aztec {

// Layer-dependent parameters, indexed by the number of layers (index 0 unused, all 0).
struct ModeParameters {
  int codewordSize;
  int totalCodewords;
  int symbolSize;
  int leadingBits;
};
// Compact: indices 0..4; full-range: indices 0..32. Out-of-range layers throw std::out_of_range.
const ModeParameters& compactParameters(int layers);
const ModeParameters& fullRangeParameters(int layers);

// `count` codewords of `width` bits from bit `start` on, most significant bit first, indices
// modulo the ring's length.
std::vector<int> readCodewords(const BitRing& bits, int start, int count, int width);

// Corrects a 28-bit (compact) or 40-bit (full-range) mode message in place. Does nothing for an
// empty message. Throws ReedSolomonException (or a std::exception) when uncorrectable.
void correctModeMessage(BitRing& modeMessage, bool compact);

// The orientation from the dark marks around the ring's four corners (ring as for
// decodeModeMessage); false when the marks match no orientation or the ring is empty.
bool findOrientation(const BitRing& ring, int& rotation, bool& mirrored);

// The 28 (compact) or 40 (full-range) mode-message bits of the ring in reading order, for the
// orientation found by findOrientation.
BitRing gatherModeMessage(const BitRing& ring, bool compact, int rotation, bool mirrored);

// Reads the ring of 40 (compact) or 56 (full-range) bits, true = dark, index 0 at the ring's
// top-left corner module and running clockwise. Fills the candidate's mode fields; false when
// the orientation marks or the correction fail (rotation and mirrored may already be written).
bool decodeModeMessage(SymbolCandidate& candidate, const BitRing& ring);

}  // namespace Aztec

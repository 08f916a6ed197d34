#pragma once
// Turning a located, sampled symbol into its message and metadata for the whole-frame reader.
// Shares the exact decoder's layer walk and Reed-Solomon correction, but keeps only the data
// bits actually unstuffed and interprets FLG(n) (ECI, FNC1), structured append and reader
// initialisation.

#include <aztec/reader.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "detect/symbol_candidate.h"
#include "geometry/data_grid_sampling.h"
#include "symbol/bit_ring.h"

namespace Aztec::detail {

// What the locator hands over: the mode-message parameters in a SymbolCandidate (symbolType,
// rotation, mirrored, layers, dataCodewords, codewordSize, totalCodewords, symbolSize,
// leadingBits, as the exact decoder's mode message fills them) and the sampled module grid
// [column][row] as the symbol appears in the image (reference-grid lines included).
struct LocatedSymbol {
  SymbolCandidate parameters;
  SampledGrid grid;
  bool inverted = false;
  // Outer corners of the sampled grid in image pixels: [0] at grid column 0 / row 0, [1] at the
  // last column / row 0, [2] at the last column / last row, [3] at column 0 / last row. The
  // result reorders them to the symbol's own upright orientation.
  std::array<Point2D, 4> corners{};
};

// The data-word count of a mode message (symbolType, dataCodewords and totalCodewords filled),
// the reader-initialisation flag taken out of it; nothing when the symbol cannot hold that many
// data words and a check word.
struct DataCount {
  int dataCodewords = 0;
  bool readerInit = false;
};
std::optional<DataCount> dataCount(const SymbolCandidate& candidate);

// The message and metadata, or nothing when the codewords cannot be corrected or the bit stream
// is malformed. Never throws for bad data.
std::optional<ReadResult> decodeSymbolContent(const LocatedSymbol& symbol);

// A rune's value (0..255) from the 40-sample ring around a compact bull's-eye, laid out as
// decodeModeMessage takes it (index 0 at the ring's top-left corner module, clockwise, true =
// dark); fills the orientation found and, when asked, the number of corrected 4-bit words.
// Nothing when it is not a valid rune.
std::optional<int> decodeRune(const BitRing& ring, int& rotation, bool& mirrored, int* corrected = nullptr);

// A rune from its 11 x 11 sampled grid ([column][row] as seen, the mode-message ring on the
// border). The message is the value in decimal digits, as encoders take it ("0" to "255");
// format Rune, layers 0, 2 data and 5 check words. `parameters` is not used.
std::optional<ReadResult> decodeRuneSymbol(const LocatedSymbol& symbol);

// The same from the ring itself (laid out as for decodeRune), with the corners of the 11 x 11
// square as the grid's would be.
std::optional<ReadResult> decodeRuneRing(const BitRing& ring, bool inverted,
                                         const std::array<Point2D, 4>& corners);

}  // namespace Aztec::detail

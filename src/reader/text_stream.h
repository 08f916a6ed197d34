#pragma once
// High-level text decoding for the whole-frame reader: the exact decoder's mode tables, but
// reading only the bits the symbol holds (no wrap-around, no output limit) and interpreting
// FLG(n) as FNC1 or an ECI designator.

#include <optional>
#include <vector>

namespace Aztec::detail {

struct TextToken {
  enum class Kind { Byte, Fnc1, Eci };
  Kind kind = Kind::Byte;
  int value = 0;  // the byte (0..255) or the ECI number (0..999999)
};

struct TextStream {
  std::vector<TextToken> tokens;
  // The stream opens with M/L then U/L: the marker of a structured-append header.
  bool structuredAppendMarker = false;
};

// Nothing for a malformed stream: FLG(7), or an ECI designator cut short or holding a code that
// is no digit. Bits left over at the end (padding) are ignored, as is a binary shift that the
// padding starts.
std::optional<TextStream> decodeTextStream(const std::vector<bool>& bits);

}  // namespace Aztec::detail

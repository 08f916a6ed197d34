#pragma once
// The whole-frame reader: finds every Aztec symbol in a camera frame (anywhere, any angle,
// light-on-dark too, runes included) and returns each one's exact message and metadata.
// It shares the exact decoder's stages where they serve (Galois fields, Reed-Solomon, mode
// message, layer walk, text decoding) and adds its own search and sampling. The exact decoder
// (Decoder, readAztecCamera) is unaffected by it.

#include <aztec/types.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Aztec {

struct ReaderOptions {
  // Region of interest in pixels; a zero width or height means the whole frame. It is clipped
  // to the frame.
  int regionX = 0;
  int regionY = 0;
  int regionWidth = 0;
  int regionHeight = 0;
  bool tryInverted = true;  // also look for light-on-dark symbols
  bool readRunes = true;    // also report Aztec runes
  int maxSymbols = 16;      // stop after this many symbols
};

enum class SymbolFormat { Compact, FullRange, Rune };

struct StructuredAppend {
  int index = 0;   // 1-based position of this symbol in the sequence
  int count = 0;   // number of symbols in the sequence
  std::string id;  // optional message ID, empty when absent
};

struct ReadResult {
  std::vector<std::uint8_t> bytes;  // the message bytes exactly (ECI designators and FNC1 removed)
  std::string text;                 // UTF-8, decoded per ECI (ISO-8859-1 when none is given)
  bool gs1 = false;                 // FNC1 in first position: GS1 data
  std::optional<StructuredAppend> structuredAppend;
  bool readerInitialisation = false;
  SymbolFormat format = SymbolFormat::Compact;
  int layers = 0;
  int dataCodewords = 0;
  int checkCodewords = 0;
  int correctedCodewords = 0;
  int rotation = 0;  // clockwise quarter turns, as the exact decoder counts them
  bool mirrored = false;
  bool inverted = false;
  // Outer corners of the symbol in image pixels: top-left, top-right, bottom-right, bottom-left
  // of the symbol's own upright orientation.
  std::array<Point2D, 4> corners{};
};

class WholeFrameReader {
 public:
  explicit WholeFrameReader(ReaderOptions options = {}) : options_(options) {}

  // Every symbol found, nearest to the frame centre first. Throws InvalidViewError for a bad
  // view; an unreadable frame gives an empty vector. Thread-safe: no shared mutable state.
  std::vector<ReadResult> read(const LumaView& view) const;

  const ReaderOptions& options() const { return options_; }

 private:
  ReaderOptions options_;
};

}  // namespace Aztec

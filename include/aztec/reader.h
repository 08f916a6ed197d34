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

// "compact", "full-range" or "rune": the name the tools and bindings print.
const char* toString(SymbolFormat format);

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

// What the whole-frame reader did with one frame, for diagnosis; filled only when asked for.
// Positions are frame pixels.

// How far a finder candidate got, in the order of the stages.
enum class TraceStage : std::uint8_t {
  Found,        // the row scan and its cross checks found it
  Verified,     // its rings held all round
  RingCorners,  // the corners of its outer ring were located
  FinderFit,    // the finder held through the transform fitted to them
  ModeMessage,  // its mode message (or a rune's ring) was read
  Sampled,      // the symbol was sampled and its sampled finder held
  Decoded,      // its codewords were corrected and the text decoded
  Accepted      // it is one of the results
};

// Why a candidate stopped where it did.
enum class TraceStop : std::uint8_t {
  None,              // accepted
  SymbolLimit,       // the reader had found maxSymbols symbols before it
  InsideSymbol,      // it lies inside a symbol already read
  SameFinder,        // a finder already tried
  RingsBroken,       // the rings do not hold all round
  NoRingCorners,     // no convincing quadrilateral for the outer ring
  DegenerateFit,     // the transform through the ring corners is degenerate
  FinderMismatch,    // the finder does not hold through the fitted transform
  NoModeMessage,     // no sampling of the ring decodes as a mode message or a rune
  SampledMismatch,   // the sampled finder is wrong at every threshold
  Uncorrectable,     // too many codewords wrong, or a malformed bit stream
  CorrectionMargin,  // corrected, but too near the correction's limit to be trusted
  SameSymbol,        // read, but it is a symbol already read through another finder
  OutsideFrame       // most of the symbol its mode message describes would lie outside the frame
};

const char* toString(TraceStage stage);
const char* toString(TraceStop stop);

struct TraceCandidate {
  Point2D centre;           // after the all-round check when that passed
  double moduleSize = 0.0;  // the module width the cross checks saw (smallest), pixels
  bool inverted = false;    // light centre on a dark ring
  bool fullRange = false;   // the kind it got furthest as
  TraceStage stage = TraceStage::Found;
  TraceStop stop = TraceStop::None;
  std::optional<std::array<Point2D, 4>> ringCorners;  // the located outer ring, when it got that far
  std::vector<Point2D> moduleCentres;                 // the last grid sampled, when it got that far
};

// The steps of a read, for their counts and times.
enum class TraceStep : std::uint8_t {
  Binarise,
  FindFinders,
  CheckRings,
  RingCorners,
  ModeMessage,
  Sample,
  Decode
};
constexpr int kTraceSteps = 7;
const char* toString(TraceStep step);

struct ReadTrace {
  std::vector<TraceCandidate> candidates;  // in the order they were considered
  // Per step: how many times it ran and the time it took in all, in milliseconds.
  std::array<int, kTraceSteps> stepCounts{};
  std::array<double, kTraceSteps> stepMilliseconds{};
  // The blocks the binariser judged flat (no finder can lie there): `flatColumns` x `flatRows`
  // blocks of `flatBlockSize` pixels, row by row, from `flatOrigin` (the region's corner).
  int flatBlockSize = 0;
  int flatColumns = 0;
  int flatRows = 0;
  Point2D flatOrigin;
  std::vector<std::uint8_t> flat;  // 1 = flat
};

class WholeFrameReader {
 public:
  explicit WholeFrameReader(ReaderOptions options = {}) : options_(options) {}

  // Every symbol found, nearest to the frame centre first. Throws InvalidViewError for a bad
  // view; an unreadable frame gives an empty vector. Thread-safe: no shared mutable state.
  std::vector<ReadResult> read(const LumaView& view) const;
  // The same, recording in `trace` (when not null; cleared first) what the reader did.
  std::vector<ReadResult> read(const LumaView& view, ReadTrace* trace) const;

  const ReaderOptions& options() const { return options_; }

 private:
  ReaderOptions options_;
};

}  // namespace Aztec

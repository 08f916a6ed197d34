#include "reader/symbol_content.h"

#include <string>

#include "reader/text_charsets.h"
#include "reader/text_stream.h"
#include "reedsolomon/generic_gf.h"
#include "reedsolomon/reed_solomon_decoder.h"
#include "symbol/codeword_correction.h"
#include "symbol/data_layers.h"
#include "symbol/mode_message.h"
#include "symbol/ring_walk.h"

namespace Aztec::detail {
namespace {

constexpr int kRuneSize = 11;
constexpr int kRuneMask = 0b1010;  // every rune word is inverted in alternate bits
constexpr std::uint8_t kGroupSeparator = 0x1D;

bool isSquareGrid(const SampledGrid& grid, int size) {
  if (static_cast<int>(grid.size()) != size) return false;
  for (const std::vector<bool>& column : grid) {
    if (static_cast<int>(column.size()) != size) return false;
  }
  return true;
}

// The upright corners of a symbol seen with `rotation` clockwise turns and then mirrored: follow
// each upright corner of a unit square through the same turns and mirror to its grid corner.
std::array<Point2D, 4> uprightCorners(const std::array<Point2D, 4>& seen, int rotation, bool mirrored) {
  static constexpr int kRow[4] = {0, 0, 1, 1};
  static constexpr int kColumn[4] = {0, 1, 1, 0};
  std::array<Point2D, 4> out{};
  for (int k = 0; k < 4; ++k) {
    int r = kRow[k];
    int c = kColumn[k];
    for (int i = 0; i < rotation; ++i) {  // one clockwise turn: (r, c) -> (c, 1 - r)
      const int t = r;
      r = c;
      c = 1 - t;
    }
    if (mirrored) c = 1 - c;
    const int seenIndex = r == 0 ? (c == 0 ? 0 : 1) : (c == 0 ? 3 : 2);
    out[static_cast<std::size_t>(k)] = seen[static_cast<std::size_t>(seenIndex)];
  }
  return out;
}

// A structured-append header after the M/L U/L marker: optional " ID " then the index and count
// letters A..Z. Returns the number of leading bytes it spans, 0 when there is none.
std::size_t parseStructuredAppend(const std::vector<std::uint8_t>& lead, StructuredAppend& sa) {
  std::size_t i = 0;
  std::string id;
  if (!lead.empty() && lead[0] == ' ') {
    i = 1;
    while (i < lead.size() && lead[i] != ' ') id.push_back(static_cast<char>(lead[i++]));
    if (i >= lead.size() || id.empty()) return 0;
    ++i;
  }
  if (i + 2 > lead.size()) return 0;
  const auto letter = [](std::uint8_t b) { return b >= 'A' && b <= 'Z' ? b - 'A' + 1 : 0; };
  const int index = letter(lead[i]);
  const int count = letter(lead[i + 1]);
  if (index == 0 || count < 2 || index > count) return 0;
  sa.index = index;
  sa.count = count;
  sa.id = id;
  return i + 2;
}

// Message bytes, text and flags from the decoded tokens.
void assembleMessage(const TextStream& stream, ReadResult& result) {
  std::size_t first = 0;
  if (stream.structuredAppendMarker) {
    std::vector<std::uint8_t> lead;
    while (lead.size() < stream.tokens.size() && stream.tokens[lead.size()].kind == TextToken::Kind::Byte)
      lead.push_back(static_cast<std::uint8_t>(stream.tokens[lead.size()].value));
    StructuredAppend sa;
    first = parseStructuredAppend(lead, sa);
    if (first > 0) result.structuredAppend = sa;
  }

  int eci = -1;
  std::vector<std::uint8_t> segment;
  const auto flush = [&]() {
    appendAsUtf8(result.text, segment, eci);
    segment.clear();
  };
  bool anyData = false;
  for (std::size_t i = first; i < stream.tokens.size(); ++i) {
    const TextToken& t = stream.tokens[i];
    switch (t.kind) {
      case TextToken::Kind::Byte:
        segment.push_back(static_cast<std::uint8_t>(t.value));
        result.bytes.push_back(static_cast<std::uint8_t>(t.value));
        anyData = true;
        break;
      case TextToken::Kind::Fnc1:
        // Before any data it marks GS1 data; later it separates fields as GS does.
        if (!anyData) {
          result.gs1 = true;
        } else {
          segment.push_back(kGroupSeparator);
          result.bytes.push_back(kGroupSeparator);
        }
        break;
      case TextToken::Kind::Eci:
        flush();
        eci = t.value;
        break;
    }
  }
  flush();
}

}  // namespace

std::optional<DataCount> dataCount(const SymbolCandidate& c) {
  // Reader initialisation sets the top bit of the data-codeword field; it is recognised where
  // the plain count would not fit the symbol (1-layer compact, full-range up to 24 layers).
  const int topBit = c.symbolType == kCompact ? 32 : 1024;
  int field = c.dataCodewords - 1;
  if (field < 0 || field >= 2 * topBit) return std::nullopt;
  DataCount count;
  if ((field & topBit) != 0 && field + 1 > c.totalCodewords) {
    count.readerInit = true;
    field &= ~topBit;
  }
  count.dataCodewords = field + 1;
  // Without check codewords nothing vouches for the data.
  if (c.totalCodewords - count.dataCodewords < 1) return std::nullopt;
  return count;
}

namespace {

std::optional<ReadResult> decodeChecked(const LocatedSymbol& symbol) {
  const SymbolCandidate& given = symbol.parameters;
  const bool compact = given.symbolType == kCompact;
  if (!compact && given.symbolType != kFullRange) return std::nullopt;
  if (given.layers < 1 || given.layers > (compact ? 4 : 32)) return std::nullopt;
  if (given.rotation < 0 || given.rotation > 3) return std::nullopt;

  // The layer tables decide the geometry; only the mode-message fields come from the caller.
  SymbolCandidate c = given;
  const ModeParameters& p = compact ? compactParameters(c.layers) : fullRangeParameters(c.layers);
  c.codewordSize = p.codewordSize;
  c.totalCodewords = p.totalCodewords;
  c.symbolSize = p.symbolSize;
  c.leadingBits = p.leadingBits;
  if (!isSquareGrid(symbol.grid, c.symbolSize)) return std::nullopt;

  const std::optional<DataCount> count = dataCount(c);
  if (!count) return std::nullopt;
  const bool readerInit = count->readerInit;
  c.dataCodewords = count->dataCodewords;

  const BitRing raw = extractDataBits(c, symbol.grid, true);
  const std::optional<CorrectedCodewords> corrected = correctCodewords(raw, c);
  if (!corrected) return std::nullopt;
  const BitRing data = unstuffCodewords(corrected->words, c.dataCodewords, c.codewordSize, false);
  const std::optional<TextStream> stream = decodeTextStream(data.bits());
  if (!stream) return std::nullopt;

  ReadResult result;
  assembleMessage(*stream, result);
  result.readerInitialisation = readerInit;
  result.format = compact ? SymbolFormat::Compact : SymbolFormat::FullRange;
  result.layers = c.layers;
  result.dataCodewords = c.dataCodewords;
  result.checkCodewords = c.totalCodewords - c.dataCodewords;
  result.correctedCodewords = corrected->corrected;
  result.rotation = c.rotation;
  result.mirrored = c.mirrored;
  result.inverted = symbol.inverted;
  result.corners = uprightCorners(symbol.corners, c.rotation, c.mirrored);
  return result;
}

}  // namespace

std::optional<ReadResult> decodeSymbolContent(const LocatedSymbol& symbol) {
  // The shared stages report bad data by these exceptions; here bad data is simply no result.
  // Anything else is a fault and goes on to the caller.
  try {
    return decodeChecked(symbol);
  } catch (const ReedSolomon::ReedSolomonException&) {
    return std::nullopt;
  } catch (const ReedSolomon::IllegalSymbolException&) {
    return std::nullopt;
  }
}

std::optional<int> decodeRune(const BitRing& ring, int& rotation, bool& mirrored, int* corrected) {
  try {
    if (ring.size() != 4 * (kRuneSize - 1)) return std::nullopt;
    int r = 0;
    bool m = false;
    if (!findOrientation(ring, r, m)) return std::nullopt;
    std::vector<int> words = readCodewords(gatherModeMessage(ring, true, r, m), 0, 7, 4);
    for (int& w : words) w ^= kRuneMask;
    const ReedSolomon::ReedSolomonDecoder decoder(&ReedSolomon::GF16);
    const int count = decoder.decode(words, 5);
    rotation = r;
    mirrored = m;
    if (corrected != nullptr) *corrected = count;
    return words[0] << 4 | words[1];
  } catch (const ReedSolomon::ReedSolomonException&) {
    return std::nullopt;
  }
}

std::optional<ReadResult> decodeRuneRing(const BitRing& ring, bool inverted,
                                         const std::array<Point2D, 4>& corners) {
  int rotation = 0;
  bool mirrored = false;
  int corrected = 0;
  const std::optional<int> value = decodeRune(ring, rotation, mirrored, &corrected);
  if (!value) return std::nullopt;

  ReadResult result;
  result.text = std::to_string(*value);
  result.bytes.assign(result.text.begin(), result.text.end());
  result.format = SymbolFormat::Rune;
  result.layers = 0;
  result.dataCodewords = 2;
  result.checkCodewords = 5;
  result.correctedCodewords = corrected;
  result.rotation = rotation;
  result.mirrored = mirrored;
  result.inverted = inverted;
  result.corners = uprightCorners(corners, rotation, mirrored);
  return result;
}

std::optional<ReadResult> decodeRuneSymbol(const LocatedSymbol& symbol) {
  if (!isSquareGrid(symbol.grid, kRuneSize)) return std::nullopt;
  // The border of the grid is the ring around the finder.
  constexpr int r = kRuneSize / 2;
  BitRing ring(8 * r);
  for (int i = 0; i < 8 * r; ++i) {
    const RingCell cell = ringCell(i, r);
    ring.set(i, symbol.grid[static_cast<std::size_t>(cell.x + r)][static_cast<std::size_t>(cell.y + r)]);
  }
  return decodeRuneRing(ring, symbol.inverted, symbol.corners);
}

}  // namespace Aztec::detail

// The mode message and the data layers, read from encoder module matrices ([row][column],
// true = dark) turned and mirrored, and from synthetic rings and grids.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <stdexcept>
#include <string>

#include "support/rs_encoder.h"
#include "support/symbol_frames.h"
#include "symbol/codeword_correction.h"
#include "symbol/data_layers.h"
#include "symbol/mode_message.h"

namespace Aztec {
namespace {

using Matrix = std::vector<std::vector<bool>>;

// The grid (grid[x][y], column x, row y) of the picture turned `rotation` quarter turns
// clockwise, then mirrored when asked: what the mode message reports as (rotation, mirrored).
SampledGrid seenAs(const Matrix& m, int rotation, bool mirrored) {
  const int n = static_cast<int>(m.size());
  SampledGrid g(n, std::vector<bool>(n));
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) g[x][y] = m[y][x];
  for (int t = 0; t < rotation; ++t) {
    SampledGrid turned = g;
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x) turned[n - 1 - y][x] = g[x][y];
    g = turned;
  }
  if (mirrored) std::reverse(g.begin(), g.end());
  return g;
}

// Matrix position (row, column) of ring index i: the square at `radius` around the centre,
// index 0 its top-left corner, running clockwise.
std::pair<int, int> ringPosition(int size, int radius, int i) {
  const int c = size / 2, t = i % (2 * radius);
  switch (i / (2 * radius)) {
    case 0: return {c - radius, c - radius + t};
    case 1: return {c - radius + t, c + radius};
    case 2: return {c + radius, c + radius - t};
    default: return {c + radius - t, c - radius};
  }
}

// The 40 (compact) or 56 (full-range) mode-message ring samples of a grid.
BitRing ringOf(const SampledGrid& g, bool compact) {
  const int radius = compact ? 5 : 7;
  BitRing ring(8 * radius);
  for (int i = 0; i < 8 * radius; ++i) {
    const auto [r, c] = ringPosition(static_cast<int>(g.size()), radius, i);
    ring.set(i, g[c][r]);
  }
  return ring;
}

// Ring index of mode-message bit b for an upright, unmirrored symbol: the two corner marks at
// each end of a side and the full-range reference-grid module in its middle are skipped.
int ringIndexOfMessageBit(bool compact, int b) {
  if (compact) return 2 + 10 * (b / 7) + b % 7;
  const int t = b % 10;
  return 2 + 14 * (b / 10) + (t < 5 ? t : t + 1);
}

// An upright ring with orientation marks 3, 2, 1, 0 and the given mode-message words.
BitRing syntheticRing(bool compact, const std::vector<int>& words) {
  const int q = compact ? 10 : 14;
  BitRing ring(4 * q);
  for (int i : {-1, 0, 1, q, q + 1, 2 * q - 1}) ring.set(i, true);
  for (int b = 0; b < 4 * static_cast<int>(words.size()); ++b)
    ring.set(ringIndexOfMessageBit(compact, b), ((words[b / 4] >> (3 - b % 4)) & 1) != 0);
  return ring;
}

// Mode-message words (layers - 1, dataCodewords - 1) with their GF(16) check words.
BitRing modeRing(bool compact, int layers, int dataCodewords) {
  const int v = ((layers - 1) << (compact ? 6 : 11)) | (dataCodewords - 1);
  const std::vector<int> data = compact ? std::vector<int>{v >> 4, v & 15}
                                        : std::vector<int>{v >> 12, (v >> 8) & 15, (v >> 4) & 15, v & 15};
  return syntheticRing(compact, AztecTest::RsEncoder(AztecTest::kRsGF16).encode(data, compact ? 5 : 6));
}

// A candidate of the given type after a successful read of the ring.
SymbolCandidate decoded(bool compact, const BitRing& ring) {
  SymbolCandidate c;
  c.symbolType = compact ? 1 : 2;
  EXPECT_TRUE(decodeModeMessage(c, ring));
  return c;
}

// rotation, mirrored, layers, dataCodewords, codewordSize, totalCodewords, symbolSize, leadingBits
std::vector<int> fields(const SymbolCandidate& c) {
  return {c.rotation, c.mirrored, c.layers, c.dataCodewords, c.codewordSize, c.totalCodewords, c.symbolSize, c.leadingBits};
}

TEST(ModeParameters, TablesFollowTheLayerCapacityRules) {
  for (int l = 1; l <= 32; ++l)
    for (bool compact : {true, false}) {
      if (compact && l > 4) continue;
      SCOPED_TRACE(::testing::Message() << (compact ? "compact " : "full-range ") << l);
      const ModeParameters& p = compact ? compactParameters(l) : fullRangeParameters(l);
      const int bits = ((compact ? 88 : 112) + 16 * l) * l, base = 14 + 4 * l;
      EXPECT_EQ(p.codewordSize, l <= 2 ? 6 : (compact || l <= 8) ? 8 : l <= 22 ? 10 : 12);
      EXPECT_EQ(p.totalCodewords, bits / p.codewordSize);
      EXPECT_EQ(p.leadingBits, bits % p.codewordSize);
      // Full-range: data area plus the reference-grid lines every 16 modules from the centre.
      EXPECT_EQ(p.symbolSize, compact ? 11 + 4 * l : base + 1 + 2 * ((base / 2 - 1) / 15));
    }
}

TEST(ModeMessage, FieldsAndLookedUpParameters) {
  // Compact first two bits 11: 4 layers. Full-range second field all ones: 2048 data
  // codewords, more than the total, still accepted here.
  EXPECT_EQ(fields(decoded(true, modeRing(true, 4, 1))), (std::vector{0, 0, 4, 1, 8, 76, 27, 0}));
  EXPECT_EQ(fields(decoded(true, modeRing(true, 1, 64))), (std::vector{0, 0, 1, 64, 6, 17, 15, 2}));
  EXPECT_EQ(fields(decoded(false, modeRing(false, 32, 2048))), (std::vector{0, 0, 32, 2048, 12, 1664, 151, 0}));
  EXPECT_EQ(fields(decoded(false, modeRing(false, 9, 100))), (std::vector{0, 0, 9, 100, 10, 230, 53, 4}));
}

// Every row of the orientation table, from an encoder's symbol with 2 (compact) or 3
// (full-range) wrong mode-message codewords, turned and mirrored.
TEST(ModeMessage, CorrectedAtEveryRotationAndMirror) {
  for (auto [kind, layers] : {std::pair{AztecTest::SymbolKind::Compact, 1}, std::pair{AztecTest::SymbolKind::Compact, 4},
                              std::pair{AztecTest::SymbolKind::FullRange, 1}, std::pair{AztecTest::SymbolKind::FullRange, 12}}) {
    auto s = AztecTest::encodeText("ORIENTATION 123", kind, layers);
    std::vector<std::pair<int, int>> flips;
    for (int w : s.compact ? std::vector<int>{0, 5} : std::vector<int>{1, 4, 9})
      for (int b = 4 * w; b < 4 * w + 4; ++b)
        flips.push_back(ringPosition(s.size, s.compact ? 5 : 7, ringIndexOfMessageBit(s.compact, b)));
    AztecTest::flipModules(s, flips);
    for (int rotation = 0; rotation < 4; ++rotation)
      for (bool mirrored : {false, true}) {
        SCOPED_TRACE(::testing::Message() << layers << " layers, rotation " << rotation << " mirrored " << mirrored);
        const SymbolCandidate c = decoded(s.compact, ringOf(seenAs(s.modules, rotation, mirrored), s.compact));
        const std::vector<int> f = fields(c);
        EXPECT_EQ(std::vector<int>(f.begin(), f.begin() + 7),
                  (std::vector{rotation, mirrored ? 1 : 0, s.layers, s.dataCodewords, s.codewordSize, s.totalCodewords, s.size}));
      }
  }
}

TEST(ModeMessage, FailuresKeepTheParametersButWriteTheOrientation) {
  SymbolCandidate c;
  c.symbolType = 1;
  c.rotation = 2;
  BitRing dark(40);
  for (int i = 0; i < 40; ++i) dark.set(i, true);
  EXPECT_FALSE(decodeModeMessage(c, dark));  // corner counts (3, 3, 3, 3)
  EXPECT_FALSE(decodeModeMessage(c, BitRing(40)));
  EXPECT_EQ(c.rotation, 2);  // no row matched: nothing written

  // Three wrong codewords of (2 layers, 10 codewords), at distance 3 or more from every
  // mode-message codeword: uncorrectable. Upright marks, stale parameters from an earlier read.
  c.mirrored = true;
  c.layers = 7, c.dataCodewords = 9, c.codewordSize = 5, c.totalCodewords = 11, c.symbolSize = 13, c.leadingBits = 1;
  EXPECT_FALSE(decodeModeMessage(c, syntheticRing(true, {5, 9, 13, 6, 2, 2, 2})));
  EXPECT_EQ(fields(c), (std::vector{0, 0, 7, 9, 5, 11, 13, 1}));
  // A symbol type other than compact or full-range: orientation written, answer false.
  c.symbolType = 0;
  c.rotation = 3;
  EXPECT_FALSE(decodeModeMessage(c, modeRing(true, 1, 5)));
  EXPECT_EQ(fields(c), (std::vector{0, 0, 7, 9, 5, 11, 13, 1}));
}

SymbolCandidate candidate(bool compact, int layers, int rotation = 0, bool mirrored = false) {
  const ModeParameters& p = compact ? compactParameters(layers) : fullRangeParameters(layers);
  SymbolCandidate c;
  c.symbolType = compact ? 1 : 2;
  c.layers = layers, c.rotation = rotation, c.mirrored = mirrored, c.dataCodewords = 1;
  c.codewordSize = p.codewordSize, c.totalCodewords = p.totalCodewords, c.symbolSize = p.symbolSize, c.leadingBits = p.leadingBits;
  return c;
}

// Raw positions that the dark modules (x, y) of a grid end up in; full-range grids also get
// every reference-grid line dark (index i is on a line when centre - i is a multiple of 16).
std::set<int> probe(const SymbolCandidate& c, std::vector<std::pair<int, int>> dark, std::size_t* rawSize = nullptr) {
  const int n = c.symbolSize, centre = n / 2;
  SampledGrid g(n, std::vector<bool>(n));
  for (int x = 0; x < n; ++x)
    for (int y = 0; y < n; ++y) g[x][y] = c.symbolType == 2 && ((centre - x) % 16 == 0 || (centre - y) % 16 == 0);
  for (auto [x, y] : dark) g[x][y] = true;
  const BitRing raw = extractDataBits(c, g);
  if (rawSize != nullptr) *rawSize = raw.size();
  std::set<int> s;
  for (std::size_t i = 0; i < raw.size(); ++i)
    if (raw.get(static_cast<long long>(i))) s.insert(static_cast<int>(i));
  return s;
}

TEST(ExtractDataBits, LayerWalk) {
  struct Case { bool compact; int layers, rotation; std::vector<std::pair<int, int>> dark; std::set<int> bits; std::size_t raw; };
  const Case cases[] = {
      // Compact 1 layer, 104 bits into 102. Side 0: left columns top down, outer module first;
      // side 1: bottom rows; 2: right columns; 3: top rows, whose last pair lands on 0 and 1.
      {true, 1, 0, {{0, 1}}, {2}, 102}, {true, 1, 0, {{0, 13}}, {27}, 102}, {true, 1, 0, {{14, 14}}, {52}, 102},
      {true, 1, 0, {{14, 0}}, {78}, 102}, {true, 1, 0, {{2, 0}, {2, 1}}, {0, 1}, 102}, {true, 1, 0, {{0, 0}, {1, 0}, {7, 7}}, {}, 102},
      // Rotation 1: side 3 fills the first quarter, side 0 the second; side 2's last pair wraps.
      {true, 1, 1, {{14, 0}}, {0}, 102}, {true, 1, 1, {{2, 0}}, {24}, 102}, {true, 1, 1, {{0, 0}}, {26}, 102},
      {true, 1, 1, {{14, 2}}, {}, 102}, {true, 2, 1, {{16, 2}}, {136}, 240},  // layer 1 after 8 x 17 bits
      // Full-range 19 -> 18 (middle column and row removed), 128 bits into 126.
      {false, 1, 0, {{0, 0}}, {}, 126}, {false, 1, 0, {{0, 16}}, {30}, 126}, {false, 1, 0, {{10, 0}}, {112}, 126},
      {false, 1, 0, {{2, 0}}, {0}, 126},
      // 37 -> 34 (lines 2, 18, 34): (35, 36) is the inner module of side 2's first pair.
      {false, 5, 0, {{35, 36}}, {2 * 32 * 2 + 1}, 960},
      // 151 -> 142 (nine lines): the top-right corner module starts side 3.
      {false, 32, 0, {{150, 0}}, {2 * 140 * 3}, 19968}};
  for (const Case& k : cases) {
    SCOPED_TRACE(::testing::Message() << k.layers << " layers, rotation " << k.rotation << ", module "
                                      << k.dark[0].first << "," << k.dark[0].second);
    std::size_t raw = 0;
    EXPECT_EQ(probe(candidate(k.compact, k.layers, k.rotation), k.dark, &raw), k.bits);
    EXPECT_EQ(raw, k.raw);
  }
  // A mirrored grid is read column-reversed.
  for (int rotation = 0; rotation < 4; ++rotation)
    EXPECT_EQ(probe(candidate(true, 3, rotation, true), {{3, 20}, {22, 0}}), probe(candidate(true, 3, rotation), {{19, 20}, {0, 0}}));
  // Grids smaller than the walk needs throw instead of reading outside.
  EXPECT_THROW(extractDataBits(candidate(true, 1), SampledGrid(15, std::vector<bool>(10))), std::out_of_range);
  EXPECT_THROW(extractDataBits(candidate(true, 1, 0, true), SampledGrid()), std::out_of_range);
  EXPECT_THROW(extractDataBits(candidate(false, 5), SampledGrid(31, std::vector<bool>(37))), std::out_of_range);
}

TEST(DecodeSymbolData, NothingForMissingOrUnreadableData) {
  EXPECT_FALSE(decodeSymbolData(candidate(true, 2), nullptr).has_value());
  // All light: every codeword 0, a valid block whose data codeword 000000 is illegal.
  const SampledGrid light(19, std::vector<bool>(19));
  EXPECT_FALSE(decodeSymbolData(candidate(true, 2), &light).has_value());
  // A real symbol with a third of its first layer inverted cannot be corrected.
  auto symbol = AztecTest::encodeText("DAMAGED BEYOND REPAIR", AztecTest::SymbolKind::Compact, 2);
  for (auto& row : symbol.modules)
    for (int col = 0; col < 6; ++col) row[col] = !row[col];
  SymbolCandidate real = candidate(true, 2);
  real.dataCodewords = symbol.dataCodewords;
  const SampledGrid damaged = seenAs(symbol.modules, 0, false);
  EXPECT_FALSE(decodeSymbolData(real, &damaged).has_value());
}

// From the encoder's module matrix, at every rotation and mirror. The expected text includes
// what the encoder's pad decodes to (a run of ones, then the zeros of stuffed codewords).
TEST(DecodeSymbolData, EveryRotationAndMirrorGivesTheMessage) {
  struct Case { std::string text; AztecTest::SymbolKind kind; int layers; std::string pad; };
  const Case cases[] = {{"HELLO WORLD", AztecTest::SymbolKind::Compact, 1, ""},
                        {"MODULE ZERO AZTEC", AztecTest::SymbolKind::Compact, 2, "W"},  // pad 11 + stuffed 000
                        {"PACK MY BOX WITH FIVE DOZEN LIQUOR JUG", AztecTest::SymbolKind::Compact, 4, ""},
                        {"NINE LAYERS LEAD FOUR BITS", AztecTest::SymbolKind::FullRange, 9, ""},
                        {"THIRTY TWO LAYER", AztecTest::SymbolKind::FullRange, 32, ""}};
  for (const Case& k : cases) {
    const auto symbol = AztecTest::encodeText(k.text, k.kind, k.layers);
    for (int rotation = 0; rotation < 4; ++rotation)
      for (bool mirrored : {false, true}) {
        SCOPED_TRACE(::testing::Message() << k.text << " rotation " << rotation << " mirrored " << mirrored);
        const SampledGrid grid = seenAs(symbol.modules, rotation, mirrored);
        const SymbolCandidate c = decoded(symbol.compact, ringOf(grid, symbol.compact));
        lastErrorCount = -1;
        const auto bytes = decodeSymbolData(c, &grid);
        ASSERT_TRUE(bytes.has_value());
        EXPECT_EQ(std::string(bytes->begin(), bytes->end()), k.text + k.pad);
        // Turned reads differ from the upright one only in the leading-bit positions, which
        // then hold the walk's first bits instead of its wrapped last bits: one codeword at most.
        EXPECT_TRUE(lastErrorCount == 0 || (lastErrorCount == 1 && rotation > 0 && c.leadingBits > 0)) << lastErrorCount;
      }
  }
}

}  // namespace
}  // namespace Aztec

// The mode message and the data layers from synthetic rings and grids and a damaged encoder
// symbol. Every orientation of real symbols is pinned by the exact decoder's frames.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "symbol/codeword_correction.h"
#include "symbol/data_layers.h"
#include "symbol/mode_message.h"
#include "synth/rs_encoder.h"
#include "synth/symbol_frames.h"

namespace Aztec {
namespace {

using Matrix = std::vector<std::vector<bool>>;

// The grid (grid[x][y], column x, row y) of a module matrix [row][column].
SampledGrid gridOf(const Matrix& m) {
  const int n = static_cast<int>(m.size());
  SampledGrid g(n, std::vector<bool>(n));
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) g[x][y] = m[y][x];
  return g;
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
  return {c.rotation,     c.mirrored,       c.layers,     c.dataCodewords,
          c.codewordSize, c.totalCodewords, c.symbolSize, c.leadingBits};
}

TEST(ModeMessage, ExtremeFieldsAndFailures) {
  // Compact first two bits 11: 4 layers. Full-range second field all ones: 2048 data
  // codewords, more than the total, still accepted here.
  EXPECT_EQ(fields(decoded(true, modeRing(true, 4, 1))), (std::vector{0, 0, 4, 1, 8, 76, 27, 0}));
  EXPECT_EQ(fields(decoded(true, modeRing(true, 1, 64))), (std::vector{0, 0, 1, 64, 6, 17, 15, 2}));
  EXPECT_EQ(fields(decoded(false, modeRing(false, 32, 2048))),
            (std::vector{0, 0, 32, 2048, 12, 1664, 151, 0}));

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
  c.layers = 7, c.dataCodewords = 9, c.codewordSize = 5, c.totalCodewords = 11, c.symbolSize = 13,
  c.leadingBits = 1;
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
  c.codewordSize = p.codewordSize, c.totalCodewords = p.totalCodewords, c.symbolSize = p.symbolSize,
  c.leadingBits = p.leadingBits;
  return c;
}

TEST(DecodeSymbolData, NothingForMissingOrUnreadableData) {
  EXPECT_FALSE(decodeSymbolData(candidate(true, 2), nullptr).has_value());
  // Grids smaller than the walk needs throw instead of reading outside.
  EXPECT_THROW(extractDataBits(candidate(true, 1), SampledGrid(15, std::vector<bool>(10))),
               std::out_of_range);
  EXPECT_THROW(extractDataBits(candidate(true, 1, 0, true), SampledGrid()), std::out_of_range);
  EXPECT_THROW(extractDataBits(candidate(false, 5), SampledGrid(31, std::vector<bool>(37))),
               std::out_of_range);
  // All light: every codeword 0, a valid block whose data codeword 000000 is illegal.
  const SampledGrid light(19, std::vector<bool>(19));
  EXPECT_FALSE(decodeSymbolData(candidate(true, 2), &light).has_value());
  // A real symbol with a third of its first layer inverted cannot be corrected.
  auto symbol = AztecTest::encodeText("DAMAGED BEYOND REPAIR", AztecTest::SymbolKind::Compact, 2);
  for (auto& row : symbol.modules)
    for (int col = 0; col < 6; ++col) row[col] = !row[col];
  SymbolCandidate real = candidate(true, 2);
  real.dataCodewords = symbol.dataCodewords;
  const SampledGrid damaged = gridOf(symbol.modules);
  EXPECT_FALSE(decodeSymbolData(real, &damaged).has_value());
}

}  // namespace
}  // namespace Aztec

#include "symbol/mode_message.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "support/rs_encoder.h"
#include "support/symbol_frames.h"
#include "symbol/symbol_grids.h"

namespace Aztec {
namespace {

using AztecTest::Matrix;

// Ring index of mode-message bit b for an upright, unmirrored symbol: the two corner marks at
// each end of a side and the full-range reference-grid module in its middle are skipped.
int ringIndexOfMessageBit(bool compact, int b) {
  if (compact) return 2 + 10 * (b / 7) + b % 7;
  const int t = b % 10;
  return 2 + 14 * (b / 10) + (t < 5 ? t : t + 1);
}

// Mode-message words: data words (layers - 1, dataCodewords - 1) with their GF(16) check words.
std::vector<int> modeWords(bool compact, int layers, int dataCodewords) {
  std::vector<int> data;
  if (compact) {
    const int v = ((layers - 1) << 6) | (dataCodewords - 1);
    data = {v >> 4, v & 15};
  } else {
    const int v = ((layers - 1) << 11) | (dataCodewords - 1);
    data = {v >> 12, (v >> 8) & 15, (v >> 4) & 15, v & 15};
  }
  return AztecTest::RsEncoder(AztecTest::kRsGF16).encode(data, compact ? 5 : 6);
}

// An upright ring with orientation marks 3, 2, 1, 0 and the given mode-message words.
BitRing syntheticRing(bool compact, const std::vector<int>& words) {
  const int q = compact ? 10 : 14;
  BitRing ring(4 * q);
  for (int i : {-1, 0, 1, q, q + 1, 2 * q - 1}) ring.set(i, true);
  for (int b = 0; b < 4 * static_cast<int>(words.size()); ++b) {
    ring.set(ringIndexOfMessageBit(compact, b), ((words[b / 4] >> (3 - b % 4)) & 1) != 0);
  }
  return ring;
}

SymbolCandidate candidateOfType(int type) {
  SymbolCandidate c;
  c.symbolType = type;
  return c;
}

TEST(ModeParameters, TablesFollowTheLayerCapacityRules) {
  for (int l = 1; l <= 4; ++l) {
    const ModeParameters& p = compactParameters(l);
    const int bits = (88 + 16 * l) * l;
    EXPECT_EQ(p.codewordSize, l <= 2 ? 6 : 8) << l;
    EXPECT_EQ(p.totalCodewords, bits / p.codewordSize) << l;
    EXPECT_EQ(p.leadingBits, bits % p.codewordSize) << l;
    EXPECT_EQ(p.symbolSize, 11 + 4 * l) << l;
  }
  for (int l = 1; l <= 32; ++l) {
    const ModeParameters& p = fullRangeParameters(l);
    const int bits = (112 + 16 * l) * l;
    const int expectedSize = l <= 2 ? 6 : l <= 8 ? 8 : l <= 22 ? 10 : 12;
    EXPECT_EQ(p.codewordSize, expectedSize) << l;
    EXPECT_EQ(p.totalCodewords, bits / p.codewordSize) << l;
    EXPECT_EQ(p.leadingBits, bits % p.codewordSize) << l;
    // Data area plus the reference-grid lines every 16 modules from the centre.
    const int base = 14 + 4 * l;
    EXPECT_EQ(p.symbolSize, base + 1 + 2 * ((base / 2 - 1) / 15)) << l;
  }
  EXPECT_EQ(compactParameters(0).totalCodewords, 0);
  EXPECT_EQ(fullRangeParameters(0).symbolSize, 0);
}

TEST(ModeParameters, LayerCountOutsideTheTablesThrows) {
  EXPECT_THROW(compactParameters(5), std::out_of_range);
  EXPECT_THROW(compactParameters(-1), std::out_of_range);
  EXPECT_THROW(fullRangeParameters(33), std::out_of_range);
  EXPECT_THROW(fullRangeParameters(-1), std::out_of_range);
}

TEST(ReadCodewords, MostSignificantBitFirstWithWrapAround) {
  BitRing bits(10);
  for (int i : {0, 3, 8}) bits.set(i, true);  // 1001000010
  EXPECT_EQ(readCodewords(bits, 0, 2, 4), (std::vector<int>{0b1001, 0b0000}));
  // From bit 8 on: 10 then wrap 10 01 00 00 10 -> 1010, 0100, 0010.
  EXPECT_EQ(readCodewords(bits, 8, 3, 4), (std::vector<int>{0b1010, 0b0100, 0b0010}));
  EXPECT_EQ(readCodewords(bits, -2, 1, 3), (std::vector<int>{0b101}));
  EXPECT_TRUE(readCodewords(bits, 0, 0, 4).empty());
  EXPECT_THROW(readCodewords(BitRing(), 0, 1, 4), std::out_of_range);
}

TEST(ModeMessage, FieldsAndLookedUpParameters) {
  SymbolCandidate c = candidateOfType(1);
  ASSERT_TRUE(decodeModeMessage(c, syntheticRing(true, modeWords(true, 4, 1))));
  EXPECT_EQ(c.rotation, 0);
  EXPECT_FALSE(c.mirrored);
  EXPECT_EQ(c.layers, 4);
  EXPECT_EQ(c.dataCodewords, 1);
  EXPECT_EQ(c.codewordSize, 8);
  EXPECT_EQ(c.totalCodewords, 76);
  EXPECT_EQ(c.symbolSize, 27);
  EXPECT_EQ(c.leadingBits, 0);

  ASSERT_TRUE(decodeModeMessage(c, syntheticRing(true, modeWords(true, 1, 64))));
  EXPECT_EQ(c.layers, 1);
  EXPECT_EQ(c.dataCodewords, 64);
  EXPECT_EQ(c.leadingBits, 2);

  // dataCodewords above totalCodewords is accepted here.
  SymbolCandidate f = candidateOfType(2);
  ASSERT_TRUE(decodeModeMessage(f, syntheticRing(false, modeWords(false, 32, 2048))));
  EXPECT_EQ(f.layers, 32);
  EXPECT_EQ(f.dataCodewords, 2048);
  EXPECT_EQ(f.codewordSize, 12);
  EXPECT_EQ(f.totalCodewords, 1664);
  EXPECT_EQ(f.symbolSize, 151);

  ASSERT_TRUE(decodeModeMessage(f, syntheticRing(false, modeWords(false, 9, 100))));
  EXPECT_EQ(f.layers, 9);
  EXPECT_EQ(f.dataCodewords, 100);
  EXPECT_EQ(f.leadingBits, 4);
}

struct RealSymbol {
  AztecTest::SymbolKind kind;
  int layers;
};

void PrintTo(const RealSymbol& s, std::ostream* os) {
  *os << (s.kind == AztecTest::SymbolKind::Compact ? "compact " : "full-range ") << s.layers << " layers";
}

class ModeMessageOrientation : public ::testing::TestWithParam<RealSymbol> {};

// Every row of the orientation table, from an encoder's symbol turned and mirrored.
TEST_P(ModeMessageOrientation, ReadAtEveryRotationAndMirror) {
  const auto symbol = AztecTest::encodeText("ORIENTATION 123", GetParam().kind, GetParam().layers);
  const bool compact = symbol.compact;
  for (int rotation = 0; rotation < 4; ++rotation) {
    for (bool mirrored : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "rotation " << rotation << " mirrored " << mirrored);
      const Matrix seen = AztecTest::seenAs(symbol.modules, rotation, mirrored);
      SymbolCandidate c = candidateOfType(compact ? 1 : 2);
      ASSERT_TRUE(decodeModeMessage(c, AztecTest::ringOf(seen, compact)));
      EXPECT_EQ(c.rotation, rotation);
      EXPECT_EQ(c.mirrored, mirrored);
      EXPECT_EQ(c.layers, symbol.layers);
      EXPECT_EQ(c.dataCodewords, symbol.dataCodewords);
      EXPECT_EQ(c.codewordSize, symbol.codewordSize);
      EXPECT_EQ(c.totalCodewords, symbol.totalCodewords);
      EXPECT_EQ(c.symbolSize, symbol.size);
    }
  }
}

// Up to 2 (compact) or 3 (full-range) wrong codewords, at every orientation.
TEST_P(ModeMessageOrientation, WrongCodewordsAreCorrected) {
  auto symbol = AztecTest::encodeText("CORRECTION", GetParam().kind, GetParam().layers);
  const bool compact = symbol.compact;
  const std::vector<int> badWords = compact ? std::vector<int>{0, 5} : std::vector<int>{1, 4, 9};
  std::vector<std::pair<int, int>> flips;
  for (int w : badWords) {
    for (int b = 4 * w; b < 4 * w + 4; ++b) {
      flips.push_back(AztecTest::ringPosition(symbol.size, compact ? 5 : 7, ringIndexOfMessageBit(compact, b)));
    }
  }
  AztecTest::flipModules(symbol, flips);
  for (int rotation = 0; rotation < 4; ++rotation) {
    for (bool mirrored : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "rotation " << rotation << " mirrored " << mirrored);
      SymbolCandidate c = candidateOfType(compact ? 1 : 2);
      ASSERT_TRUE(decodeModeMessage(c, AztecTest::ringOf(AztecTest::seenAs(symbol.modules, rotation, mirrored), compact)));
      EXPECT_EQ(c.layers, symbol.layers);
      EXPECT_EQ(c.dataCodewords, symbol.dataCodewords);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Symbols, ModeMessageOrientation,
                         ::testing::Values(RealSymbol{AztecTest::SymbolKind::Compact, 1},
                                           RealSymbol{AztecTest::SymbolKind::Compact, 4},
                                           RealSymbol{AztecTest::SymbolKind::FullRange, 1},
                                           RealSymbol{AztecTest::SymbolKind::FullRange, 12}));

TEST(ModeMessage, CornerMarksMatchingNoRowAnswerFalse) {
  SymbolCandidate c = candidateOfType(1);
  c.rotation = 2;
  BitRing dark(40);
  for (int i = 0; i < 40; ++i) dark.set(i, true);
  EXPECT_FALSE(decodeModeMessage(c, dark));
  EXPECT_FALSE(decodeModeMessage(c, BitRing(40)));
  EXPECT_FALSE(decodeModeMessage(c, BitRing()));
  EXPECT_EQ(c.rotation, 2);  // no row matched: nothing written
}

TEST(ModeMessage, FailureKeepsParametersButWritesOrientation) {
  // Words at distance 3 or more from every mode-message codeword cannot be corrected.
  const AztecTest::RsEncoder gf16(AztecTest::kRsGF16);
  std::vector<std::vector<int>> codewords;
  for (int v = 0; v < 256; ++v) codewords.push_back(gf16.encode({v >> 4, v & 15}, 5));
  std::vector<int> received;
  for (int seed = 1; received.empty() && seed < 4096; ++seed) {
    std::vector<int> word = modeWords(true, 2, 10);
    word[0] ^= seed & 15;
    word[3] ^= (seed >> 4) & 15;
    word[6] ^= (seed >> 8) & 15;
    int nearest = 7;
    for (const auto& cw : codewords) {
      int d = 0;
      for (int i = 0; i < 7; ++i) d += cw[i] != word[i];
      nearest = std::min(nearest, d);
    }
    if (nearest >= 3) received = word;
  }
  ASSERT_FALSE(received.empty());

  // Upright marks but a stale mirrored orientation and parameters from an earlier read.
  SymbolCandidate c = candidateOfType(1);
  c.rotation = 3;
  c.mirrored = true;
  c.layers = 7;
  c.dataCodewords = 9;
  c.codewordSize = 5;
  c.totalCodewords = 11;
  c.symbolSize = 13;
  c.leadingBits = 1;
  EXPECT_FALSE(decodeModeMessage(c, syntheticRing(true, received)));
  EXPECT_EQ(c.rotation, 0);
  EXPECT_FALSE(c.mirrored);
  EXPECT_EQ(c.layers, 7);
  EXPECT_EQ(c.dataCodewords, 9);
  EXPECT_EQ(c.codewordSize, 5);
  EXPECT_EQ(c.totalCodewords, 11);
  EXPECT_EQ(c.symbolSize, 13);
  EXPECT_EQ(c.leadingBits, 1);

  // A symbol type other than compact or full-range: orientation written, answer false.
  SymbolCandidate u = candidateOfType(0);
  u.rotation = 3;
  EXPECT_FALSE(decodeModeMessage(u, syntheticRing(true, modeWords(true, 1, 5))));
  EXPECT_EQ(u.rotation, 0);
  EXPECT_EQ(u.layers, 0);
}

TEST(CorrectModeMessage, CorrectsInPlaceAndIgnoresAnEmptyMessage) {
  const std::vector<int> words = modeWords(false, 20, 700);
  BitRing message(40);
  for (int b = 0; b < 40; ++b) message.set(b, ((words[b / 4] >> (3 - b % 4)) & 1) != 0);
  const std::vector<bool> good = message.bits();
  for (int b : {0, 13, 14, 39}) message.set(b, !message.get(b));  // codewords 0, 3, 9
  correctModeMessage(message, false);
  EXPECT_EQ(message.bits(), good);

  BitRing empty;
  EXPECT_NO_THROW(correctModeMessage(empty, true));
  EXPECT_TRUE(empty.empty());
}

}  // namespace
}  // namespace Aztec

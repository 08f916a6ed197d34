#include "symbol/data_layers.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>

#include "detect/detector.h"
#include "support/symbol_frames.h"
#include "symbol/codeword_correction.h"
#include "symbol/mode_message.h"
#include "symbol/symbol_grids.h"

namespace Aztec {
namespace {

SymbolCandidate compactCandidate(int layers, int rotation = 0, bool mirrored = false) {
  SymbolCandidate c;
  const ModeParameters& p = compactParameters(layers);
  c.symbolType = 1;
  c.layers = layers;
  c.rotation = rotation;
  c.mirrored = mirrored;
  c.codewordSize = p.codewordSize;
  c.totalCodewords = p.totalCodewords;
  c.symbolSize = p.symbolSize;
  c.leadingBits = p.leadingBits;
  c.dataCodewords = 1;
  return c;
}

SymbolCandidate fullRangeCandidate(int layers, int rotation = 0) {
  SymbolCandidate c = compactCandidate(1, rotation);
  const ModeParameters& p = fullRangeParameters(layers);
  c.symbolType = 2;
  c.layers = layers;
  c.codewordSize = p.codewordSize;
  c.totalCodewords = p.totalCodewords;
  c.symbolSize = p.symbolSize;
  c.leadingBits = p.leadingBits;
  return c;
}

std::set<int> setBits(const BitRing& r) {
  std::set<int> s;
  for (std::size_t i = 0; i < r.size(); ++i)
    if (r.get(static_cast<long long>(i))) s.insert(static_cast<int>(i));
  return s;
}

// Raw positions that a single dark module at column x, row y ends up in.
std::set<int> probe(const SymbolCandidate& c, int x, int y) {
  SampledGrid g(c.symbolSize, std::vector<bool>(c.symbolSize));
  g[x][y] = true;
  return setBits(extractDataBits(c, g));
}

// Full-range grid with every reference-grid line dark (index i is on a line when
// centre - i is a multiple of 16) and one more dark module.
SampledGrid linesAndMarker(int size, int mx, int my) {
  const int centre = size / 2;
  const auto onLine = [centre](int i) { return (centre - i) % 16 == 0; };
  SampledGrid g(size, std::vector<bool>(size));
  for (int x = 0; x < size; ++x)
    for (int y = 0; y < size; ++y) g[x][y] = onLine(x) || onLine(y);
  g[mx][my] = true;
  return g;
}

TEST(ExtractDataBits, CompactOneLayerWrapsTheLastTwoBitsOntoTheFirst) {
  const SymbolCandidate c = compactCandidate(1);
  EXPECT_EQ(extractDataBits(c, SampledGrid(15, std::vector<bool>(15))).size(), 102u);
  // Side 0 (left columns, top down, outer first), side 1 (bottom rows), side 2, side 3.
  EXPECT_EQ(probe(c, 0, 1), (std::set<int>{2}));
  EXPECT_EQ(probe(c, 1, 1), (std::set<int>{3}));
  EXPECT_EQ(probe(c, 0, 14), (std::set<int>{26}));
  EXPECT_EQ(probe(c, 0, 13), (std::set<int>{27}));
  EXPECT_EQ(probe(c, 14, 14), (std::set<int>{52}));
  EXPECT_EQ(probe(c, 14, 0), (std::set<int>{78}));
  // Bits 102 and 103 of the walk (last pair of side 3) replace the first pair of side 0.
  EXPECT_EQ(probe(c, 2, 0), (std::set<int>{0}));
  EXPECT_EQ(probe(c, 2, 1), (std::set<int>{1}));
  EXPECT_TRUE(probe(c, 0, 0).empty());
  EXPECT_TRUE(probe(c, 1, 0).empty());
  // The core inside the layer is never read.
  EXPECT_TRUE(probe(c, 7, 7).empty());
}

TEST(ExtractDataBits, RotationOnePutsSideThreeIntoTheFirstQuarter) {
  const SymbolCandidate c = compactCandidate(1, 1);
  EXPECT_EQ(probe(c, 14, 0), (std::set<int>{0}));   // side 3, first pair
  EXPECT_EQ(probe(c, 2, 0), (std::set<int>{24}));   // side 3, last pair
  EXPECT_EQ(probe(c, 0, 0), (std::set<int>{26}));   // side 0 in the second quarter
  EXPECT_EQ(probe(c, 0, 14), (std::set<int>{52}));  // side 1
  EXPECT_EQ(probe(c, 14, 14), (std::set<int>{78}));  // side 2
  // Side 2's last pair wraps onto 0 and 1 but side 3 is written after it.
  EXPECT_TRUE(probe(c, 14, 2).empty());

  // The layers further in keep the same rotation;
  // layer 1 of a 2-layer symbol starts after the 8 x 17 bits of layer 0.
  const SymbolCandidate two = compactCandidate(2, 1);
  EXPECT_EQ(probe(two, 16, 2), (std::set<int>{136}));
  EXPECT_EQ(probe(compactCandidate(2), 2, 2), (std::set<int>{136}));
}

TEST(ExtractDataBits, MirroredGridIsReadColumnReversed) {
  for (int rotation = 0; rotation < 4; ++rotation) {
    EXPECT_EQ(probe(compactCandidate(3, rotation, true), 3, 20), probe(compactCandidate(3, rotation), 19, 20));
    EXPECT_EQ(probe(compactCandidate(3, rotation, true), 22, 0), probe(compactCandidate(3, rotation), 0, 0));
  }
}

TEST(ExtractDataBits, FullRangeReferenceGridLinesAreRemoved) {
  // 19 -> 18: the middle column and row go; 128 bits are written into 126.
  const SymbolCandidate one = fullRangeCandidate(1);
  EXPECT_EQ(extractDataBits(one, SampledGrid(19, std::vector<bool>(19))).size(), 126u);
  EXPECT_TRUE(setBits(extractDataBits(one, linesAndMarker(19, 0, 0))).empty());  // wrapped over
  EXPECT_EQ(setBits(extractDataBits(one, linesAndMarker(19, 0, 16))), (std::set<int>{30}));
  EXPECT_EQ(setBits(extractDataBits(one, linesAndMarker(19, 10, 0))), (std::set<int>{112}));
  EXPECT_EQ(setBits(extractDataBits(one, linesAndMarker(19, 3, 0))), (std::set<int>{124}));
  EXPECT_EQ(setBits(extractDataBits(one, linesAndMarker(19, 2, 0))), (std::set<int>{0}));
  EXPECT_TRUE(probe(one, 9, 0).empty());
  EXPECT_TRUE(probe(one, 0, 9).empty());

  // 37 -> 34: lines 2, 18, 34; module (35, 36) is the inner one of side 2's first pair.
  const SymbolCandidate five = fullRangeCandidate(5);
  const BitRing r5 = extractDataBits(five, linesAndMarker(37, 35, 36));
  EXPECT_EQ(r5.size(), 960u);
  EXPECT_EQ(setBits(r5), (std::set<int>{2 * 32 * 2 + 1}));

  // 151 -> 142: nine lines; the top-right corner module starts side 3.
  const SymbolCandidate big = fullRangeCandidate(32);
  const BitRing r32 = extractDataBits(big, linesAndMarker(151, 150, 0));
  EXPECT_EQ(r32.size(), 19968u);
  EXPECT_EQ(setBits(r32), (std::set<int>{2 * 140 * 3}));
}

TEST(ExtractDataBits, GridsTooSmallThrowInsteadOfReadingOutside) {
  // Columns shorter than the walk needs.
  try {
    extractDataBits(compactCandidate(1), SampledGrid(15, std::vector<bool>(10)));
    FAIL() << "expected std::out_of_range";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "invalid vector<bool> subscript");
  }
  try {
    extractDataBits(compactCandidate(1, 0, true), SampledGrid());
    FAIL() << "expected std::out_of_range";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "invalid vector<T> subscript");
  }
  // Fewer columns than the full-range size to strip the grid lines from.
  try {
    extractDataBits(fullRangeCandidate(5), SampledGrid(31, std::vector<bool>(37)));
    FAIL() << "expected std::out_of_range";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "invalid vector<T> subscript");
  }
}

TEST(DecodeSymbolData, NothingForMissingOrUnreadableData) {
  const SymbolCandidate c = compactCandidate(2);
  EXPECT_FALSE(decodeSymbolData(c, nullptr).has_value());
  // All light: every codeword 0, a valid block whose data codeword 000000 is illegal.
  const SampledGrid light(19, std::vector<bool>(19));
  EXPECT_FALSE(decodeSymbolData(c, &light).has_value());
  // A real symbol with a third of its first layer inverted cannot be corrected.
  auto symbol = AztecTest::encodeText("DAMAGED BEYOND REPAIR", AztecTest::SymbolKind::Compact, 2);
  for (int r = 0; r < symbol.size; ++r)
    for (int col = 0; col < 6; ++col) symbol.modules[r][col] = !symbol.modules[r][col];
  SymbolCandidate real = compactCandidate(2);
  real.dataCodewords = symbol.dataCodewords;
  const SampledGrid damaged = AztecTest::toSampledGrid(symbol.modules);
  EXPECT_FALSE(decodeSymbolData(real, &damaged).has_value());
}

// --- End to end from the encoder's module matrix -------------------------------------------

// The bit stream the data codewords carry once stuffed bits are dropped: the message's UPPER
// codes, the encoder's pad of ones, then one zero per stuffed codeword.
std::vector<bool> expectedDataStream(const std::string& text, int codewordSize, int dataCodewords) {
  std::vector<bool> message;
  for (char ch : text) {
    const int code = ch == ' ' ? 1 : ch - 'A' + 2;
    for (int i = 4; i >= 0; --i) message.push_back(((code >> i) & 1) != 0);
  }
  std::vector<bool> stream;
  int stuffed = 0;
  std::size_t pos = 0;
  for (int w = 0; w < dataCodewords; ++w) {
    std::vector<bool> word;
    for (int i = 0; i < codewordSize - 1; ++i) word.push_back(pos + i < message.size() ? message[pos + i] : true);
    bool same = true;
    for (bool b : word) same = same && b == word[0];
    if (same) {
      ++stuffed;
      pos += codewordSize - 1;
    } else {
      word.push_back(pos + codewordSize - 1 < message.size() ? message[pos + codewordSize - 1] : true);
      pos += codewordSize;
    }
    stream.insert(stream.end(), word.begin(), word.end());
  }
  EXPECT_GE(pos, message.size()) << "the encoder needed more codewords";
  stream.insert(stream.end(), stuffed, false);
  return stream;
}

// What the tail after the message decodes to in UPPER: a run of p pad ones then zeros.
std::string expectedTail(const std::vector<bool>& tail) {
  std::size_t ones = 0;
  while (ones < tail.size() && tail[ones]) ++ones;
  for (std::size_t i = ones; i < tail.size(); ++i) EXPECT_FALSE(tail[i]) << "tail is not ones then zeros";
  EXPECT_LT(ones, 5u) << "pad of five or more ones is a B/S; choose another message";
  if (ones == 0 || tail.size() < 5) return "";
  if (ones == 1) return "O";  // 10000
  if (ones == 2) return "W";  // 11000
  return "";                  // 11100 L/L, 11110 D/L, then only shifts and FLG(n)
}

struct EndToEnd {
  std::string text;
  AztecTest::SymbolKind kind;
  int layers;
};

void PrintTo(const EndToEnd& e, std::ostream* os) {
  *os << (e.kind == AztecTest::SymbolKind::Compact ? "compact " : "full-range ") << e.layers << " layers \"" << e.text << '"';
}

class DecodeSymbolDataEndToEnd : public ::testing::TestWithParam<EndToEnd> {};

TEST_P(DecodeSymbolDataEndToEnd, EveryRotationAndMirrorGivesTheMessage) {
  const EndToEnd& p = GetParam();
  const auto symbol = AztecTest::encodeText(p.text, p.kind, p.layers);
  ASSERT_EQ(symbol.layers, p.layers);
  const bool compact = symbol.compact;

  const std::vector<bool> stream = expectedDataStream(p.text, symbol.codewordSize, symbol.dataCodewords);
  const std::string expected =
      p.text + expectedTail(std::vector<bool>(stream.begin() + 5 * p.text.size(), stream.end()));

  SymbolCandidate upright;
  upright.symbolType = compact ? 1 : 2;
  ASSERT_TRUE(decodeModeMessage(upright, AztecTest::ringOf(symbol.modules, compact)));
  const BitRing uprightRaw = extractDataBits(upright, AztecTest::toSampledGrid(symbol.modules));

  for (int rotation = 0; rotation < 4; ++rotation) {
    for (bool mirrored : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "rotation " << rotation << " mirrored " << mirrored);
      const AztecTest::Matrix seen = AztecTest::seenAs(symbol.modules, rotation, mirrored);
      SymbolCandidate c;
      c.symbolType = compact ? 1 : 2;
      ASSERT_TRUE(decodeModeMessage(c, AztecTest::ringOf(seen, compact)));
      const SampledGrid grid = AztecTest::toSampledGrid(seen);

      // Turned symbols differ from the upright read only in the leading-bit positions, which
      // then hold the walk's first bits instead of its wrapped last bits: the last codeword
      // needs one correction when those bits differ.
      const BitRing raw = extractDataBits(c, grid);
      ASSERT_EQ(raw.size(), uprightRaw.size());
      bool leadingDiffers = false;
      for (std::size_t i = 0; i < raw.size(); ++i) {
        if (static_cast<int>(i) < c.leadingBits) {
          leadingDiffers = leadingDiffers || raw.get(i) != uprightRaw.get(i);
        } else {
          ASSERT_EQ(raw.get(i), uprightRaw.get(i)) << "bit " << i;
        }
      }
      if (rotation == 0) {
        EXPECT_FALSE(leadingDiffers);
      }

      lastErrorCount = -1;
      const auto bytes = decodeSymbolData(c, &grid);
      ASSERT_TRUE(bytes.has_value());
      EXPECT_EQ(std::string(bytes->begin(), bytes->end()), expected);
      EXPECT_EQ(lastErrorCount, leadingDiffers ? 1 : 0);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Symbols, DecodeSymbolDataEndToEnd,
    // Pads: 4 ones (D/L), 2 ones + 3 stuffed zeros (a spurious "W"), 1 one, 2 ones, 3 ones
    // (L/L), 3 ones (L/L), 1 one, none, 4 ones.
    ::testing::Values(EndToEnd{"HELLO WORLD", AztecTest::SymbolKind::Compact, 1},
                      EndToEnd{"MODULE ZERO AZTEC", AztecTest::SymbolKind::Compact, 2},
                      EndToEnd{"THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG", AztecTest::SymbolKind::Compact, 3},
                      EndToEnd{"PACK MY BOX WITH FIVE DOZEN LIQUOR JUG", AztecTest::SymbolKind::Compact, 4},
                      EndToEnd{"FULL RANGE", AztecTest::SymbolKind::FullRange, 1},
                      EndToEnd{"AZTEC CODE READER", AztecTest::SymbolKind::FullRange, 2},
                      EndToEnd{"FIVE LAYERS OF DATA", AztecTest::SymbolKind::FullRange, 5},
                      EndToEnd{"NINE LAYERS LEAD FOUR BITS", AztecTest::SymbolKind::FullRange, 9},
                      EndToEnd{"THIRTY TWO LAYER", AztecTest::SymbolKind::FullRange, 32}));

TEST(ReadData, SamplesAndDecodesADetectedSymbol) {
  const auto symbol = AztecTest::encodeText("HELLO WORLD", AztecTest::SymbolKind::Compact, 1);
  AztecTest::RenderOptions options;
  options.rotation = 1;
  Detector detector;
  detector.setImage(AztecTest::renderSymbol(symbol, options));
  SymbolCandidate c = detector.createCandidates().front();
  ASSERT_TRUE(detector.detect(c));
  const auto bytes = detector.readData(c);
  ASSERT_TRUE(bytes.has_value());
  EXPECT_EQ(std::string(bytes->begin(), bytes->end()), "HELLO WORLD");
  // More data codewords than the layers hold: sampled, then nothing.
  c.dataCodewords = c.totalCodewords + 1;
  EXPECT_FALSE(detector.readData(c).has_value());
}

}  // namespace
}  // namespace Aztec

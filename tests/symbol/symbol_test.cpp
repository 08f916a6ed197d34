// The symbol's stages on synthetic rings, grids, codewords and bit streams, and a damaged
// encoder symbol: the mode message, the data layers, codeword correction and unstuffing, and the
// high-level decoding of every mode table. Every orientation of real symbols is pinned by the
// exact decoder's frames.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>

#include "reedsolomon/exceptions.h"
#include "symbol/codeword_correction.h"
#include "symbol/data_layers.h"
#include "symbol/high_level_decoder.h"
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

SymbolCandidate counts(int dataCodewords, int totalCodewords, int codewordSize, int leadingBits = 0) {
  SymbolCandidate c;
  c.dataCodewords = dataCodewords, c.totalCodewords = totalCodewords;
  c.codewordSize = codewordSize, c.leadingBits = leadingBits;
  return c;
}

// Codewords packed most significant bit first. The correction count, the leading bits and the
// wrap are pinned by whole symbols (symbol rotations and the decoder's damaged frames).
BitRing pack(const std::vector<int>& words, int width) {
  BitRing r(words.size() * width);
  for (std::size_t i = 0; i < words.size(); ++i)
    for (int b = 0; b < width; ++b)
      r.set(static_cast<long long>(i) * width + b, ((words[i] >> (width - 1 - b)) & 1) != 0);
  return r;
}

// The output bits as text; "none" when nothing came back. Expected bits are written a codeword
// at a time.
std::string correct(const BitRing& raw, const SymbolCandidate& c) {
  const auto out = correctDataBits(raw, c);
  if (!out) return "none";
  std::string s;
  for (bool b : out->bits()) s += b ? '1' : '0';
  return s;
}
const auto bits = [](std::string spaced) { return std::erase(spaced, ' '), spaced; };

TEST(CorrectDataBits, StuffedBitsAreDroppedAndTheTailStaysFalse) {
  // 000001 -> 00000, 111110 -> 11111; 011111 and 100000 keep all six bits.
  const auto raw = pack(AztecTest::rsEncode({0b000001, 0b011111, 0b111110, 0b100000, 0b101010}, 6, 6), 6);
  lastErrorCount = -1;
  EXPECT_EQ(correct(raw, counts(5, 11, 6)), bits("00000 011111 11111 100000 101010 00"));
  EXPECT_EQ(lastErrorCount, 0);
}

TEST(CorrectDataBits, AllZerosOrAllOnesOnlyIllegalAmongTheData) {
  for (int bad : {0, 63}) {
    try {
      correctDataBits(pack(AztecTest::rsEncode({0b010101, bad, 0b110011}, 5, 6), 6), counts(3, 8, 6));
      ADD_FAILURE() << "expected IllegalSymbolException for " << bad;
    } catch (const ReedSolomon::IllegalSymbolException& e) {
      EXPECT_STREQ(e.what(), "Illegal series of bits");
    }
  }
  // A valid GF(64) word whose check codeword 4 is 000000: accepted (data 000001 is stuffed).
  EXPECT_EQ(correct(pack({1, 4, 61, 31, 0, 61}, 6), counts(2, 6, 6)), bits("00000 000100 0"));
}

TEST(CorrectDataBits, ImpossibleCountsGiveNoDataAndNoCheckWordsCountEveryCodeword) {
  const auto raw = pack(AztecTest::rsEncode({5, 9, 17}, 14, 6), 6);  // 17 codewords
  lastErrorCount = 55;
  EXPECT_EQ(correct(raw, counts(20, 17, 6)), "none");
  EXPECT_EQ(correct(raw, counts(0, 17, 6)), "none");
  EXPECT_EQ(correct(raw, counts(3, 17, 0)), "none");
  EXPECT_EQ(lastErrorCount, 55);
  EXPECT_EQ(correct(pack({0b100001, 0b011110, 0b000111}, 6), counts(3, 3, 6)), bits("100001 011110 000111"));
  EXPECT_EQ(lastErrorCount, 3);
  // Any other codeword size uses the widest field.
  EXPECT_EQ(correct(pack({0b1001, 0b0110}, 4), counts(2, 2, 4)), bits("1001 0110"));
}

using Codes = std::vector<std::pair<int, int>>;

// The bit stream of (code, width) pairs, most significant bit first.
BitRing stream(const Codes& codes) {
  BitRing r;
  for (auto [value, width] : codes)
    for (int i = width - 1; i >= 0; --i) r.bits().push_back(((value >> i) & 1) != 0);
  return r;
}

// The prefix followed by the codes from..to, each of the given width.
Codes run(Codes codes, int from, int to, int width) {
  for (int c = from; c <= to; ++c) codes.push_back({c, width});
  return codes;
}

std::string decode(const Codes& codes) {
  const BitRing r = stream(codes);
  const std::vector<std::uint8_t> bytes = decodeHighLevel(&r);
  return std::string(bytes.begin(), bytes.end());
}

// Codes of the mode tables used below, with their widths.
constexpr std::pair<int, int> PS{0, 5}, LL{28, 5}, ML{29, 5}, DL{30, 5}, BS{31, 5};  // UPPER
constexpr std::pair<int, int> US{28, 5};                                             // LOWER
constexpr std::pair<int, int> UL{29, 5}, PL{30, 5};                                  // MIXED
constexpr std::pair<int, int> DigitPS{0, 4}, DigitUL{14, 4}, DigitUS{15, 4};
constexpr auto c5 = [](int code) { return std::pair{code, 5}; };
constexpr auto c4 = [](int code) { return std::pair{code, 4}; };

TEST(HighLevelDecoder, EveryModeTableInOrder) {
  EXPECT_EQ(decode(run({}, 1, 27, 5)), " ABCDEFGHIJKLMNOPQRSTUVWXYZ");
  EXPECT_EQ(decode(run({LL}, 1, 27, 5)), " abcdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(
      decode(run({ML}, 1, 27, 5)),
      std::string(" \x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x1b\x1c\x1d\x1e\x1f@\\^_`|~\x7f"));
  EXPECT_EQ(decode(run({ML, PL}, 6, 30, 5)), "!\"#$%&'()*+,-./:;<=>?[]{}");
  EXPECT_EQ(decode(run({DL}, 1, 13, 4)), " 0123456789,.");
}

TEST(HighLevelDecoder, LatchesShiftsFlagsAndBinaryShift) {
  const std::string b31 = "0123456789abcdefghijklmnopqrstu";  // 31 bytes after a zero count
  Codes long31 = {BS, c5(0), {0, 11}};
  for (char ch : b31) long31.push_back({ch, 8});
  long31.push_back(c5(4));  // then UPPER 'C'

  const std::pair<Codes, std::string> cases[] = {
      {{}, ""},
      {{c4(15)}, ""},  // shorter than one code
      // Trailing zeros: P/S in UPPER, LOWER and MIXED, FLG(n) in PUNCT, P/S in DIGIT.
      {{c5(2), {0, 13}}, "A"},
      {{LL, c5(2), {0, 17}}, "a"},
      {{ML, c5(20), {0, 17}}, "@"},
      {{ML, PL, c5(6), {0, 17}}, "!"},
      {{DL, c4(2), {0, 16}}, "0"},
      // Latches.
      {{c5(2), c5(3), LL, c5(2)}, "ABa"},
      {{ML, UL, c5(2)}, "A"},
      {{ML, PL, c5(31), c5(3)}, "B"},
      {{DL, c4(5), DigitUL, c5(4), LL, c5(4)}, "3Cc"},
      {{LL, ML, LL, c5(3), DL, c4(11)}, "b9"},
      // Shifts last exactly one code; from DIGIT the shifted code is 5 bits, the next 4 again.
      {{LL, US, c5(2), c5(2)}, "Aa"},
      {{PS, c5(20), c5(2)}, "/A"},
      {{DL, c4(2), c4(13), c4(3)}, "0.1"},
      {{DL, DigitPS, c5(20), c4(3), c4(4)}, "/12"},
      {{DL, DigitUS, c5(27), c4(11)}, "Z9"},
      // PUNCT single and two-byte codes; FLG(n) appends nothing, its argument is read as codes.
      {{ML, PL, c5(1), c5(2), c5(3), c5(4), c5(5)}, "\r\r\n. , : "},
      {{PS, c5(2), c5(2)}, "\r\nA"},
      {{ML, PL, c5(0), c5(6)}, "!"},
      {{PS, c5(0), c5(3)}, "B"},
      // Binary shift: 5-bit count, then back to the latched mode, also when reached by a shift.
      {{c5(2), BS, c5(3), {0xFF, 8}, {0x80, 8}, {0x00, 8}, c5(3)}, std::string("A\xFF\x80\0B", 5)},
      {long31, b31 + "C"},
      {{LL, US, BS, c5(1), {'x', 8}, c5(2)}, "xa"},
      {{ML, BS, c5(1), {'y', 8}, c5(20)}, "y@"},
      {{DL, DigitUS, BS, c5(1), {'z', 8}, c4(3)}, "z1"},
      // A count beyond the end keeps the whole bytes read; count bits past the end wrap.
      {{c5(2), BS, c5(5), {'p', 8}, {'q', 8}, {0b101, 3}}, "Apq"},
      {{c5(2), BS, {0b001, 3}}, "A"},
  };
  for (const auto& [codes, expected] : cases) {
    SCOPED_TRACE(::testing::PrintToString(expected));
    EXPECT_EQ(decode(codes), expected);
  }
  EXPECT_TRUE(decodeHighLevel(nullptr).empty());
}

TEST(HighLevelDecoder, WorkingBufferHoldsTwoBytesPerSixBits) {
  // 60 bits: M/L, P/L and ten two-byte codes fill the 20-byte buffer exactly.
  Codes codes = {ML, PL};
  codes.insert(codes.end(), 10, c5(3));
  EXPECT_EQ(decode(codes), ". . . . . . . . . . ");
  // 70 bits: twelve two-byte codes need 24 bytes, the buffer holds 22.
  codes.insert(codes.end(), 2, c5(3));
  EXPECT_THROW(decode(codes), std::out_of_range);
}

}  // namespace
}  // namespace Aztec

#include "symbol/high_level_decoder.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>

namespace Aztec {
namespace {

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
  for (const auto& [bits, expected] : cases) {
    SCOPED_TRACE(::testing::PrintToString(expected));
    EXPECT_EQ(decode(bits), expected);
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

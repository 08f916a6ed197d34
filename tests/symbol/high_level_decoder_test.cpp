#include "symbol/high_level_decoder.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace Aztec {
namespace {

// Builds a bit stream from codes, most significant bit first.
class Stream {
 public:
  Stream& add(int value, int width) {
    for (int i = width - 1; i >= 0; --i) bits_.push_back(((value >> i) & 1) != 0);
    return *this;
  }
  Stream& zeros(int count) { return add(0, count); }
  BitRing ring() const {
    BitRing r(bits_.size());
    r.bits() = bits_;
    return r;
  }
  std::size_t size() const { return bits_.size(); }

 private:
  std::vector<bool> bits_;
};

std::string decode(const Stream& s) {
  const BitRing r = s.ring();
  const std::vector<std::uint8_t> bytes = decodeHighLevel(&r);
  return std::string(bytes.begin(), bytes.end());
}

// Mode codes used below.
constexpr int kPS = 0, kLL = 28, kML = 29, kDL = 30, kBS = 31;  // UPPER
constexpr int kUS = 28;                                          // LOWER
constexpr int kUL = 29, kPL = 30;                                // MIXED
constexpr int kPunctUL = 31;
constexpr int kDigitUL = 14, kDigitUS = 15;

TEST(HighLevelDecoder, EmptyMissingOrShortStreamGivesNothing) {
  EXPECT_TRUE(decodeHighLevel(nullptr).empty());
  BitRing empty;
  EXPECT_TRUE(decodeHighLevel(&empty).empty());
  EXPECT_EQ(decode(Stream().add(0b1111, 4)), "");
}

TEST(HighLevelDecoder, EveryModeTableInOrder) {
  Stream upper;
  for (int c = 1; c <= 27; ++c) upper.add(c, 5);
  EXPECT_EQ(decode(upper), " ABCDEFGHIJKLMNOPQRSTUVWXYZ");

  Stream lower;
  lower.add(kLL, 5);
  for (int c = 1; c <= 27; ++c) lower.add(c, 5);
  EXPECT_EQ(decode(lower), " abcdefghijklmnopqrstuvwxyz");

  Stream mixed;
  mixed.add(kML, 5);
  for (int c = 1; c <= 27; ++c) mixed.add(c, 5);
  const std::string mixedChars =
      std::string(" ") + "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d" + "\x1b\x1c\x1d\x1e\x1f" + "@\\^_`|~\x7f";
  EXPECT_EQ(decode(mixed), mixedChars);

  Stream punct;
  punct.add(kML, 5).add(kPL, 5);
  for (int c = 6; c <= 30; ++c) punct.add(c, 5);
  EXPECT_EQ(decode(punct), "!\"#$%&'()*+,-./:;<=>?[]{}");

  Stream digit;
  digit.add(kDL, 5);
  for (int c = 1; c <= 13; ++c) digit.add(c, 4);
  EXPECT_EQ(decode(digit), " 0123456789,.");
}

TEST(HighLevelDecoder, TrailingZeroBitsDecodeToNothing) {
  // 00000 is P/S in UPPER, LOWER and MIXED and FLG(n) in PUNCT; 0000 is P/S in DIGIT.
  EXPECT_EQ(decode(Stream().add(2, 5).zeros(13)), "A");
  EXPECT_EQ(decode(Stream().add(kLL, 5).add(2, 5).zeros(17)), "a");
  EXPECT_EQ(decode(Stream().add(kML, 5).add(20, 5).zeros(17)), "@");
  EXPECT_EQ(decode(Stream().add(kML, 5).add(kPL, 5).add(6, 5).zeros(17)), "!");
  EXPECT_EQ(decode(Stream().add(kDL, 5).add(2, 4).zeros(16)), "0");
}

TEST(HighLevelDecoder, LatchesBetweenModes) {
  EXPECT_EQ(decode(Stream().add(2, 5).add(3, 5).add(kLL, 5).add(2, 5)), "ABa");
  // MIXED U/L back to UPPER, PUNCT U/L back to UPPER, DIGIT U/L back to 5-bit UPPER.
  EXPECT_EQ(decode(Stream().add(kML, 5).add(kUL, 5).add(2, 5)), "A");
  EXPECT_EQ(decode(Stream().add(kML, 5).add(kPL, 5).add(kPunctUL, 5).add(3, 5)), "B");
  EXPECT_EQ(decode(Stream().add(kDL, 5).add(5, 4).add(kDigitUL, 4).add(4, 5).add(kLL, 5).add(4, 5)), "3Cc");
  // LOWER to MIXED to LOWER, LOWER to DIGIT.
  EXPECT_EQ(decode(Stream().add(kLL, 5).add(kML, 5).add(kLL, 5).add(3, 5).add(kDL, 5).add(11, 4)), "b9");
}

TEST(HighLevelDecoder, ShiftsLastExactlyOneCode) {
  // LOWER U/S: one UPPER code, then LOWER again.
  EXPECT_EQ(decode(Stream().add(kLL, 5).add(kUS, 5).add(2, 5).add(2, 5)), "Aa");
  // UPPER P/S: one PUNCT code, then UPPER again.
  EXPECT_EQ(decode(Stream().add(kPS, 5).add(20, 5).add(2, 5)), "/A");
  // DIGIT: D/L, 2, 13, 3 gives "0.1".
  EXPECT_EQ(decode(Stream().add(kDL, 5).add(2, 4).add(13, 4).add(3, 4)), "0.1");
  // From DIGIT a shifted code is 5 bits wide and the one after it 4 bits again.
  EXPECT_EQ(decode(Stream().add(kDL, 5).add(kPS, 4).add(20, 5).add(3, 4).add(4, 4)), "/12");
  EXPECT_EQ(decode(Stream().add(kDL, 5).add(kDigitUS, 4).add(27, 5).add(11, 4)), "Z9");
}

TEST(HighLevelDecoder, PunctSingleAndTwoByteCodes) {
  Stream s;
  s.add(kML, 5).add(kPL, 5).add(1, 5).add(2, 5).add(3, 5).add(4, 5).add(5, 5);
  EXPECT_EQ(decode(s), "\r\r\n. , : ");
  // The same two-byte codes through a one-code shift from UPPER.
  EXPECT_EQ(decode(Stream().add(kPS, 5).add(2, 5).add(2, 5)), "\r\nA");
}

TEST(HighLevelDecoder, FlgDoesNothingAndItsArgumentIsDecodedAsCodes) {
  // Latched PUNCT: FLG(n), then "!" read as an ordinary PUNCT code.
  EXPECT_EQ(decode(Stream().add(kML, 5).add(kPL, 5).add(0, 5).add(6, 5)), "!");
  // Through P/S from UPPER: P/S FLG(n), then UPPER "B".
  EXPECT_EQ(decode(Stream().add(kPS, 5).add(0, 5).add(3, 5)), "B");
}

TEST(HighLevelDecoder, BinaryShiftShortCount) {
  Stream s;
  s.add(2, 5).add(kBS, 5).add(3, 5).add(0xFF, 8).add(0x80, 8).add(0x00, 8).add(3, 5);
  const BitRing r = s.ring();
  EXPECT_EQ(decodeHighLevel(&r), (std::vector<std::uint8_t>{65, 0xFF, 0x80, 0x00, 66}));
}

TEST(HighLevelDecoder, BinaryShiftElevenBitCount) {
  // Count 0 then 11-bit 0: 31 bytes.
  Stream s;
  s.add(kBS, 5).add(0, 5).add(0, 11);
  std::vector<std::uint8_t> expected;
  for (int i = 0; i < 31; ++i) {
    s.add(200 + i, 8);
    expected.push_back(static_cast<std::uint8_t>(200 + i));
  }
  s.add(4, 5);
  expected.push_back('C');
  const BitRing r = s.ring();
  EXPECT_EQ(decodeHighLevel(&r), expected);

  // 11-bit 5: 36 bytes.
  Stream t;
  t.add(kBS, 5).add(0, 5).add(5, 11);
  for (int i = 0; i < 36; ++i) t.add(i + 1, 8);
  t.add(2, 5);
  const BitRing r2 = t.ring();
  const std::vector<std::uint8_t> out = decodeHighLevel(&r2);
  ASSERT_EQ(out.size(), 37u);
  EXPECT_EQ(out[35], 36);
  EXPECT_EQ(out[36], 'A');
}

TEST(HighLevelDecoder, BinaryShiftReturnsToLatchedModeEvenAfterAShift) {
  // LOWER, U/S, B/S (UPPER code 31) with one byte: decoding resumes in LOWER.
  Stream s;
  s.add(kLL, 5).add(kUS, 5).add(kBS, 5).add(1, 5).add('x', 8).add(2, 5);
  EXPECT_EQ(decode(s), "xa");
  // From latched MIXED the following code is MIXED.
  EXPECT_EQ(decode(Stream().add(kML, 5).add(kBS, 5).add(1, 5).add('y', 8).add(20, 5)), "y@");
  // From latched DIGIT through U/S: the code after the bytes is 4 bits wide again.
  EXPECT_EQ(decode(Stream().add(kDL, 5).add(kDigitUS, 4).add(kBS, 5).add(1, 5).add('z', 8).add(3, 4)), "z1");
}

TEST(HighLevelDecoder, BinaryShiftCountBeyondTheEnd) {
  // Count 5, only two whole bytes and 3 bits left: the two bytes stay.
  Stream s;
  s.add(2, 5).add(kBS, 5).add(5, 5).add('p', 8).add('q', 8).add(0b101, 3);
  EXPECT_EQ(decode(s), "Apq");
  // The count itself runs past the end: it wraps to the start and no byte follows.
  EXPECT_EQ(decode(Stream().add(2, 5).add(kBS, 5).add(0b001, 3)), "A");
  // Count bits wrap onto 00 at the start: count 0, so the 11-bit number wraps as well.
  EXPECT_EQ(decode(Stream().add(1, 5).add(kBS, 5).add(0, 3)), " ");
}

TEST(HighLevelDecoder, WorkingBufferHoldsTwoBytesPerSixBits) {
  // 60 bits: M/L, P/L and ten two-byte codes fill the 20-byte buffer exactly.
  Stream s;
  s.add(kML, 5).add(kPL, 5);
  for (int i = 0; i < 10; ++i) s.add(3, 5);
  ASSERT_EQ(s.size(), 60u);
  std::string expected;
  for (int i = 0; i < 10; ++i) expected += ". ";
  EXPECT_EQ(decode(s), expected);

  // 70 bits: twelve two-byte codes need 24 bytes, the buffer holds 22.
  Stream t;
  t.add(kML, 5).add(kPL, 5);
  for (int i = 0; i < 12; ++i) t.add(3, 5);
  ASSERT_EQ(t.size(), 70u);
  const BitRing r = t.ring();
  try {
    decodeHighLevel(&r);
    FAIL() << "expected std::out_of_range";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "invalid vector<T> subscript");
  }
}

}  // namespace
}  // namespace Aztec

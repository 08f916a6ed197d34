#include "symbol/codeword_correction.h"

#include <gtest/gtest.h>

#include <string>

#include "reedsolomon/exceptions.h"
#include "support/rs_encoder.h"

namespace Aztec {
namespace {

SymbolCandidate candidate(int dataCodewords, int totalCodewords, int codewordSize, int leadingBits = 0) {
  SymbolCandidate c;
  c.dataCodewords = dataCodewords;
  c.totalCodewords = totalCodewords;
  c.codewordSize = codewordSize;
  c.leadingBits = leadingBits;
  return c;
}

// Codewords packed most significant bit first, the first one at bit `start`, wrapping.
BitRing pack(const std::vector<int>& words, int width, int start = 0) {
  BitRing r(words.size() * width);
  for (std::size_t i = 0; i < words.size(); ++i)
    for (int b = 0; b < width; ++b) r.set(start + static_cast<long long>(i) * width + b, ((words[i] >> (width - 1 - b)) & 1) != 0);
  return r;
}

std::string bitsOf(const BitRing& r) {
  std::string s;
  for (bool b : r.bits()) s += b ? '1' : '0';
  return s;
}

TEST(CorrectDataBits, StuffedBitsAreDroppedAndTheTailStaysFalse) {
  // 000001 -> 00000, 111110 -> 11111; 011111 and 100000 keep all six bits.
  const std::vector<int> data = {0b000001, 0b011111, 0b111110, 0b100000, 0b101010};
  const auto raw = pack(AztecTest::rsEncode(data, 6, 6), 6);
  lastErrorCount = -1;
  const auto out = correctDataBits(raw, candidate(5, 11, 6));
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(bitsOf(*out), "00000" "011111" "11111" "100000" "101010" "00");
  EXPECT_EQ(lastErrorCount, 0);
}

TEST(CorrectDataBits, AllZerosOrAllOnesDataCodewordIsIllegal) {
  for (int bad : {0, 63}) {
    const auto raw = pack(AztecTest::rsEncode({0b010101, bad, 0b110011}, 5, 6), 6);
    try {
      correctDataBits(raw, candidate(3, 8, 6));
      FAIL() << "expected IllegalSymbolException for " << bad;
    } catch (const ReedSolomon::IllegalSymbolException& e) {
      EXPECT_STREQ(e.what(), "Illegal series of bits");
    }
  }
}

TEST(CorrectDataBits, AllZerosOrAllOnesCheckCodewordIsAccepted) {
  // Look for data whose check words include 000000 or 111111.
  const AztecTest::RsEncoder gf64(AztecTest::kRsGF64);
  std::vector<int> word;
  for (int a = 1; a < 63 && word.empty(); ++a) {
    for (int b = 1; b < 63 && word.empty(); ++b) {
      std::vector<int> w = gf64.encode({a, b}, 4);
      for (int i = 2; i < 6; ++i)
        if (w[i] == 0 || w[i] == 63) word = w;
    }
  }
  ASSERT_FALSE(word.empty());
  const auto out = correctDataBits(pack(word, 6), candidate(2, 6, 6));
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(out->size(), 12u);
}

TEST(CorrectDataBits, CorrectsErrorsAndCountsThem) {
  const std::vector<int> data = {0b100001, 0b010010, 0b001100, 0b110101};
  std::vector<int> word = AztecTest::rsEncode(data, 6, 6);
  word[1] ^= 0b111000;
  word[3] ^= 0b000001;
  word[8] ^= 0b101010;
  lastErrorCount = -1;
  const auto out = correctDataBits(pack(word, 6), candidate(4, 10, 6));
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(bitsOf(*out), "100001" "010010" "001100" "110101");
  EXPECT_EQ(lastErrorCount, 3);
}

TEST(CorrectDataBits, UncorrectableBlockThrowsAndKeepsTheCount) {
  const std::vector<int> data = {0b100001, 0b010010, 0b001100, 0b110101};
  std::vector<int> word = AztecTest::rsEncode(data, 4, 6);
  for (int i = 0; i < 5; ++i) word[i] ^= 0b010110 + i;
  lastErrorCount = 77;
  EXPECT_THROW(correctDataBits(pack(word, 6), candidate(4, 8, 6)), ReedSolomon::ReedSolomonException);
  EXPECT_EQ(lastErrorCount, 77);
}

TEST(CorrectDataBits, FieldFollowsTheCodewordSize) {
  // One error in a block of each size: only the matching field locates and fixes it.
  for (int size : {8, 10, 12}) {
    SCOPED_TRACE(size);
    const int top = (1 << size) - 2;
    const std::vector<int> data = {top, 1 << (size - 1) | 1, 0b1011};
    std::vector<int> word = AztecTest::rsEncode(data, 4, size);
    word[2] ^= 1 << (size - 2);
    lastErrorCount = -1;
    const auto out = correctDataBits(pack(word, size), candidate(3, 7, size));
    ASSERT_TRUE(out.has_value());
    ASSERT_EQ(out->size(), static_cast<std::size_t>(3 * size));
    EXPECT_EQ(lastErrorCount, 1);
    // Codeword 0 is 11..10: stuffed. The others follow it, one position earlier.
    std::string expected(size - 1, '1');
    for (int i = size - 1; i >= 0; --i) expected += ((data[1] >> i) & 1) ? '1' : '0';
    for (int i = size - 1; i >= 0; --i) expected += ((data[2] >> i) & 1) ? '1' : '0';
    expected += '0';
    EXPECT_EQ(bitsOf(*out), expected);
  }
}

TEST(CorrectDataBits, LeadingBitsShiftTheStartAndWrap) {
  // Compact 1 layer: 17 six-bit codewords after 2 leading bits; the last codeword wraps
  // onto positions 0 and 1.
  std::vector<int> data;
  for (int i = 0; i < 10; ++i) data.push_back(0b100101 ^ i);
  const std::vector<int> word = AztecTest::rsEncode(data, 7, 6);
  const BitRing raw = pack(word, 6, 2);
  ASSERT_EQ(raw.size(), 102u);
  lastErrorCount = -1;
  const auto out = correctDataBits(raw, candidate(10, 17, 6, 2));
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(lastErrorCount, 0);
  EXPECT_EQ(out->bits(), pack(data, 6).bits());  // no stuffed bits among these
}

TEST(CorrectDataBits, NoDataForImpossibleCounts) {
  const auto raw = pack(AztecTest::rsEncode({5, 9, 17}, 14, 6), 6);  // 17 codewords
  lastErrorCount = 55;
  EXPECT_FALSE(correctDataBits(raw, candidate(20, 17, 6)).has_value());
  EXPECT_FALSE(correctDataBits(raw, candidate(0, 17, 6)).has_value());
  EXPECT_FALSE(correctDataBits(raw, candidate(3, 17, 0)).has_value());
  EXPECT_EQ(lastErrorCount, 55);
}

TEST(CorrectDataBits, NoCheckCodewordsCountsEveryCodeword) {
  const std::vector<int> data = {0b100001, 0b011110, 0b000111};
  lastErrorCount = -1;
  const auto out = correctDataBits(pack(data, 6), candidate(3, 3, 6));
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(lastErrorCount, 3);
  EXPECT_EQ(bitsOf(*out), "100001" "011110" "000111");
  // Any other codeword size uses the widest field; without check words nothing is examined.
  const auto odd = correctDataBits(pack({0b1001, 0b0110}, 4), candidate(2, 2, 4));
  ASSERT_TRUE(odd.has_value());
  EXPECT_EQ(bitsOf(*odd), "1001" "0110");
}

}  // namespace
}  // namespace Aztec

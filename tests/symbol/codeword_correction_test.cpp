#include "symbol/codeword_correction.h"

#include <gtest/gtest.h>

#include <string>

#include "reedsolomon/exceptions.h"
#include "synth/rs_encoder.h"

namespace Aztec {
namespace {

SymbolCandidate candidate(int dataCodewords, int totalCodewords, int codewordSize, int leadingBits = 0) {
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
  EXPECT_EQ(correct(raw, candidate(5, 11, 6)), bits("00000 011111 11111 100000 101010 00"));
  EXPECT_EQ(lastErrorCount, 0);
}

TEST(CorrectDataBits, AllZerosOrAllOnesOnlyIllegalAmongTheData) {
  for (int bad : {0, 63}) {
    try {
      correctDataBits(pack(AztecTest::rsEncode({0b010101, bad, 0b110011}, 5, 6), 6), candidate(3, 8, 6));
      ADD_FAILURE() << "expected IllegalSymbolException for " << bad;
    } catch (const ReedSolomon::IllegalSymbolException& e) {
      EXPECT_STREQ(e.what(), "Illegal series of bits");
    }
  }
  // A valid GF(64) word whose check codeword 4 is 000000: accepted (data 000001 is stuffed).
  EXPECT_EQ(correct(pack({1, 4, 61, 31, 0, 61}, 6), candidate(2, 6, 6)), bits("00000 000100 0"));
}

TEST(CorrectDataBits, ImpossibleCountsGiveNoDataAndNoCheckWordsCountEveryCodeword) {
  const auto raw = pack(AztecTest::rsEncode({5, 9, 17}, 14, 6), 6);  // 17 codewords
  lastErrorCount = 55;
  EXPECT_EQ(correct(raw, candidate(20, 17, 6)), "none");
  EXPECT_EQ(correct(raw, candidate(0, 17, 6)), "none");
  EXPECT_EQ(correct(raw, candidate(3, 17, 0)), "none");
  EXPECT_EQ(lastErrorCount, 55);
  EXPECT_EQ(correct(pack({0b100001, 0b011110, 0b000111}, 6), candidate(3, 3, 6)),
            bits("100001 011110 000111"));
  EXPECT_EQ(lastErrorCount, 3);
  // Any other codeword size uses the widest field.
  EXPECT_EQ(correct(pack({0b1001, 0b0110}, 4), candidate(2, 2, 4)), bits("1001 0110"));
}

}  // namespace
}  // namespace Aztec

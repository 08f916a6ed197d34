#include "reedsolomon/reed_solomon_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "synth/rs_encoder.h"

namespace {

namespace RS = Aztec::ReedSolomon;
using RS::ReedSolomonDecoder;

struct FieldCase {
  const RS::GenericGF* field;
  AztecTest::RsField params;
  int maxLength;  // longest block the Aztec symbology uses with this field
};

const FieldCase kFields[] = {{&RS::GF16, AztecTest::kRsGF16, 15},
                             {&RS::GF64, AztecTest::kRsGF64, 63},
                             {&RS::GF256, AztecTest::kRsGF256, 255},
                             {&RS::GF1024, AztecTest::kRsGF1024, 1023},
                             {&RS::GF4096, AztecTest::kRsGF4096, 1664}};

std::vector<int> randomData(std::mt19937& rng, int count, int size) {
  std::vector<int> data(static_cast<std::size_t>(count));
  for (int& v : data) v = std::uniform_int_distribution<int>(0, size - 1)(rng);
  return data;
}

// Corrupts `count` distinct positions with non-zero error values.
void corrupt(std::vector<int>& word, int count, int size, std::mt19937& rng) {
  std::set<int> hit;
  while (static_cast<int>(hit.size()) < count) {
    const int p = std::uniform_int_distribution<int>(0, static_cast<int>(word.size()) - 1)(rng);
    if (hit.insert(p).second) word[p] ^= std::uniform_int_distribution<int>(1, size - 1)(rng);
  }
}

// A failure must be one of the decoder's own, never something else escaping.
bool isKnownFailure(const std::exception& e) {
  return std::set<std::string>{
             "r_{i-1} was zero",           "sigmaTilde(0) was zero",
             "Bad error location",         "Error locator degree does not match number of roots",
             "Log praram is zero",         "Arithmetic Exception",
             "invalid vector<T> subscript"}
             .count(e.what()) == 1;
}

void expectKnownFailure(const ReedSolomonDecoder& decoder, std::vector<int>& received, int checkCount) {
  try {
    decoder.decode(received, checkCount);
  } catch (const std::exception& e) {
    EXPECT_TRUE(isKnownFailure(e)) << e.what();
  }
}

// Random blocks of every field up to the longest the symbology uses (the mode messages' GF(16)
// included), with 0 to checkCount / 2 corrupted words (check words included).
TEST(ReedSolomonDecoder, CorrectsUpToHalfTheCheckWords) {
  std::mt19937 rng(2024);
  for (const FieldCase& fc : kFields) {
    const AztecTest::RsEncoder enc(fc.params);
    const ReedSolomonDecoder decoder(fc.field);
    for (int trial = 0; trial < 12; ++trial) {
      const int length =
          trial == 0 ? fc.maxLength : std::uniform_int_distribution<int>(4, std::min(fc.maxLength, 200))(rng);
      const int checkCount = std::uniform_int_distribution<int>(1, length - 2)(rng);
      const std::vector<int> word =
          enc.encode(randomData(rng, length - checkCount, fc.params.size), checkCount);
      for (int errors : {0, 1, checkCount / 2, std::uniform_int_distribution<int>(0, checkCount / 2)(rng)}) {
        std::vector<int> received = word;
        corrupt(received, errors, fc.params.size, rng);
        SCOPED_TRACE(testing::Message() << "size " << fc.params.size << " length " << length << " check "
                                        << checkCount << " errors " << errors);
        if (checkCount == 1 && errors > 0) {
          expectKnownFailure(decoder, received, checkCount);  // one check word detects but cannot correct
          continue;
        }
        EXPECT_EQ(decoder.decode(received, checkCount), errors);
        EXPECT_EQ(received, word);
      }
    }
  }
}

// Beyond the capacity: one of the decoder's exceptions, or at most (checkCount + 1) / 2 reported
// changes (an odd checkCount lets the locator reach one degree past the capacity); with an even
// checkCount and checkCount / 2 corrections the result must be a codeword.
TEST(ReedSolomonDecoder, BeyondCapacityFailsCleanly) {
  std::mt19937 rng(99);
  for (const FieldCase& fc : kFields) {
    const AztecTest::RsEncoder enc(fc.params);
    const ReedSolomonDecoder decoder(fc.field);
    int raised = 0;
    for (int trial = 0; trial < 60; ++trial) {
      const int length = std::min(fc.maxLength, 12 + trial), checkCount = std::min(length - 1, 4 + trial % 5);
      std::vector<int> received =
          enc.encode(randomData(rng, length - checkCount, fc.params.size), checkCount);
      corrupt(received, std::min(length, checkCount / 2 + 1 + trial % 4), fc.params.size, rng);
      const std::vector<int> corrupted = received;
      SCOPED_TRACE(testing::Message()
                   << "size " << fc.params.size << " length " << length << " trial " << trial);
      try {
        const int corrected = decoder.decode(received, checkCount);
        int changed = 0;
        for (int i = 0; i < length; ++i) changed += received[i] != corrupted[i];
        EXPECT_LE(changed, corrected);
        EXPECT_GE(corrected, 1);
        EXPECT_LE(corrected, (checkCount + 1) / 2);
        if (checkCount % 2 == 0 && corrected == checkCount / 2) {
          EXPECT_TRUE(enc.isCodeword(received, checkCount)) << "corrected " << corrected;
        }
      } catch (const std::exception& e) {
        ++raised;
        EXPECT_TRUE(isKnownFailure(e)) << e.what();
      }
    }
    EXPECT_GT(raised, 0) << fc.params.size;
  }
}

TEST(ReedSolomonDecoder, BadLocationsAndArgumentsRaiseTheirExceptions) {
  // Syndromes a^6 and a^12 ("one error at x^6") in a GF(16) block of 4 words: reported, nothing
  // written.
  const ReedSolomonDecoder decoder(&RS::GF16);
  std::vector<int> received{0, 0, 9, 13}, empty, junk{15, 3, 99, -4}, word(20, 0);
  try {
    decoder.decode(received, 2);
    ADD_FAILURE() << "no exception";
  } catch (const RS::ReedSolomonException& e) {
    EXPECT_STREQ(e.what(), "Bad error location");
  }
  EXPECT_EQ(received, (std::vector<int>{0, 0, 9, 13}));
  EXPECT_THROW(decoder.decode(empty, 3), RS::IllegalArgumentException);
  EXPECT_EQ(decoder.decode(junk, 0), 4);  // no check words: nothing is examined
  EXPECT_EQ(junk, (std::vector<int>{15, 3, 99, -4}));
  word[3] = 1;
  EXPECT_THROW(decoder.decode(word, 16), std::out_of_range);  // exp(16) is out of the table
  // Words outside the field never index a table out of range.
  std::mt19937 rng(5);
  for (int trial = 0; trial < 200; ++trial) {
    std::vector<int> wild(10);
    for (int& v : wild) v = std::uniform_int_distribution<int>(-40, 60)(rng);
    expectKnownFailure(decoder, wild, 4);
  }
}

}  // namespace

// Field and polynomial arithmetic against the shift-and-reduce arithmetic of rs_encoder.h (the
// batch evaluations behind the syndromes and root search are pinned through the decoder), and the
// decoder on blocks that encoder makes.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "reedsolomon/field_evaluation.h"
#include "reedsolomon/generic_gf.h"
#include "reedsolomon/reed_solomon_decoder.h"
#include "synth/rs_encoder.h"

namespace {

namespace RS = Aztec::ReedSolomon;
using namespace RS;

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

template <class E, class F>
std::string messageOf(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  return "<nothing thrown>";
}

// Every product, inverse and logarithm (exhaustive up to GF(1024), sampled in GF(4096)).
TEST(GenericGF, ArithmeticAgreesWithCarrylessProduct) {
  for (const FieldCase& fc : kFields) {
    const GenericGF& f = *fc.field;
    const AztecTest::RsEncoder ref(fc.params);
    SCOPED_TRACE(f.size());
    ASSERT_EQ(static_cast<int>(f.expTable().size()), f.size());
    ASSERT_EQ(f.exp(f.size() - 1), 1);
    const int step = f.size() > 1024 ? 37 : 1;
    for (int a = 0; a < f.size(); a += step)
      for (int b = 0; b < f.size(); b += step)
        ASSERT_EQ(f.multiply(a, b), ref.multiply(a, b)) << a << " * " << b;
    for (int a = 1; a < f.size(); ++a) {
      ASSERT_EQ(ref.multiply(a, f.inverse(a)), 1) << a;
      ASSERT_EQ(f.exp(f.log(a)), a) << a;
    }
  }
}

TEST(GenericGF, ArgumentErrors) {
  EXPECT_EQ(messageOf<RS::ArithmeticException>([] { RS::GF16.inverse(0); }), "Arithmetic Exception");
  EXPECT_EQ(messageOf<IllegalArgumentException>([] { RS::GF16.log(0); }), "Log praram is zero");
  EXPECT_EQ(messageOf<IllegalArgumentException>([] { RS::GF16.monomial(-1, 3); }), "degree < 0");
  for (int bad : {-1, 16, 1000}) {
    EXPECT_EQ(messageOf<std::out_of_range>([&] { RS::GF16.exp(bad); }), "invalid vector<T> subscript");
    EXPECT_EQ(messageOf<std::out_of_range>([&] { RS::GF16.inverse(bad); }), "invalid vector<T> subscript");
    EXPECT_EQ(messageOf<std::out_of_range>([&] { RS::GF16.multiply(3, bad); }),
              "invalid vector<T> subscript");
  }
  EXPECT_EQ(RS::GF16.multiply(0, 1000), 0);  // zero short-circuits before any table is read
}

// A field built lazily from many threads at once ends up with one consistent table.
TEST(GenericGF, LazyInitialisationFromManyThreads) {
  static GenericGF local(256, 0x12D);
  std::vector<int> products(8, -1);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([t, &products] { products[t] = local.multiply(0x80, 2 + t % 2); });
  for (auto& th : threads) th.join();
  for (int t = 0; t < 8; ++t) EXPECT_EQ(products[t], t % 2 == 0 ? 0x2D : (0x2D ^ 0x80)) << t;
  EXPECT_EQ(local.expTable(), RS::GF256.expTable());
}

// The arithmetic of polynomials is pinned through the decoder (its tests below).
TEST(GenericGFPoly, ConstructionAndArgumentErrors) {
  const GenericGFPoly p(&RS::GF16, {0, 0, 5, 0});
  EXPECT_EQ(p.coefficients(), (std::vector<int>{5, 0}));
  EXPECT_EQ(p.coefficient(1), 5);
  EXPECT_TRUE(GenericGFPoly(&RS::GF16, {0, 0}).isZero());
  EXPECT_EQ(RS::GF64.monomial(3, 7).coefficients(), (std::vector<int>{7, 0, 0, 0}));
  EXPECT_TRUE(RS::GF64.monomial(5, 0).isZero());
  EXPECT_EQ(GenericGFPoly(&RS::GF16, {3, 0, 1}).coefficients(), (std::vector<int>{3, 0, 1}));
  EXPECT_EQ(messageOf<IllegalArgumentException>([] { GenericGFPoly(&RS::GF16, {}); }),
            "Coefficients is null or empty");
  EXPECT_EQ(messageOf<IllegalArgumentException>([&] { p.multiplyByMonomial(-1, 1); }), "Degree < 0");
  const std::string range = "invalid vector<T> subscript",
                    mixed = "GenericGFPolys do not have the same GenericGF field";
  EXPECT_EQ(messageOf<std::out_of_range>([&] { p.coefficient(2); }), range);
  EXPECT_EQ(messageOf<IllegalArgumentException>([&] { p.add(GenericGFPoly(&RS::GF64, {1, 2})); }), mixed);
  EXPECT_EQ(messageOf<IllegalArgumentException>([&] {
              p.multiply(GenericGFPoly(&RS::GF64, {1, 2}));
            }),
            mixed);
  // Zero operands are still checked for their field.
  EXPECT_EQ(messageOf<IllegalArgumentException>([&] { RS::GF16.zero().add(RS::GF64.zero()); }), mixed);
  // Coefficients outside the field fail where they are used, also in the batch root search.
  const GenericGFPoly big(&RS::GF16, {16, 3, 1});
  EXPECT_EQ(messageOf<std::out_of_range>([&] { big.scale(3); }), range);
  EXPECT_EQ(messageOf<std::out_of_range>([&] { big.evaluateAt(2); }), range);
  EXPECT_EQ(messageOf<std::out_of_range>([&] { RS::rootsInOrder(RS::GF16, big, 2); }), range);
}

// The roots of a product of known linear factors (x + a is x - a here), in the order of their
// values and at most `limit` of them; enough factors to fill the batch's four-wide steps.
TEST(FieldEvaluation, RootsInOrderUpToTheLimit) {
  for (const GenericGF* field : {&RS::GF16, &RS::GF4096}) {
    const std::vector<int> roots = {2, 3, 5, 9, 14};
    GenericGFPoly p = field->one();
    for (int r : roots) p = p.multiply(GenericGFPoly(field, {1, r}));
    for (int limit : {0, 2, 5, 6})
      EXPECT_EQ(RS::rootsInOrder(*field, p, limit),
                std::vector<int>(roots.begin(), roots.begin() + std::min(limit, 5)))
          << field->size() << " limit " << limit;
  }
}

std::vector<int> randomData(std::mt19937& rng, int count, int size);

// Syndromes against Horner's rule point by point: the code fields (read four points a pass, with
// one to three points left over) and a field of no code (one point a pass), words shorter and
// longer than the field's order, zero words included.
TEST(FieldEvaluation, SyndromesAgreeWithPointByPoint) {
  static constinit GenericGF gf32(32, 0x25);  // x^5 + x^2 + 1
  std::mt19937 rng(7);
  for (const GenericGF* field : {&RS::GF16, &RS::GF64, &RS::GF256, &RS::GF1024, &RS::GF4096, &gf32}) {
    const int size = field->size();
    for (const int length : {1, 5, size / 2, size + 7}) {
      std::vector<int> word = randomData(rng, length, size);
      if (length == 5) word.assign(5, 0);
      const GenericGFPoly poly(field, word);
      for (const int checkCount : {1, 2, 3, 4, 5, 6, 7, size - 1}) {
        std::vector<int> syndromes;
        const bool any = RS::computeSyndromes(*field, word, checkCount, syndromes);
        ASSERT_EQ(static_cast<int>(syndromes.size()), checkCount);
        bool nonZero = false;
        for (int i = 0; i < checkCount; ++i) {
          const int expected = poly.evaluateAt(field->exp(i + 1));
          ASSERT_EQ(syndromes[static_cast<std::size_t>(checkCount - 1 - i)], expected)
              << size << " length " << length << " check " << checkCount << " i " << i;
          nonZero |= expected != 0;
        }
        EXPECT_EQ(any, nonZero);
      }
    }
  }
}

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
  EXPECT_EQ(messageOf<RS::ReedSolomonException>([&] { decoder.decode(received, 2); }), "Bad error location");
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

// The batch evaluations behind the decoder's syndromes and root search against evaluateAt,
// point by point, on random polynomials of every field.
#include "reedsolomon/field_evaluation.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

namespace RS = Aztec::ReedSolomon;

const RS::GenericGF* const kFields[] = {&RS::GF16, &RS::GF64, &RS::GF256, &RS::GF1024, &RS::GF4096};

std::vector<int> randomWord(std::mt19937& rng, int length, int size) {
  std::uniform_int_distribution<int> value(0, size - 1);
  std::uniform_int_distribution<int> sparse(0, 3);
  std::vector<int> w(static_cast<std::size_t>(length));
  // A quarter zeros, and now and then a run of leading zeros, which the polynomial strips.
  for (int& v : w) v = sparse(rng) == 0 ? 0 : value(rng);
  if (length > 2 && sparse(rng) == 0) w[0] = w[1] = 0;
  return w;
}

TEST(FieldEvaluation, SyndromesMatchPointwiseEvaluation) {
  std::mt19937 rng(2024);
  for (const RS::GenericGF* field : kFields) {
    const int size = field->size();
    for (int trial = 0; trial < 40; ++trial) {
      // Lengths past the field order too: the powers of alpha wrap.
      const int length = std::uniform_int_distribution<int>(1, 2 * size + 3)(rng);
      const int checkCount = trial == 0 ? size - 1 : std::uniform_int_distribution<int>(1, size - 1)(rng);
      const std::vector<int> word = trial == 1 ? std::vector<int>(length, 0) : randomWord(rng, length, size);
      SCOPED_TRACE(testing::Message() << "size " << size << " length " << length << " check " << checkCount);

      std::vector<int> fast{7};  // stale contents are replaced
      const bool anyNonZero = RS::computeSyndromes(*field, word, checkCount, fast);
      const RS::GenericGFPoly poly(field, word);
      std::vector<int> reference(static_cast<std::size_t>(checkCount));
      bool referenceNonZero = false;
      for (int i = 0; i < checkCount; ++i) {
        reference[static_cast<std::size_t>(checkCount - 1 - i)] = poly.evaluateAt(field->exp(i + 1));
        referenceNonZero |= reference[static_cast<std::size_t>(checkCount - 1 - i)] != 0;
      }
      EXPECT_EQ(fast, reference);
      EXPECT_EQ(anyNonZero, referenceNonZero);
    }
  }
}

TEST(FieldEvaluation, RootsComeInValueOrderUpToTheLimit) {
  std::mt19937 rng(77);
  for (const RS::GenericGF* field : kFields) {
    const int size = field->size();
    for (int trial = 0; trial < 30; ++trial) {
      // Products of distinct linear factors (x + r) have known roots; a random factor on top
      // may add more or none.
      RS::GenericGFPoly p = field->one();
      const int factors = std::uniform_int_distribution<int>(0, std::min(size - 2, 40))(rng);
      for (int k = 0; k < factors; ++k) {
        const int r = std::uniform_int_distribution<int>(1, size - 1)(rng);
        p = p.multiply(RS::GenericGFPoly(field, {1, r}));
      }
      if (trial % 3 == 0) p = p.multiply(RS::GenericGFPoly(field, randomWord(rng, 4, size)));
      std::vector<int> all;
      for (int x = 1; x < size; ++x) {
        if (p.evaluateAt(x) == 0) all.push_back(x);
      }
      for (int limit : {0, 1, static_cast<int>(all.size()) / 2, p.degree(), size}) {
        SCOPED_TRACE(testing::Message() << "size " << size << " degree " << p.degree() << " limit " << limit);
        const std::vector<int> expected(all.begin(), all.begin() + std::min<std::size_t>(all.size(), std::max(limit, 0)));
        EXPECT_EQ(RS::rootsInOrder(*field, p, limit), expected);
      }
    }
  }
}

TEST(FieldEvaluation, CoefficientsOutsideTheFieldFailAsPointwise) {
  // 16 is not an element of GF(16): the search must raise what evaluateAt raises.
  const RS::GenericGFPoly p(&RS::GF16, {16, 3, 1});
  EXPECT_THROW(RS::rootsInOrder(RS::GF16, p, 2), std::out_of_range);
}

}  // namespace

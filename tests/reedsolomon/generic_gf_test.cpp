// Field and polynomial arithmetic against the shift-and-reduce arithmetic of rs_encoder.h, and
// the batch evaluations behind the decoder's syndromes and root search against evaluateAt.
#include "reedsolomon/generic_gf.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "reedsolomon/field_evaluation.h"
#include "support/rs_encoder.h"

namespace {

namespace RS = Aztec::ReedSolomon;
using RS::GenericGF;
using RS::GenericGFPoly;
using RS::IllegalArgumentException;

template <class E, class F>
std::string messageOf(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  return "<nothing thrown>";
}

const std::pair<const GenericGF*, AztecTest::RsField> kFields[] = {{&RS::GF16, AztecTest::kRsGF16},
                                                                   {&RS::GF64, AztecTest::kRsGF64},
                                                                   {&RS::GF256, AztecTest::kRsGF256},
                                                                   {&RS::GF1024, AztecTest::kRsGF1024},
                                                                   {&RS::GF4096, AztecTest::kRsGF4096}};

// A quarter zeros, and now and then a run of leading zeros, which the polynomial strips.
std::vector<int> randomWord(std::mt19937& rng, int length, int size) {
  std::uniform_int_distribution<int> value(0, size - 1), sparse(0, 3);
  std::vector<int> w(static_cast<std::size_t>(length));
  for (int& v : w) v = sparse(rng) == 0 ? 0 : value(rng);
  if (length > 2 && sparse(rng) == 0) w[0] = w[1] = 0;
  return w;
}

// Every product, inverse and logarithm (exhaustive up to GF(1024), sampled in GF(4096)).
TEST(GenericGF, ArithmeticAgreesWithCarrylessProduct) {
  for (const auto& [field, params] : kFields) {
    const GenericGF& f = *field;
    const AztecTest::RsEncoder ref(params);
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

// The arithmetic of polynomials is pinned through the decoder (reed_solomon_decoder_test).
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

// Syndromes of random words (lengths past the field order too, where the powers of alpha wrap)
// and the roots of products of known linear factors, at several limits.
TEST(FieldEvaluation, SyndromesAndRootsMatchPointwiseEvaluation) {
  std::mt19937 rng(2024);
  for (const auto& [field, params] : kFields) {
    const int size = params.size;
    for (int trial = 0; trial < 40; ++trial) {
      const int length = std::uniform_int_distribution<int>(1, 2 * size + 3)(rng);
      const int checkCount = trial == 0 ? size - 1 : std::uniform_int_distribution<int>(1, size - 1)(rng);
      const std::vector<int> word = trial == 1 ? std::vector<int>(length, 0) : randomWord(rng, length, size);
      SCOPED_TRACE(testing::Message() << "size " << size << " length " << length << " check " << checkCount);
      std::vector<int> fast{7},
          reference(static_cast<std::size_t>(checkCount));  // stale contents are replaced
      const bool anyNonZero = RS::computeSyndromes(*field, word, checkCount, fast);
      for (int i = 0; i < checkCount; ++i)
        reference[checkCount - 1 - i] = GenericGFPoly(field, word).evaluateAt(field->exp(i + 1));
      EXPECT_EQ(fast, reference);
      EXPECT_EQ(anyNonZero, reference != std::vector<int>(checkCount, 0));

      // A random factor on top of the linear ones may add more roots or none.
      GenericGFPoly p = field->one();
      const int factors = std::uniform_int_distribution<int>(0, std::min(size - 2, 40))(rng);
      for (int k = 0; k < factors; ++k)
        p = p.multiply(GenericGFPoly(field, {1, std::uniform_int_distribution<int>(1, size - 1)(rng)}));
      if (trial % 3 == 0) p = p.multiply(GenericGFPoly(field, randomWord(rng, 4, size)));
      std::vector<int> all;
      for (int x = 1; x < size; ++x)
        if (p.evaluateAt(x) == 0) all.push_back(x);
      for (int limit : {0, 1, static_cast<int>(all.size()) / 2, p.degree(), size}) {
        const std::vector<int> expected(all.begin(), all.begin() + std::min<std::size_t>(all.size(), limit));
        EXPECT_EQ(RS::rootsInOrder(*field, p, limit), expected)
            << "degree " << p.degree() << " limit " << limit;
      }
    }
  }
}

}  // namespace

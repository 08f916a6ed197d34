// Field and polynomial arithmetic against the shift-and-reduce arithmetic of rs_encoder.h. The
// batch evaluations behind the decoder's syndromes and root search are pinned through the decoder.
#include "reedsolomon/generic_gf.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "reedsolomon/field_evaluation.h"
#include "synth/rs_encoder.h"

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

}  // namespace

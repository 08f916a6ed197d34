#include "reedsolomon/generic_gf.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/rs_encoder.h"

namespace {

using Aztec::ReedSolomon::ArithmeticException;
using Aztec::ReedSolomon::GenericGF;
using Aztec::ReedSolomon::GenericGFPoly;
using Aztec::ReedSolomon::IllegalArgumentException;
namespace RS = Aztec::ReedSolomon;

template <class E, class F>
std::string messageOf(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  return "<nothing thrown>";
}

struct FieldCase {
  const GenericGF* field;
  AztecTest::RsField params;
};

std::vector<FieldCase> allFields() {
  return {{&RS::GF16, AztecTest::kRsGF16},
          {&RS::GF64, AztecTest::kRsGF64},
          {&RS::GF256, AztecTest::kRsGF256},
          {&RS::GF1024, AztecTest::kRsGF1024},
          {&RS::GF4096, AztecTest::kRsGF4096}};
}

TEST(GenericGF, KnownTableValues) {
  const std::vector<int> gf16{1, 2, 4, 8, 3, 6, 12, 11, 5, 10, 7, 14, 15, 13, 9, 1};
  EXPECT_EQ(RS::GF16.expTable(), gf16);
  EXPECT_EQ(RS::GF16.inverse(2), 9);
  EXPECT_EQ(RS::GF16.multiply(8, 2), 3);
  // logarithms 7 + 8 = size - 1: the last table entry, which is 1
  EXPECT_EQ(RS::GF16.multiply(11, 5), 1);
  EXPECT_EQ(RS::GF256.exp(8), 0x2D);
  EXPECT_EQ(RS::GF256.multiply(0x80, 2), 0x2D);
}

// Every product, inverse and logarithm against shift-and-reduce arithmetic (exhaustive up to
// GF(1024), sampled in GF(4096)).
TEST(GenericGF, ArithmeticAgreesWithCarrylessProduct) {
  for (const FieldCase& fc : allFields()) {
    const GenericGF& f = *fc.field;
    const AztecTest::RsEncoder ref(fc.params);
    SCOPED_TRACE(f.size());
    ASSERT_EQ(static_cast<int>(f.expTable().size()), f.size());
    ASSERT_EQ(f.exp(f.size() - 1), 1);
    const int step = f.size() > 1024 ? 37 : 1;
    for (int a = 0; a < f.size(); a += step) {
      for (int b = 0; b < f.size(); b += step) {
        ASSERT_EQ(f.multiply(a, b), ref.multiply(a, b)) << a << " * " << b;
      }
    }
    for (int a = 1; a < f.size(); ++a) {
      ASSERT_EQ(ref.multiply(a, f.inverse(a)), 1) << a;
      ASSERT_EQ(f.exp(f.log(a)), a) << a;
    }
  }
}

TEST(GenericGF, ArgumentErrors) {
  EXPECT_EQ(messageOf<ArithmeticException>([] { RS::GF16.inverse(0); }), "Arithmetic Exception");
  EXPECT_EQ(messageOf<IllegalArgumentException>([] { RS::GF16.log(0); }), "Log praram is zero");
  EXPECT_EQ(messageOf<IllegalArgumentException>([] { RS::GF16.monomial(-1, 3); }), "degree < 0");
  const std::string range = "invalid vector<T> subscript";
  for (int bad : {-1, 16, 1000}) {
    EXPECT_EQ(messageOf<std::out_of_range>([&] { RS::GF16.exp(bad); }), range);
    EXPECT_EQ(messageOf<std::out_of_range>([&] { RS::GF16.inverse(bad); }), range);
    EXPECT_EQ(messageOf<std::out_of_range>([&] { RS::GF16.multiply(3, bad); }), range);
  }
  // zero short-circuits before any table is read
  EXPECT_EQ(RS::GF16.multiply(0, 1000), 0);
}

// A field built lazily from many threads at once ends up with one consistent table.
TEST(GenericGF, LazyInitialisationFromManyThreads) {
  static GenericGF local(256, 0x12D);
  std::vector<int> products(8, -1);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) threads.emplace_back([t, &products] { products[t] = local.multiply(0x80, 2 + t % 2); });
  for (auto& th : threads) th.join();
  for (int t = 0; t < 8; ++t) EXPECT_EQ(products[t], t % 2 == 0 ? 0x2D : (0x2D ^ 0x80)) << t;
  EXPECT_EQ(local.expTable(), RS::GF256.expTable());
}

TEST(GenericGFPoly, ConstructionNormalises) {
  const GenericGFPoly p(&RS::GF16, {0, 0, 5, 0});
  EXPECT_EQ(p.coefficients(), (std::vector<int>{5, 0}));
  EXPECT_EQ(p.degree(), 1);
  EXPECT_FALSE(p.isZero());
  EXPECT_EQ(p.coefficient(1), 5);
  EXPECT_TRUE(GenericGFPoly(&RS::GF16, {0, 0}).isZero());
  EXPECT_EQ(RS::GF64.monomial(3, 7).coefficients(), (std::vector<int>{7, 0, 0, 0}));
  EXPECT_TRUE(RS::GF64.monomial(5, 0).isZero());
  // a single zero and a non-zero lead are kept as given
  EXPECT_EQ(GenericGFPoly(&RS::GF16, {3, 0, 1}).coefficients(), (std::vector<int>{3, 0, 1}));
  EXPECT_EQ(messageOf<IllegalArgumentException>([] { GenericGFPoly(&RS::GF16, {}); }),
            "Coefficients is null or empty");
  EXPECT_EQ(messageOf<std::out_of_range>([&] { p.coefficient(2); }), "invalid vector<T> subscript");
}

TEST(GenericGFPoly, EvaluateAt) {
  EXPECT_EQ(GenericGFPoly(&RS::GF16, {3, 7}).evaluateAt(0), 7);
  EXPECT_EQ(GenericGFPoly(&RS::GF16, {3, 7, 2}).evaluateAt(1), 3 ^ 7 ^ 2);
  // 3 x^2 + 7 x + 2 at x = 2 in GF(16): 3*4 = 12, 7*2 = 14, so 12 ^ 14 ^ 2 = 0
  EXPECT_EQ(GenericGFPoly(&RS::GF16, {3, 7, 2}).evaluateAt(2), 0);
  const AztecTest::RsEncoder ref(AztecTest::kRsGF1024);
  const std::vector<int> c{1000, 3, 0, 517, 1023};
  for (int x : {2, 3, 77, 1023}) EXPECT_EQ(GenericGFPoly(&RS::GF1024, c).evaluateAt(x), ref.evaluate(c, x)) << x;
}

TEST(GenericGFPoly, Arithmetic) {
  const GenericGFPoly a(&RS::GF16, {1, 2, 3});  // x^2 + 2x + 3
  const GenericGFPoly b(&RS::GF16, {1, 2, 7});
  // equal leading terms cancel and the sum is normalised
  EXPECT_EQ(a.add(b).coefficients(), (std::vector<int>{4}));
  EXPECT_EQ(a.add(GenericGFPoly(&RS::GF16, {5})).coefficients(), (std::vector<int>{1, 2, 6}));
  EXPECT_EQ(RS::GF16.zero().add(a).coefficients(), a.coefficients());
  EXPECT_TRUE(a.add(a).isZero());

  // (x + 2)(x + 3) = x^2 + (2 ^ 3) x + 6 = x^2 + x + 6
  const GenericGFPoly p = GenericGFPoly(&RS::GF16, {1, 2}).multiply(GenericGFPoly(&RS::GF16, {1, 3}));
  EXPECT_EQ(p.coefficients(), (std::vector<int>{1, 1, 6}));
  EXPECT_TRUE(RS::GF16.zero().multiply(a).isZero());

  EXPECT_EQ(a.scale(2).coefficients(), (std::vector<int>{2, 4, 6}));
  EXPECT_TRUE(a.scale(0).isZero());

  EXPECT_EQ(a.multiplyByMonomial(2, 8).coefficients(), (std::vector<int>{8, 3, 11, 0, 0}));
  EXPECT_TRUE(a.multiplyByMonomial(2, 0).isZero());
  EXPECT_EQ(messageOf<IllegalArgumentException>([&] { a.multiplyByMonomial(-1, 1); }), "Degree < 0");

  // operands stay as they were
  EXPECT_EQ(a.coefficients(), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(b.coefficients(), (std::vector<int>{1, 2, 7}));
}

TEST(GenericGFPoly, MixedFieldsAndBadCoefficients) {
  const GenericGFPoly a(&RS::GF16, {1, 2});
  const GenericGFPoly b(&RS::GF64, {1, 2});
  const char* text = "GenericGFPolys do not have the same GenericGF field";
  EXPECT_EQ(messageOf<IllegalArgumentException>([&] { a.add(b); }), text);
  // zero operands are still checked for their field
  EXPECT_EQ(messageOf<IllegalArgumentException>([&] { RS::GF16.zero().add(RS::GF64.zero()); }), text);
  const GenericGFPoly big(&RS::GF16, {1, 16});
  EXPECT_EQ(messageOf<std::out_of_range>([&] { big.scale(3); }), "invalid vector<T> subscript");
  EXPECT_EQ(messageOf<std::out_of_range>([&] { GenericGFPoly(&RS::GF16, {16, 1}).evaluateAt(2); }),
            "invalid vector<T> subscript");
}

}  // namespace

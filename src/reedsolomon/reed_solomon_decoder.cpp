#include "reedsolomon/reed_solomon_decoder.h"

#include <utility>

#include "common/checked_access.h"
#include "reedsolomon/field_evaluation.h"

namespace Aztec::ReedSolomon {

namespace {

struct EuclidResult {
  GenericGFPoly sigma;
  GenericGFPoly omega;
};

// Extended Euclid on x^R and the syndrome polynomial, stopped at degree < R / 2: the last t is
// the error locator and the last remainder the error evaluator, both normalised so sigma(0) = 1.
EuclidResult runEuclid(const GenericGF& field, GenericGFPoly a, GenericGFPoly b, int R) {
  if (a.degree() < b.degree()) std::swap(a, b);
  GenericGFPoly rLast = std::move(a);
  GenericGFPoly r = std::move(b);
  GenericGFPoly tLast = field.zero();
  GenericGFPoly t = field.one();

  while (r.degree() >= R / 2) {
    GenericGFPoly rLastLast = std::move(rLast);
    GenericGFPoly tLastLast = std::move(tLast);
    rLast = std::move(r);
    tLast = std::move(t);

    if (rLast.isZero()) throw ReedSolomonException("r_{i-1} was zero");
    r = std::move(rLastLast);
    GenericGFPoly q = field.zero();
    const int denominatorLeadingTerm = rLast.coefficient(rLast.degree());
    const int dltInverse = field.inverse(denominatorLeadingTerm);
    while (r.degree() >= rLast.degree() && !r.isZero()) {
      const int degreeDiff = r.degree() - rLast.degree();
      const int scale = field.multiply(r.coefficient(r.degree()), dltInverse);
      q = q.add(field.monomial(degreeDiff, scale));
      r = r.add(rLast.multiplyByMonomial(degreeDiff, scale));
    }
    t = q.multiply(tLast).add(tLastLast);
  }

  const int sigmaTildeAtZero = t.coefficient(0);
  if (sigmaTildeAtZero == 0) throw ReedSolomonException("sigmaTilde(0) was zero");
  const int inv = field.inverse(sigmaTildeAtZero);
  return {t.scale(inv), r.scale(inv)};
}

// Error locations X_k (inverses of sigma's roots), by exhaustive search over the field.
std::vector<int> locateErrors(const GenericGF& field, const GenericGFPoly& sigma) {
  const int numErrors = sigma.degree();
  if (numErrors == 1) return {sigma.coefficient(1)};  // sigma = 1 + X x: no search needed
  std::vector<int> result = rootsInOrder(field, sigma, numErrors);
  for (int& x : result) x = field.inverse(x);
  if (static_cast<int>(result.size()) != numErrors) {
    throw ReedSolomonException("Error locator degree does not match number of roots");
  }
  return result;
}

// Forney's formula; the extra factor X_i^-1 belongs to the generator's first root alpha^1.
std::vector<int> errorMagnitudes(const GenericGF& field, const GenericGFPoly& omega,
                                 const std::vector<int>& locations) {
  const std::size_t s = locations.size();
  std::vector<int> result(s);
  for (std::size_t i = 0; i < s; ++i) {
    const int xiInverse = field.inverse(locations[i]);
    int denominator = 1;
    for (std::size_t j = 0; j < s; ++j) {
      if (i != j) {
        denominator =
            field.multiply(denominator, GenericGF::addOrSubtract(1, field.multiply(locations[j], xiInverse)));
      }
    }
    result[i] = field.multiply(omega.evaluateAt(xiInverse), field.inverse(denominator));
    result[i] = field.multiply(result[i], xiInverse);
  }
  return result;
}

}  // namespace

int ReedSolomonDecoder::decode(std::vector<int>& received, int checkCount) const {
  if (checkCount < 1) return static_cast<int>(received.size());
  const GenericGF& field = *field_;
  std::vector<int> syndromeCoefficients;
  bool noError = true;
  bool inField = checkCount < field.size();
  for (int v : received) inField = inField && v >= 0 && v < field.size();
  if (inField && !received.empty()) {
    noError = !computeSyndromes(field, received, checkCount, syndromeCoefficients);
  } else {
    // Point by point, so that an empty array, a value outside the field or alpha^(i + 1) past
    // the table fails where and as it always has.
    const GenericGFPoly poly(field_, received);
    syndromeCoefficients.assign(static_cast<std::size_t>(checkCount), 0);
    for (int i = 0; i < checkCount; ++i) {
      const int eval = poly.evaluateAt(field.exp(i + 1));
      Aztec::at(syndromeCoefficients, checkCount - 1 - i) = eval;
      if (eval != 0) noError = false;
    }
  }
  if (noError) return 0;

  const GenericGFPoly syndrome(field_, syndromeCoefficients);
  const EuclidResult euclid = runEuclid(field, field.monomial(checkCount, 1), syndrome, checkCount);
  const std::vector<int> errorLocations = locateErrors(field, euclid.sigma);
  const std::vector<int> errorValues = errorMagnitudes(field, euclid.omega, errorLocations);

  const long long length = static_cast<long long>(received.size());
  for (std::size_t k = 0; k < errorLocations.size(); ++k) {
    const long long position = length - 1 - field.log(errorLocations[k]);
    if (position < 0) throw ReedSolomonException("Bad error location");
    Aztec::at(received, position) = GenericGF::addOrSubtract(Aztec::at(received, position), errorValues[k]);
  }
  return static_cast<int>(errorLocations.size());
}

}  // namespace Aztec::ReedSolomon

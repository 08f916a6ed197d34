#pragma once
// Polynomials over a GenericGF, coefficients most significant first. Every operation
// returns a new polynomial and leaves its operands unchanged.

#include <vector>

namespace Aztec::ReedSolomon {

class GenericGF;

class GenericGFPoly {
 public:
  // Strips leading zeros (all zeros give [0]). Throws IllegalArgumentException
  // "Coefficients is null or empty" for an empty vector. `field` must outlive the polynomial.
  GenericGFPoly(const GenericGF* field, const std::vector<int>& coefficients);

  const GenericGF* field() const { return field_; }
  const std::vector<int>& coefficients() const { return coefficients_; }
  int degree() const { return static_cast<int>(coefficients_.size()) - 1; }
  bool isZero() const;
  // Coefficient of x^d (range-tested: d outside 0..degree raises std::out_of_range).
  int coefficient(int d) const;

  int evaluateAt(int a) const;

  // Sum (= difference) and product with a polynomial over the same field; otherwise
  // IllegalArgumentException "GenericGFPolys do not have the same GenericGF field".
  GenericGFPoly add(const GenericGFPoly& other) const;
  GenericGFPoly multiply(const GenericGFPoly& other) const;
  // Every coefficient times s.
  GenericGFPoly scale(int s) const;
  // This times coefficient * x^degree; degree < 0 raises IllegalArgumentException "Degree < 0".
  GenericGFPoly multiplyByMonomial(int degree, int coefficient) const;

 private:
  const GenericGF* field_;
  std::vector<int> coefficients_;
};

}  // namespace Aztec::ReedSolomon

#include "reedsolomon/generic_gf_poly.h"

#include <algorithm>

#include "common/checked_access.h"
#include "reedsolomon/generic_gf.h"

namespace Aztec::ReedSolomon {

GenericGFPoly::GenericGFPoly(const GenericGF* field, const std::vector<int>& coefficients) : field_(field) {
  if (coefficients.empty()) throw IllegalArgumentException("Coefficients is null or empty");
  if (coefficients.size() > 1 && coefficients.front() == 0) {
    const auto firstNonZero =
        std::find_if(coefficients.begin() + 1, coefficients.end(), [](int c) { return c != 0; });
    if (firstNonZero == coefficients.end()) {
      coefficients_.assign(1, 0);
    } else {
      coefficients_.assign(firstNonZero, coefficients.end());
    }
  } else {
    coefficients_ = coefficients;
  }
}

bool GenericGFPoly::isZero() const {
  return Aztec::at(coefficients_, 0) == 0;
}

int GenericGFPoly::coefficient(int d) const {
  return Aztec::at(coefficients_, static_cast<long long>(coefficients_.size()) - 1 - d);
}

int GenericGFPoly::evaluateAt(int a) const {
  if (a == 0) return coefficient(0);
  if (a == 1) {
    int result = 0;
    for (int c : coefficients_) result = GenericGF::addOrSubtract(result, c);
    return result;
  }
  int result = coefficients_.front();
  for (std::size_t i = 1; i < coefficients_.size(); ++i) {
    result = GenericGF::addOrSubtract(field_->multiply(a, result), coefficients_[i]);
  }
  return result;
}

GenericGFPoly GenericGFPoly::add(const GenericGFPoly& other) const {
  if (field_ != other.field_)
    throw IllegalArgumentException("GenericGFPolys do not have the same GenericGF field");
  if (isZero()) return other;
  if (other.isZero()) return *this;
  const std::vector<int>* smaller = &coefficients_;
  const std::vector<int>* larger = &other.coefficients_;
  if (smaller->size() > larger->size()) std::swap(smaller, larger);
  std::vector<int> sum(larger->size());
  const std::size_t lengthDiff = larger->size() - smaller->size();
  for (std::size_t i = 0; i < lengthDiff; ++i) sum[i] = (*larger)[i];
  for (std::size_t i = lengthDiff; i < larger->size(); ++i) {
    sum[i] = GenericGF::addOrSubtract((*smaller)[i - lengthDiff], (*larger)[i]);
  }
  return GenericGFPoly(field_, sum);
}

GenericGFPoly GenericGFPoly::multiply(const GenericGFPoly& other) const {
  if (field_ != other.field_)
    throw IllegalArgumentException("GenericGFPolys do not have the same GenericGF field");
  if (isZero() || other.isZero()) return field_->zero();
  const std::size_t la = coefficients_.size();
  const std::size_t lb = other.coefficients_.size();
  std::vector<int> product(la + lb - 1, 0);
  for (std::size_t i = 0; i < la; ++i) {
    const int ai = coefficients_[i];
    for (std::size_t j = 0; j < lb; ++j) {
      product[i + j] = GenericGF::addOrSubtract(product[i + j], field_->multiply(ai, other.coefficients_[j]));
    }
  }
  return GenericGFPoly(field_, product);
}

GenericGFPoly GenericGFPoly::scale(int s) const {
  if (s == 0) return field_->zero();
  if (s == 1) return *this;
  std::vector<int> product(coefficients_.size());
  for (std::size_t i = 0; i < coefficients_.size(); ++i) product[i] = field_->multiply(coefficients_[i], s);
  return GenericGFPoly(field_, product);
}

GenericGFPoly GenericGFPoly::multiplyByMonomial(int degree, int coefficient) const {
  if (degree < 0) throw IllegalArgumentException("Degree < 0");
  if (coefficient == 0) return field_->zero();
  std::vector<int> product(coefficients_.size() + static_cast<std::size_t>(degree), 0);
  for (std::size_t i = 0; i < coefficients_.size(); ++i)
    product[i] = field_->multiply(coefficients_[i], coefficient);
  return GenericGFPoly(field_, product);
}

}  // namespace Aztec::ReedSolomon

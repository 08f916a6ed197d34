#include "reedsolomon/generic_gf.h"

#include "common/checked_access.h"

namespace Aztec::ReedSolomon {

constinit GenericGF GF16(16, 0x13);        // x^4 + x + 1
constinit GenericGF GF64(64, 0x43);        // x^6 + x + 1
constinit GenericGF GF256(256, 0x12D);     // x^8 + x^5 + x^3 + x^2 + 1
constinit GenericGF GF1024(1024, 0x409);   // x^10 + x^3 + 1
constinit GenericGF GF4096(4096, 0x1069);  // x^12 + x^6 + x^5 + x^3 + 1

namespace {
// Build the tables at load so that no decode pays for them; use before this runs is covered
// by ensureInitialized.
[[maybe_unused]] const bool kFieldsBuilt = [] {
  for (const GenericGF* f : {&GF16, &GF64, &GF256, &GF1024, &GF4096}) f->ensureInitialized();
  return true;
}();
}  // namespace

GenericGF::~GenericGF() = default;

void GenericGF::initialize() const {
  auto exps = std::make_unique<std::vector<int>>(static_cast<std::size_t>(size_));
  int x = 1;
  for (int i = 0; i < size_; ++i) {
    Aztec::at(*exps, i) = x;
    x *= 2;
    if (x >= size_) x = (x ^ primitive_) & (size_ - 1);
  }
  auto logs = std::make_unique<std::vector<int>>(static_cast<std::size_t>(size_), 0);
  for (int i = 0; i < size_ - 1; ++i) Aztec::at(*logs, Aztec::at(*exps, i)) = i;
  const std::size_t order = size_ > 1 ? static_cast<std::size_t>(size_ - 1) : 0;
  auto twice = std::make_unique<std::vector<int>>(2 * order);
  for (std::size_t i = 0; i < twice->size(); ++i) (*twice)[i] = (*exps)[i % order];
  expTable_ = std::move(exps);
  expTwice_ = std::move(twice);
  logTable_ = std::move(logs);
  zero_ = std::make_unique<GenericGFPoly>(this, std::vector<int>{0});
  one_ = std::make_unique<GenericGFPoly>(this, std::vector<int>{1});
  initialized_.store(true, std::memory_order_release);
}

const std::vector<int>& GenericGF::expTable() const {
  ensureInitialized();
  return *expTable_;
}

const std::vector<int>& GenericGF::logTable() const {
  ensureInitialized();
  return *logTable_;
}

GenericGFPoly GenericGF::monomial(int degree, int coefficient) const {
  ensureInitialized();
  if (degree < 0) throw IllegalArgumentException("degree < 0");
  if (coefficient == 0) return *zero_;
  std::vector<int> coefficients(static_cast<std::size_t>(degree) + 1, 0);
  coefficients.front() = coefficient;
  return GenericGFPoly(this, coefficients);
}

const GenericGFPoly& GenericGF::zero() const {
  ensureInitialized();
  return *zero_;
}

const GenericGFPoly& GenericGF::one() const {
  ensureInitialized();
  return *one_;
}

}  // namespace Aztec::ReedSolomon

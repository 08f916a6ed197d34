#pragma once
// GF(2^m) with log/antilog tables (alpha = 2), and the five fields of the Aztec codes.

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "common/checked_access.h"
#include "reedsolomon/exceptions.h"
#include "reedsolomon/generic_gf_poly.h"

namespace Aztec::ReedSolomon {

class GenericGF {
 public:
  // constexpr so that the process-wide fields are constant-initialised: a static of another
  // translation unit may use them before their own dynamic initialisation would have run.
  // The tables are built on first use (or at load, see generic_gf.cpp), once, under a once-flag.
  constexpr GenericGF(int size, int primitive) noexcept : size_(size), primitive_(primitive) {}
  ~GenericGF();
  GenericGF(const GenericGF&) = delete;
  GenericGF& operator=(const GenericGF&) = delete;

  // Builds the tables and the constant polynomials unless already built. Thread-safe.
  void ensureInitialized() const {
    if (!initialized_.load(std::memory_order_acquire)) std::call_once(once_, [this] { initialize(); });
  }

  int size() const { return size_; }
  int primitive() const { return primitive_; }

  // Inline: these sit in the decoder's innermost loops (syndromes, root search).
  // alpha^i (range-tested).
  int exp(int i) const {
    ensureInitialized();
    return Aztec::at(*expTable_, i);
  }
  // Discrete logarithm; a = 0 raises IllegalArgumentException "Log praram is zero".
  int log(int a) const {
    ensureInitialized();
    if (a == 0) throw IllegalArgumentException("Log praram is zero");
    return Aztec::at(*logTable_, a);
  }
  // Multiplicative inverse; a = 0 raises ArithmeticException "Arithmetic Exception".
  int inverse(int a) const {
    ensureInitialized();
    if (a == 0) throw ArithmeticException("Arithmetic Exception");
    return Aztec::at(*expTable_, size_ - Aztec::at(*logTable_, a) - 1);
  }
  // alpha^(log a + log b) straight from a table of alpha^s over two periods: logarithms lie in
  // 0..size-2, so s < 2 (size - 1) always lands inside it, with no reduction of s.
  int multiply(int a, int b) const {
    ensureInitialized();
    if (a == 0 || b == 0) return 0;
    const int s = Aztec::at(*logTable_, a) + Aztec::at(*logTable_, b);
    return (*expTwice_)[static_cast<std::size_t>(s)];
  }
  static int addOrSubtract(int a, int b) { return a ^ b; }

  // coefficient * x^degree; degree < 0 raises IllegalArgumentException "degree < 0".
  GenericGFPoly monomial(int degree, int coefficient) const;
  const GenericGFPoly& zero() const;
  const GenericGFPoly& one() const;

  const std::vector<int>& expTable() const;
  const std::vector<int>& logTable() const;

 private:
  void initialize() const;

  // Built once by initialize() and read-only afterwards.
  mutable std::unique_ptr<GenericGFPoly> zero_;
  mutable std::unique_ptr<GenericGFPoly> one_;
  mutable std::unique_ptr<std::vector<int>> expTable_;
  mutable std::unique_ptr<std::vector<int>> expTwice_;  // alpha^s for s in 0 .. 2 (size - 1) - 1
  mutable std::unique_ptr<std::vector<int>> logTable_;
  int size_;
  int primitive_;
  mutable std::atomic<bool> initialized_{false};
  mutable std::once_flag once_;
};

// The Aztec fields: mode message (4-bit) and data codewords of 6, 8, 10 and 12 bits.
extern constinit GenericGF GF16;
extern constinit GenericGF GF64;
extern constinit GenericGF GF256;
extern constinit GenericGF GF1024;
extern constinit GenericGF GF4096;

}  // namespace Aztec::ReedSolomon

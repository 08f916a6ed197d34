#include "reedsolomon/field_evaluation.h"

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "common/checked_access.h"

namespace Aztec::ReedSolomon {

namespace {

// alpha^i for i in 0 .. 4 (size - 1) - 1 (four periods), 16 bits an entry, for the fields of the
// codes: one table read per term and point with no reduction of the exponent, in a table small
// enough to stay in the first-level cache (32 KB for the 12-bit field). Null for another field.
const std::uint16_t* fourPeriods(const GenericGF& field) {
  static constexpr const GenericGF* kFields[] = {&GF16, &GF64, &GF256, &GF1024, &GF4096};
  static const std::vector<std::vector<std::uint16_t>> tables = [] {
    std::vector<std::vector<std::uint16_t>> t;
    for (const GenericGF* f : kFields) {
      const int order = f->size() - 1;
      const std::vector<int>& exps = f->expTable();
      std::vector<std::uint16_t> four(static_cast<std::size_t>(4) * order);
      for (std::size_t i = 0; i < four.size(); ++i)
        four[i] = static_cast<std::uint16_t>(exps[i % static_cast<std::size_t>(order)]);
      t.push_back(std::move(four));
    }
    return t;
  }();
  for (std::size_t i = 0; i < std::size(kFields); ++i)
    if (kFields[i] == &field) return tables[i].data();
  return nullptr;
}

// Terms c_j * x^(e_j) of a polynomial evaluated at x = alpha^s for s = first, first + 1, ...:
// term j is alpha^(t_j) with t_j = log c_j + s * e_j (mod order), so moving to the next point
// adds e_j to every t_j. The sums over j are independent lookups instead of Horner's chain.
class PowerSums {
 public:
  explicit PowerSums(const GenericGF& field)
      : expTable_(field.expTable().data()),
        logTable_(field.logTable().data()),
        fourPeriods_(fourPeriods(field)),
        order_(field.size() - 1) {}

  // Adds the term coefficient * x^exponent (coefficient a non-zero field element).
  void addTerm(int coefficient, long long exponent, long long first) {
    const long long step = exponent % order_;
    exponents_.push_back(static_cast<int>(step));
    logs_.push_back(static_cast<int>((logTable_[coefficient] + first % order_ * step) % order_));
  }

  // Calls sink(s, p(alpha^(first + s))) for s = 0 .. steps - 1.
  template <class Sink>
  void run(int steps, Sink&& sink) {
    if (fourPeriods_ != nullptr) {
      runFour(steps, sink);
      return;
    }
    const std::size_t m = logs_.size();
    int* t = logs_.data();
    const int* e = exponents_.data();
    const int* exps = expTable_;
    const int order = order_;
    for (int s = 0; s < steps; ++s) {
      // Every t_j stays in 0 .. order - 1, inside the table.
      int a0 = 0, a1 = 0, a2 = 0, a3 = 0;
      std::size_t j = 0;
      for (; j + 4 <= m; j += 4) {
        a0 ^= exps[t[j]];
        a1 ^= exps[t[j + 1]];
        a2 ^= exps[t[j + 2]];
        a3 ^= exps[t[j + 3]];
      }
      for (; j < m; ++j) a0 ^= exps[t[j]];
      sink(s, (a0 ^ a1) ^ (a2 ^ a3));
      if (s + 1 == steps) break;
      for (j = 0; j < m; ++j) {
        const int v = t[j] + e[j];
        t[j] = v >= order ? v - order : v;
      }
    }
  }

 private:
  // run() four points a pass: term j at points s .. s + 3 is alpha^(t_j + k e_j), k = 0 .. 3,
  // every exponent below four periods, so one pass over the terms serves four points.
  template <class Sink>
  void runFour(int steps, Sink& sink) {
    const std::size_t m = logs_.size();
    std::vector<std::uint16_t> t(logs_.begin(), logs_.end()), e(exponents_.begin(), exponents_.end()), e4(m);
    const unsigned order = static_cast<unsigned>(order_);
    for (std::size_t j = 0; j < m; ++j) e4[j] = static_cast<std::uint16_t>(4u * e[j] % order);
    const std::uint16_t* exps = fourPeriods_;
    int s = 0;
    for (; s + 4 <= steps; s += 4) {
      unsigned a0 = 0, a1 = 0, a2 = 0, a3 = 0;
      for (std::size_t j = 0; j < m; ++j) {
        const unsigned u = t[j], f = e[j];
        a0 ^= exps[u];
        a1 ^= exps[u + f];
        a2 ^= exps[u + 2 * f];
        a3 ^= exps[u + 3 * f];
      }
      sink(s, static_cast<int>(a0));
      sink(s + 1, static_cast<int>(a1));
      sink(s + 2, static_cast<int>(a2));
      sink(s + 3, static_cast<int>(a3));
      for (std::size_t j = 0; j < m; ++j) {
        const unsigned v = t[j] + e4[j];
        t[j] = static_cast<std::uint16_t>(v >= order ? v - order : v);
      }
    }
    for (; s < steps; ++s) {
      unsigned a = 0;
      for (std::size_t j = 0; j < m; ++j) a ^= exps[t[j] + static_cast<unsigned>(s % 4) * e[j]];
      sink(s, static_cast<int>(a));
    }
  }

  const int* expTable_;
  const int* logTable_;
  const std::uint16_t* fourPeriods_;
  int order_;
  std::vector<int> logs_;       // t_j
  std::vector<int> exponents_;  // e_j mod order
};

bool allFieldElements(const std::vector<int>& values, int size) {
  for (int v : values) {
    if (v < 0 || v >= size) return false;
  }
  return true;
}

}  // namespace

bool computeSyndromes(const GenericGF& field, const std::vector<int>& received, int checkCount,
                      std::vector<int>& syndromes) {
  field.ensureInitialized();
  syndromes.assign(static_cast<std::size_t>(checkCount), 0);
  PowerSums sums(field);
  const long long last = static_cast<long long>(received.size()) - 1;
  for (std::size_t k = 0; k < received.size(); ++k) {
    if (received[k] != 0) sums.addTerm(received[k], last - static_cast<long long>(k), 1);
  }
  bool anyError = false;
  sums.run(checkCount, [&](int i, int value) {
    syndromes[static_cast<std::size_t>(checkCount - 1 - i)] = value;
    anyError |= value != 0;
  });
  return anyError;
}

std::vector<int> rootsInOrder(const GenericGF& field, const GenericGFPoly& p, int limit) {
  std::vector<int> roots;
  const int size = field.size();
  if (limit <= 0) return roots;
  const std::vector<int>& coefficients = p.coefficients();
  if (!allFieldElements(coefficients, size)) {
    // Not a polynomial over the field: only the point-by-point search fails the same way.
    for (int x = 1; x < size && static_cast<int>(roots.size()) < limit; ++x) {
      if (p.evaluateAt(x) == 0) roots.push_back(x);
    }
    return roots;
  }

  // p(alpha^k) for every k, then the roots in the order of their values.
  field.ensureInitialized();
  PowerSums sums(field);
  const int degree = p.degree();
  for (int d = 0; d <= degree; ++d) {
    const int c = coefficients[static_cast<std::size_t>(degree - d)];
    if (c != 0) sums.addTerm(c, d, 0);
  }
  const int order = size - 1;
  std::vector<char> rootAtPower(static_cast<std::size_t>(order), 0);
  sums.run(order, [&](int k, int value) { rootAtPower[static_cast<std::size_t>(k)] = value == 0; });
  const std::vector<int>& logs = field.logTable();
  for (int x = 1; x < size && static_cast<int>(roots.size()) < limit; ++x) {
    if (rootAtPower[static_cast<std::size_t>(logs[static_cast<std::size_t>(x)])]) roots.push_back(x);
  }
  return roots;
}

}  // namespace Aztec::ReedSolomon

#include "reedsolomon/field_evaluation.h"

#include <cstddef>

#include "common/checked_access.h"

namespace Aztec::ReedSolomon {

namespace {

// Terms c_j * x^(e_j) of a polynomial evaluated at x = alpha^s for s = first, first + 1, ...:
// term j is alpha^(t_j) with t_j = log c_j + s * e_j (mod order), so moving to the next point
// adds e_j to every t_j. The sums over j are independent lookups instead of Horner's chain.
class PowerSums {
 public:
  explicit PowerSums(const GenericGF& field)
      : expTable_(field.expTable().data()), logTable_(field.logTable().data()), order_(field.size() - 1) {}

  // Adds the term coefficient * x^exponent (coefficient a non-zero field element).
  void addTerm(int coefficient, long long exponent, long long first) {
    const long long step = exponent % order_;
    exponents_.push_back(static_cast<int>(step));
    logs_.push_back(static_cast<int>((logTable_[coefficient] + first % order_ * step) % order_));
  }

  // Calls sink(s, p(alpha^(first + s))) for s = 0 .. steps - 1.
  template <class Sink>
  void run(int steps, Sink&& sink) {
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
  const int* expTable_;
  const int* logTable_;
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

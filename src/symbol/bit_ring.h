#pragma once
// A bit string whose index wraps around: index i addresses position i modulo the length,
// a negative index counts back from the end. Carries the mode-message ring, the raw layer
// bits and the data bits.

#include <cstddef>
#include <vector>

namespace Aztec {

class BitRing {
 public:
  BitRing() = default;
  explicit BitRing(std::size_t n) : bits_(n, false) {}

  std::size_t size() const { return bits_.size(); }
  bool empty() const { return bits_.empty(); }

  // Wrapped access; an empty ring raises std::out_of_range "invalid vector<bool> subscript".
  bool get(long long i) const;
  void set(long long i, bool value);

  const std::vector<bool>& bits() const { return bits_; }
  std::vector<bool>& bits() { return bits_; }

 private:
  std::size_t wrap(long long i) const;
  std::vector<bool> bits_;
};

}  // namespace Aztec

#include "symbol/bit_ring.h"

#include "common/checked_access.h"

namespace Aztec {

std::size_t BitRing::wrap(long long i) const {
  if (bits_.empty()) throwBoolSubscript();
  const long long n = static_cast<long long>(bits_.size());
  long long r = i % n;
  if (r < 0) r += n;
  return static_cast<std::size_t>(r);
}

bool BitRing::get(long long i) const {
  return bits_[wrap(i)];
}

void BitRing::set(long long i, bool value) {
  bits_[wrap(i)] = value;
}

}  // namespace Aztec

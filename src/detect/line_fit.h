#pragma once
// Least-squares line through a set of pixels, kept as integer sums so that the pass over a
// ring window stays integer-only.

#include <cstdint>

namespace Aztec {

struct LineFit {
  std::int64_t sumXY = 0;
  std::int64_t sumX = 0;
  std::int64_t sumY = 0;
  std::int64_t sumXX = 0;
  std::int64_t sumYY = 0;
  std::int64_t n = 0;

  void add(int x, int y);

  // Each is a quotient of two 64-bit differences of products, divided in double; a zero
  // denominator gives IEEE infinities or NaN.
  double slopeYOnX() const;
  double interceptYOnX() const;
  double slopeXOnY() const;
  double interceptXOnY() const;
};

}  // namespace Aztec

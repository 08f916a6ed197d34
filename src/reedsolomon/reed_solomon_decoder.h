#pragma once
// Syndrome decoder for the Aztec Reed-Solomon codes (generator roots alpha^1 .. alpha^n).

#include <vector>

#include "reedsolomon/generic_gf.h"

namespace Aztec::ReedSolomon {

class ReedSolomonDecoder {
 public:
  explicit ReedSolomonDecoder(const GenericGF* field) : field_(field) {}

  // Corrects `received` (highest power first, the last checkCount elements are check
  // codewords) in place. Returns received.size() when checkCount < 1, 0 for a codeword,
  // otherwise the number of corrected codewords. Throws ReedSolomonException,
  // IllegalArgumentException, ArithmeticException or std::out_of_range on failure.
  int decode(std::vector<int>& received, int checkCount) const;

 private:
  const GenericGF* field_;
};

}  // namespace Aztec::ReedSolomon

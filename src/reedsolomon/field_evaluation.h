#pragma once
// Many evaluations of one polynomial at once, for the decoder's syndrome pass and root search.
// Field arithmetic is exact, so these give the values that evaluateAt gives point by point;
// they only avoid its serial chain of table lookups.

#include <vector>

#include "reedsolomon/generic_gf.h"
#include "reedsolomon/generic_gf_poly.h"

namespace Aztec::ReedSolomon {

// S_i = R(alpha^(i + 1)) for i = 0 .. checkCount - 1, where R has the coefficients of `received`
// (highest power first), written to syndromes[checkCount - 1 - i]. Returns true when any S_i is
// non-zero. Requires every element of `received` in 0 .. size - 1 and 1 <= checkCount <= size - 1;
// the caller keeps the point-by-point path for anything else, since that is where the range
// errors arise.
bool computeSyndromes(const GenericGF& field, const std::vector<int>& received, int checkCount,
                      std::vector<int>& syndromes);

// The non-zero field elements x with p(x) = 0 in increasing order, at most `limit` of them: the
// ones a search x = 1, 2, ... that stops after `limit` roots would find. The coefficients of p
// must be field elements.
std::vector<int> rootsInOrder(const GenericGF& field, const GenericGFPoly& p, int limit);

}  // namespace Aztec::ReedSolomon

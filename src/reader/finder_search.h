#pragma once
// Bull's-eye search over the whole plane: run-length scanning of the rows for the finder's
// alternating equal-width runs, confirmation in the column and both diagonals, and the all-round
// check of the rings along rays from the centre.

#include <aztec/types.h>

#include <vector>

#include "reader/binarizer.h"
#include "reader/tuning.h"

namespace Aztec {

struct FinderCandidate {
  Point2D center;          // plane coordinates
  double moduleMin = 0.0;  // smallest and largest module width seen by the four checks
  double moduleMax = 0.0;
  bool inverted = false;        // light centre on a dark ring
  bool maybeFullRange = false;  // the row and column also show the full-range rings
};

// Candidates of one polarity closer than this in x and in y are the same finder.
inline double sameCentreRadius(const FinderCandidate& c) {
  return Tuning::kSameCentreModules * c.moduleMin + Tuning::kSameCentreSlack;
}

// Candidates of the given polarities whose row and column (or both diagonals) cross the
// rings, in scanning order, at most `limit` of them. Rows are scanned from top to bottom; hits
// close to an earlier candidate are not confirmed again. Not yet checked all round: the
// caller runs verifyFinder on those it wants, so that candidates inside a symbol already
// read cost nothing more.
std::vector<FinderCandidate> findFinderCandidates(const Binarizer& binarizer, bool normal, bool inverted,
                                                  int limit);

// The all-round check: rays around the centre must cross the rings, and the finder pattern
// must hold through the square fitted to them. Moves the centre to the fitted one; false when
// the rings do not hold.
bool verifyFinder(const Binarizer& binarizer, FinderCandidate& candidate);

}  // namespace Aztec

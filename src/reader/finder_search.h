#pragma once
// Bull's-eye search over the whole plane: run-length scanning of the rows for the finder's
// alternating equal-width runs, confirmation in the column and both diagonals, and the precise
// corners of a finder ring traced along rays from the centre.

#include <aztec/types.h>

#include <array>
#include <optional>
#include <vector>

#include "reader/binarizer.h"

namespace Aztec {

struct FinderCandidate {
  Point2D center;          // plane coordinates
  double moduleMin = 0.0;  // smallest and largest module width seen by the four checks
  double moduleMax = 0.0;
  bool inverted = false;        // light centre on a dark ring
  bool maybeFullRange = false;  // the row and column also show the full-range rings
};

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

// The four corners of the edge between the finder's outermost light ring and the dark ring
// around it (3.5 modules from the centre for compact, 5.5 for full-range), in image order
// clockwise from the corner nearest the top-left. Nothing when the rings do not form a
// convincing quadrilateral.
std::optional<std::array<Point2D, 4>> locateRingCorners(const Binarizer& binarizer,
                                                        const FinderCandidate& candidate, bool fullRange);

}  // namespace Aztec

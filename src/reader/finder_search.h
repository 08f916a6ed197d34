#pragma once
// Bull's-eye search over the whole plane: run-length scanning of the rows for the finder's
// alternating equal-width runs, confirmation in the column and both diagonals, and the all-round
// check of the rings along rays from the centre.

#include <aztec/types.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "reader/binarizer.h"
#include "reader/tuning.h"

namespace Aztec::detail {

struct FinderCandidate {
  Point2D center;          // plane coordinates
  double moduleMin = 0.0;  // smallest and largest module width seen by the four checks
  double moduleMax = 0.0;
  bool inverted = false;        // light centre on a dark ring
  bool maybeFullRange = false;  // the row and column also show the full-range rings
  int quality = 0;              // directions of the four cross checks that show the rings
};

// A row whose runs show the finder's pattern around (x, y), not yet confirmed.
struct FinderHit {
  float x = 0.0f;  // plane coordinates: the middle of the centre run, the middle of the row
  float y = 0.0f;
  float w = 0.0f;  // module width from the row's runs
  bool inverted = false;
  std::int8_t lightRing = -1;  // lightRingScore when the scan needed it already, else -1
};

// Candidates of one polarity closer than this in x and in y are the same finder.
inline double sameCentreRadius(const FinderCandidate& c) {
  return Tuning::kSameCentreModules * c.moduleMin + Tuning::kSameCentreSlack;
}

// Every row hit of the given polarities, top to bottom. Each row is scanned end to end whatever
// the rest of the plane holds: the costly steps come later, bounded per region by the caller.
std::vector<FinderHit> scanFinderHits(const Binarizer& binarizer, bool normal, bool inverted);

// A hit confirmed in its column (or both diagonals) and its row again, with its centre refined;
// nothing when the crossings do not hold. Not yet checked all round: the caller runs
// verifyFinder on those it wants, so that candidates inside a symbol already read cost nothing
// more.
std::optional<FinderCandidate> confirmHit(const Binarizer& binarizer, const FinderHit& hit);

// How many of 16 points on a circle in the first light ring around the hit are light (any
// rotation): ranks the hits of a region that has more than it can confirm.
int lightRingScore(const Binarizer& binarizer, const FinderHit& hit);

// The all-round check: rays around the centre must cross the rings, and the finder pattern
// must hold through the square fitted to them. Moves the centre to the fitted one; false when
// the rings do not hold.
bool verifyFinder(const Binarizer& binarizer, FinderCandidate& candidate);

}  // namespace Aztec::detail

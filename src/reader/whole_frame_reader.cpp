// The whole-frame reader, top to bottom: frame -> binarise -> find finders -> locate the ring
// corners -> read the mode message -> sample -> correct and decode the text. Each stage lives in
// the file named for it; this file only chains them and decides what to accept.

#include <aztec/reader.h>

#include <algorithm>
#include <cmath>

#include "reader/binarizer.h"
#include "reader/finder_fit.h"
#include "reader/finder_search.h"
#include "reader/mode_message_reader.h"
#include "reader/ring_corners.h"
#include "reader/symbol_content.h"
#include "reader/symbol_sampler.h"
#include "reader/tuning.h"

namespace Aztec {

namespace {

using namespace Tuning;

// A symbol read, with where it lies in the plane.
struct Accepted {
  ReadResult result;
  std::array<Point2D, 4> quad;  // plane coordinates, any cyclic order
  double distance = 0.0;        // from the frame centre
};

bool insideQuad(const std::array<Point2D, 4>& q, const Point2D& p) {
  int positive = 0, negative = 0;
  for (int i = 0; i < 4; ++i) {
    const Point2D& a = q[i];
    const Point2D& b = q[(i + 1) % 4];
    const double c = (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
    if (c > 0) ++positive;
    if (c < 0) ++negative;
  }
  return positive == 0 || negative == 0;
}

// The corners of the grid square of half-side s, moved by (ox, oy).
std::array<Point2D, 4> gridCorners(const PerspectiveTransform& t, double s, double ox, double oy) {
  std::array<Point2D, 4> c = {t.map(-s, -s), t.map(s, -s), t.map(s, s), t.map(-s, s)};
  for (Point2D& p : c) {
    p.x += ox;
    p.y += oy;
  }
  return c;
}

// The region of interest clipped to the frame, as a plane; empty when too small to hold a finder.
LumaPlane regionOf(const LumaView& view, const ReaderOptions& options, int& x0, int& y0) {
  x0 = 0, y0 = 0;
  int x1 = view.width, y1 = view.height;
  // No width or height means the whole frame.
  if (options.regionWidth > 0 && options.regionHeight > 0) {
    x0 = std::max(0, options.regionX);
    y0 = std::max(0, options.regionY);
    x1 = static_cast<int>(
        std::min<long long>(view.width, static_cast<long long>(options.regionX) + options.regionWidth));
    y1 = static_cast<int>(
        std::min<long long>(view.height, static_cast<long long>(options.regionY) + options.regionHeight));
  }
  LumaPlane plane;
  if (x1 - x0 < kMinRegionSide || y1 - y0 < kMinRegionSide) return plane;
  plane.data = view.data + static_cast<std::size_t>(y0) * view.stride + x0;
  plane.width = x1 - x0;
  plane.height = y1 - y0;
  plane.stride = view.stride;
  return plane;
}

// Reading one verified finder candidate, stage by stage.
class CandidateReader {
 public:
  CandidateReader(const Binarizer& binarizer, const ReaderOptions& options, double ox, double oy)
      : binarizer_(binarizer), options_(options), ox_(ox), oy_(oy) {}

  // Tried as the kind the rings suggest first, then as the other.
  std::optional<Accepted> read(const FinderCandidate& cand) const {
    const bool tryFullFirst = cand.maybeFullRange;
    for (int attempt = 0; attempt < 2; ++attempt) {
      const bool full = (attempt == 0) == tryFullFirst;
      if (auto a = readAs(cand, full)) return a;
    }
    return std::nullopt;
  }

 private:
  std::optional<Accepted> readAs(const FinderCandidate& cand, bool full) const {
    // Locate: the ring corners, and the grid transform through them.
    const auto corners = locateRingCorners(binarizer_, cand, full);
    if (!corners) return std::nullopt;
    const auto t0 = finderTransform(*corners, full ? 5.5 : 3.5);
    if (!t0) return std::nullopt;
    const PolarPlane pp(binarizer_.plane(), cand.inverted);
    // A finder seen through its own fit must look like one; most false candidates end here.
    const int finderErrors = finderPatternErrors(pp, *t0, full);
    const int finderModules = full ? 169 : 81;
    if (finderErrors * 100 > kFinderFitMaxBadPercent * finderModules) return std::nullopt;

    // Mode message.
    std::vector<BitRing> runeRings;
    const std::optional<SymbolCandidate> params = readModeMessage(pp, *t0, full, runeRings);
    if (!params) {
      if (!full && options_.readRunes && finderErrors <= kRuneMaxFinderErrors)
        return readRune(runeRings, *t0, cand.inverted);
      return std::nullopt;
    }

    // Sample through the transform refined on the module edges, then the finder's own fit.
    const PerspectiveTransform refined = refineOnEdges(pp, *t0, *params);
    for (const PerspectiveTransform* t : {&refined, &*t0}) {
      if (auto a = decodeWith(pp, *t, *params, cand.inverted)) return a;
      if (params->symbolSize > kFinderFitMaxSymbol) break;
    }
    return std::nullopt;
  }

  // Sampled modules binarised at a few shifts of the local thresholds; correct and decode.
  std::optional<Accepted> decodeWith(const PolarPlane& pp, const PerspectiveTransform& t,
                                     const SymbolCandidate& params, bool inverted) const {
    const ModuleValues values = sampleModules(pp, t, params);
    const Levels lv = finderLevels(pp, t, params.symbolType == kFullRange);
    const double contrast = lv.light - lv.dark;
    const int finderModules = params.symbolType == kFullRange ? 169 : 81;
    const double s = params.symbolSize / 2.0;
    for (double shift : kDataShifts) {
      LocatedSymbol located;
      located.parameters = params;
      located.grid = binarizeModules(values, shift, contrast);
      // A finder that does not look like one means the grid is not on the symbol.
      if (finderMismatches(located.grid, params) * kGridFinderMaxBadDivisor > finderModules) continue;
      located.inverted = inverted;
      located.corners = gridCorners(t, s, ox_, oy_);
      auto r = decodeSymbolContent(located);
      if (r && (r->correctedCodewords == 0 ||
                2 * r->correctedCodewords + kCorrectionMarginWords <= r->checkCodewords))
        return Accepted{std::move(*r), gridCorners(t, s, 0.0, 0.0)};
    }
    return std::nullopt;
  }

  // A rune is the 11 x 11 square of the finder and its ring, which holds the value.
  std::optional<Accepted> readRune(const std::vector<BitRing>& rings, const PerspectiveTransform& t,
                                   bool inverted) const {
    for (const BitRing& ring : rings) {
      auto r = decodeRuneRing(ring, inverted, gridCorners(t, 5.5, ox_, oy_));
      if (r && r->correctedCodewords <= kRuneMaxCorrected)
        return Accepted{std::move(*r), gridCorners(t, 5.5, 0.0, 0.0)};
    }
    return std::nullopt;
  }

  const Binarizer& binarizer_;
  const ReaderOptions& options_;
  double ox_, oy_;
};

}  // namespace

std::vector<ReadResult> WholeFrameReader::read(const LumaView& view) const {
  validateView(view);
  std::vector<ReadResult> out;
  if (options_.maxSymbols <= 0) return out;
  int x0 = 0, y0 = 0;
  const LumaPlane plane = regionOf(view, options_, x0, y0);
  if (plane.data == nullptr) return out;

  // Binarise, and find the finder candidates, nearest to the frame centre first.
  const Binarizer binarizer(plane);
  std::vector<FinderCandidate> cands =
      findFinderCandidates(binarizer, true, options_.tryInverted, kMaxCandidates);
  const double fcx = view.width * 0.5 - x0, fcy = view.height * 0.5 - y0;
  auto dist = [&](const Point2D& p) { return std::hypot(p.x - fcx, p.y - fcy); };
  std::stable_sort(cands.begin(), cands.end(), [&](const FinderCandidate& a, const FinderCandidate& b) {
    return dist(a.center) < dist(b.center);
  });

  // Each candidate not inside a symbol already read is checked all round and read.
  const CandidateReader reader(binarizer, options_, x0, y0);
  std::vector<Accepted> accepted;
  std::vector<FinderCandidate> tried;
  auto covered = [&](const Point2D& p) {
    for (const Accepted& a : accepted)
      if (insideQuad(a.quad, p)) return true;
    return false;
  };
  for (FinderCandidate c : cands) {
    if (static_cast<int>(accepted.size()) >= options_.maxSymbols) break;
    if (covered(c.center) || !verifyFinder(binarizer, c) || covered(c.center)) continue;
    // Neighbouring candidates often verify to the same finder: read it once.
    bool seen = false;
    for (const FinderCandidate& t : tried) {
      const double r = sameCentreRadius(t);
      seen |= t.inverted == c.inverted && std::abs(t.center.x - c.center.x) < r &&
              std::abs(t.center.y - c.center.y) < r;
    }
    if (seen) continue;
    tried.push_back(c);
    if (auto a = reader.read(c)) {
      const Point2D centre{(a->quad[0].x + a->quad[2].x) * 0.5, (a->quad[0].y + a->quad[2].y) * 0.5};
      if (covered(centre)) continue;  // the same symbol through another finder estimate
      a->distance = dist(centre);
      accepted.push_back(std::move(*a));
    }
  }
  std::stable_sort(accepted.begin(), accepted.end(),
                   [](const Accepted& a, const Accepted& b) { return a.distance < b.distance; });
  for (Accepted& a : accepted) out.push_back(std::move(a.result));
  return out;
}

}  // namespace Aztec

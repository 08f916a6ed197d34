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
std::array<Point2D, 4> gridCorners(const ModuleMap& t, double s, double ox, double oy) {
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

    // Large full-range symbols through their reference grid: the lines near the finder from a
    // transform refined that far, one transform per grid cell beyond.
    if (full) {
      const PerspectiveTransform inner = refineOnEdges(pp, *t0, *params, kGridStartRadius);
      if (const auto cells = gridCellMap(pp, inner, *params))
        if (auto a = decodeWith(pp, *cells, *params, cand.inverted)) return a;
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
  std::optional<Accepted> decodeWith(const PolarPlane& pp, const ModuleMap& t, const SymbolCandidate& params,
                                     bool inverted) const {
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

  // Binarise, and scan every row for the finder's runs.
  const Binarizer binarizer(plane);
  const std::vector<FinderHit> hits = scanFinderHits(binarizer, true, options_.tryInverted);
  const double fcx = view.width * 0.5 - x0, fcy = view.height * 0.5 - y0;
  auto dist = [&](double x, double y) { return std::hypot(x - fcx, y - fcy); };

  // The hits by region, and the regions nearest to the frame centre first. Each region has its
  // own budget of confirmations and failed reads, so a busy texture in one part of the frame
  // costs a bounded time there and leaves every other part its own.
  const int regionsX = (plane.width + kRegionSize - 1) / kRegionSize;
  const int regionsY = (plane.height + kRegionSize - 1) / kRegionSize;
  const auto regionOfPoint = [&](double x, double y) {
    const int rx = std::clamp(static_cast<int>(x) / kRegionSize, 0, regionsX - 1);
    const int ry = std::clamp(static_cast<int>(y) / kRegionSize, 0, regionsY - 1);
    return static_cast<std::size_t>(ry) * regionsX + rx;
  };
  std::vector<std::vector<FinderHit>> regionHits(static_cast<std::size_t>(regionsX) * regionsY);
  for (const FinderHit& h : hits) regionHits[regionOfPoint(h.x, h.y)].push_back(h);
  std::vector<std::size_t> order;
  for (std::size_t r = 0; r < regionHits.size(); ++r)
    if (!regionHits[r].empty()) order.push_back(r);
  auto regionDistance = [&](std::size_t r) {
    const double cx = (static_cast<double>(r % regionsX) + 0.5) * kRegionSize;
    const double cy = (static_cast<double>(r / regionsX) + 0.5) * kRegionSize;
    return dist(std::min(cx, plane.width * 1.0), std::min(cy, plane.height * 1.0));
  };
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return regionDistance(a) < regionDistance(b); });

  const CandidateReader reader(binarizer, options_, x0, y0);
  std::vector<Accepted> accepted;
  std::vector<FinderCandidate> tried;
  // Confirmed candidates by region, for the neighbourhood look-ups.
  std::vector<std::vector<FinderCandidate>> confirmed(regionHits.size());
  auto covered = [&](const Point2D& p) {
    for (const Accepted& a : accepted)
      if (insideQuad(a.quad, p)) return true;
    return false;
  };
  // A confirmed candidate of the polarity near (x, y): within its own same-centre radius, or
  // within `radius` when that is given.
  auto known = [&](double x, double y, bool inv, double radius) {
    const std::size_t home = regionOfPoint(x, y);
    const int hx = static_cast<int>(home % regionsX), hy = static_cast<int>(home / regionsX);
    for (int ry = std::max(0, hy - 1); ry <= std::min(regionsY - 1, hy + 1); ++ry)
      for (int rx = std::max(0, hx - 1); rx <= std::min(regionsX - 1, hx + 1); ++rx)
        for (const FinderCandidate& c : confirmed[static_cast<std::size_t>(ry) * regionsX + rx]) {
          const double r = radius > 0.0 ? radius : sameCentreRadius(c);
          if (c.inverted == inv && std::abs(c.center.x - x) < r && std::abs(c.center.y - y) < r) return true;
        }
    return false;
  };

  for (std::size_t region : order) {
    if (static_cast<int>(accepted.size()) >= options_.maxSymbols) break;
    std::vector<FinderHit>& list = regionHits[region];
    // Nearest to the frame centre first; in a region with more hits than it may confirm, those
    // with the light ring around them first.
    std::vector<std::pair<int, double>> rank(list.size());
    const bool crowded = static_cast<int>(list.size()) > kRegionConfirms;
    for (std::size_t i = 0; i < list.size(); ++i)
      rank[i] = {crowded ? -lightRingScore(binarizer, list[i]) : 0, dist(list[i].x, list[i].y)};
    std::vector<std::size_t> byRank(list.size());
    for (std::size_t i = 0; i < byRank.size(); ++i) byRank[i] = i;
    std::stable_sort(byRank.begin(), byRank.end(),
                     [&](std::size_t a, std::size_t b) { return rank[a] < rank[b]; });

    // Confirm; hits close to a confirmed centre add nothing.
    std::vector<FinderCandidate> cands;
    int confirms = 0;
    for (std::size_t i : byRank) {
      const FinderHit& h = list[i];
      if (covered({h.x, h.y}) || known(h.x, h.y, h.inverted, 0.0)) continue;
      if (confirms++ >= kRegionConfirms) break;
      auto c = confirmHit(binarizer, h);
      // A confirmed centre a little off an earlier one is kept: the earlier may fail the
      // all-round check where this one passes.
      if (!c || known(c->center.x, c->center.y, c->inverted, kConfirmedSameCentre)) continue;
      confirmed[regionOfPoint(c->center.x, c->center.y)].push_back(*c);
      cands.push_back(*c);
    }
    // The candidates whose rings cross more directions first, then nearest to the centre.
    std::stable_sort(cands.begin(), cands.end(), [&](const FinderCandidate& a, const FinderCandidate& b) {
      if (a.quality != b.quality) return a.quality > b.quality;
      return dist(a.center.x, a.center.y) < dist(b.center.x, b.center.y);
    });

    // Each candidate not inside a symbol already read is checked all round and read.
    int failures = 0;
    for (FinderCandidate c : cands) {
      if (static_cast<int>(accepted.size()) >= options_.maxSymbols || failures >= kRegionFailures) break;
      if (covered(c.center)) continue;
      if (!verifyFinder(binarizer, c) || covered(c.center)) {
        ++failures;
        continue;
      }
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
        a->distance = dist(centre.x, centre.y);
        accepted.push_back(std::move(*a));
      } else {
        ++failures;
      }
    }
  }
  std::stable_sort(accepted.begin(), accepted.end(),
                   [](const Accepted& a, const Accepted& b) { return a.distance < b.distance; });
  for (Accepted& a : accepted) out.push_back(std::move(a.result));
  return out;
}

}  // namespace Aztec

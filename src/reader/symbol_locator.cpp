#include "reader/symbol_locator.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>

#include "reader/binarizer.h"
#include "reader/finder_search.h"
#include "reader/symbol_sampler.h"
#include "symbol/mode_message.h"

namespace Aztec {

namespace {

// Candidates before their all-round check: data regions and textures give many.
constexpr int kMaxCandidates = 4000;
// Radius in modules the edge refinement reaches before the reference-grid search takes over:
// past the first grid lines (16 modules out).
constexpr int kGridStartRadius = 17;

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

std::array<Point2D, 4> gridCorners(const ModuleMap& t, double s, double ox, double oy) {
  std::array<Point2D, 4> c = {t.map(-s, -s), t.map(s, -s), t.map(s, s), t.map(-s, s)};
  for (Point2D& p : c) {
    p.x += ox;
    p.y += oy;
  }
  return c;
}

class Search {
 public:
  Search(const LumaPlane& plane, const ReaderOptions& options, const ContentDecoder& decode,
         const RuneDecoder& rune, double ox, double oy)
      : plane_(plane), options_(options), decode_(decode), rune_(rune), ox_(ox), oy_(oy), binarizer_(plane) {}

  std::optional<Accepted> read(const FinderCandidate& cand) const {
    const bool tryFullFirst = cand.maybeFullRange;
    for (int attempt = 0; attempt < 2; ++attempt) {
      const bool full = (attempt == 0) == tryFullFirst;
      if (auto a = readAs(cand, full)) return a;
    }
    return std::nullopt;
  }

  const Binarizer& binarizer() const { return binarizer_; }

 private:
  std::optional<Accepted> readAs(const FinderCandidate& cand, bool full) const {
    const auto corners = locateRingCorners(binarizer_, cand, full);
    if (!corners) return std::nullopt;
    const auto t0 = finderTransform(*corners, full ? 5.5 : 3.5);
    if (!t0) return std::nullopt;
    const PolarPlane pp(plane_, cand.inverted);
    // A finder seen through its own fit must look like one; most false candidates end here.
    const int finderErrors = finderPatternErrors(pp, *t0, full);
    if (finderErrors * 10 > (full ? 169 : 81)) return std::nullopt;

    SymbolCandidate params;
    bool found = false;
    std::vector<BitRing> compactRings;
    for (double scale : {1.0, 0.96, 1.04}) {
      const std::vector<BitRing> rings = modeRings(pp, *t0, full, scale);
      for (const BitRing& ring : rings) {
        SymbolCandidate p;
        p.symbolType = full ? kFullRange : kCompact;
        if (decodeModeMessage(p, ring)) {
          params = p;
          found = true;
          break;
        }
      }
      if (found) break;
      if (!full && scale == 1.0) compactRings = rings;
    }
    if (!found) {
      // A rune has only its 20 check bits to vouch for it: demand a clean finder.
      if (!full && options_.readRunes && rune_ && finderErrors <= 2)
        return readRune(compactRings, *t0, cand.inverted);
      return std::nullopt;
    }
    params.center = t0->map(0.0, 0.0);
    params.corners = {t0->map(-3.0, -3.0), t0->map(3.0, -3.0), t0->map(3.0, 3.0), t0->map(-3.0, 3.0)};
    if (full)
      params.corners = {t0->map(-5.0, -5.0), t0->map(5.0, -5.0), t0->map(5.0, 5.0), t0->map(-5.0, 5.0)};

    // Large full-range symbols through their reference grid: the lines near the finder from a
    // transform refined that far, one transform per grid cell beyond.
    if (full) {
      const PerspectiveTransform inner = refineOnEdges(pp, *t0, params, kGridStartRadius);
      if (const auto cells = gridCellMap(pp, inner, params))
        if (auto a = decodeWith(pp, *cells, params, cand.inverted)) return a;
    }
    const PerspectiveTransform refined = refineOnEdges(pp, *t0, params);
    for (const PerspectiveTransform* t : {&refined, &*t0}) {
      if (auto a = decodeWith(pp, *t, params, cand.inverted)) return a;
      if (params.symbolSize > 19) break;  // the finder's own fit only reaches small symbols
    }
    return std::nullopt;
  }

  std::optional<Accepted> decodeWith(const PolarPlane& pp, const ModuleMap& t, const SymbolCandidate& params,
                                     bool inverted) const {
    const ModuleValues values = sampleModules(pp, t, params);
    const Levels lv = finderLevels(pp, t, params.symbolType == kFullRange);
    const double contrast = lv.light - lv.dark;
    const int finderModules = params.symbolType == kFullRange ? 169 : 81;
    for (double shift : {0.0, -0.1, 0.1, -0.2, 0.2}) {
      LocatedSymbol located;
      located.parameters = params;
      located.grid = binarizeModules(values, shift, contrast);
      // A finder that does not look like one means the grid is not on the symbol.
      if (finderMismatches(located.grid, params) * 8 > finderModules) continue;
      located.inverted = inverted;
      const double s = params.symbolSize / 2.0;
      located.corners = gridCorners(t, s, ox_, oy_);
      auto r = decode_(located);
      // Keep a margin of check codewords unused: a grid read at the limit of the correction
      // is as likely a wrong message as a right one.
      if (r && (r->correctedCodewords == 0 || 2 * r->correctedCodewords + 2 <= r->checkCodewords)) {
        Accepted a;
        a.result = std::move(*r);
        a.quad = gridCorners(t, s, 0.0, 0.0);
        return a;
      }
    }
    return std::nullopt;
  }

  // A rune is the 11 x 11 square of the finder and its ring: the ring as read becomes the
  // border of the grid, the finder its inside.
  std::optional<Accepted> readRune(const std::vector<BitRing>& rings, const PerspectiveTransform& t,
                                   bool inverted) const {
    constexpr int q = 10;
    for (const BitRing& ring : rings) {
      LocatedSymbol located;
      located.grid.assign(q + 1, std::vector<bool>(q + 1));
      for (int x = 0; x <= q; ++x)
        for (int y = 0; y <= q; ++y) located.grid[x][y] = std::max(std::abs(x - 5), std::abs(y - 5)) % 2 == 0;
      for (int i = 0; i < q; ++i) {
        located.grid[i][0] = ring.get(i);
        located.grid[q][i] = ring.get(q + i);
        located.grid[q - i][q] = ring.get(2 * q + i);
        located.grid[0][q - i] = ring.get(3 * q + i);
      }
      located.inverted = inverted;
      located.corners = gridCorners(t, 5.5, ox_, oy_);
      auto r = rune_(located);
      if (r && r->correctedCodewords <= 1) {
        Accepted a;
        a.result = std::move(*r);
        a.quad = gridCorners(t, 5.5, 0.0, 0.0);
        return a;
      }
    }
    return std::nullopt;
  }

  LumaPlane plane_;
  const ReaderOptions& options_;
  const ContentDecoder& decode_;
  const RuneDecoder& rune_;
  double ox_, oy_;
  Binarizer binarizer_;
};

}  // namespace

std::vector<ReadResult> locateAndRead(const LumaView& view, const ReaderOptions& options,
                                      const ContentDecoder& decode, const RuneDecoder& rune) {
  std::vector<ReadResult> out;
  if (options.maxSymbols <= 0) return out;
  // Region of interest clipped to the frame; no width or height means the whole frame.
  int x0 = 0, y0 = 0, x1 = view.width, y1 = view.height;
  if (options.regionWidth > 0 && options.regionHeight > 0) {
    x0 = std::max(0, options.regionX);
    y0 = std::max(0, options.regionY);
    x1 = static_cast<int>(
        std::min<long long>(view.width, static_cast<long long>(options.regionX) + options.regionWidth));
    y1 = static_cast<int>(
        std::min<long long>(view.height, static_cast<long long>(options.regionY) + options.regionHeight));
  }
  if (x1 - x0 < 9 || y1 - y0 < 9) return out;
  LumaPlane plane;
  plane.data = view.data + static_cast<std::size_t>(y0) * view.stride + x0;
  plane.width = x1 - x0;
  plane.height = y1 - y0;
  plane.stride = view.stride;

  const Search search(plane, options, decode, rune, x0, y0);
  std::vector<FinderCandidate> cands =
      findFinderCandidates(search.binarizer(), true, options.tryInverted, kMaxCandidates);
  const double fcx = view.width * 0.5 - x0, fcy = view.height * 0.5 - y0;
  auto dist = [&](const Point2D& p) { return std::hypot(p.x - fcx, p.y - fcy); };
  std::stable_sort(cands.begin(), cands.end(), [&](const FinderCandidate& a, const FinderCandidate& b) {
    return dist(a.center) < dist(b.center);
  });
  std::vector<Accepted> accepted;
  std::vector<FinderCandidate> tried;
  auto covered = [&](const Point2D& p) {
    for (const Accepted& a : accepted)
      if (insideQuad(a.quad, p)) return true;
    return false;
  };
  for (FinderCandidate c : cands) {
    if (static_cast<int>(accepted.size()) >= options.maxSymbols) break;
    if (covered(c.center) || !verifyFinder(search.binarizer(), c) || covered(c.center)) continue;
    // Neighbouring candidates often verify to the same finder: read it once.
    bool seen = false;
    for (const FinderCandidate& t : tried) {
      const double r = 0.25 * t.moduleMin + 0.5;
      seen |= t.inverted == c.inverted && std::abs(t.center.x - c.center.x) < r &&
              std::abs(t.center.y - c.center.y) < r;
    }
    if (seen) continue;
    tried.push_back(c);
    if (auto a = search.read(c)) {
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

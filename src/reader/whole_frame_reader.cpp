// The whole-frame reader, top to bottom: frame -> binarise -> find finders -> locate the ring
// corners -> read the mode message -> sample -> correct and decode the text. Each stage lives in
// the file named for it; this file only chains them and decides what to accept.

#include <aztec/reader.h>

#include <algorithm>
#include <chrono>
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

// The stages are internal; this file wires them together into the public reader.
using namespace detail;

namespace {

using namespace Tuning;

// Times a step into the trace, when there is one.
class StepTimer {
 public:
  StepTimer(ReadTrace* trace, TraceStep step) : trace_(trace), step_(static_cast<int>(step)) {
    if (trace_ != nullptr) start_ = std::chrono::steady_clock::now();
  }
  ~StepTimer() { stop(); }
  // Ends the step before the end of the scope.
  void stop() {
    if (trace_ == nullptr) return;
    ++trace_->stepCounts[step_];
    trace_->stepMilliseconds[step_] +=
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
    trace_ = nullptr;
  }
  StepTimer(const StepTimer&) = delete;
  StepTimer& operator=(const StepTimer&) = delete;

 private:
  ReadTrace* trace_;  // null once stopped
  int step_;
  std::chrono::steady_clock::time_point start_;
};

// How far one attempt at a candidate got, and why it stopped: the first reason at the furthest
// stage counts. Module centres are kept only for a trace.
struct Progress {
  TraceStage stage = TraceStage::Verified;
  TraceStop stop = TraceStop::None;
  bool fullRange = false;
  std::optional<std::array<Point2D, 4>> ringCorners;
  bool keepCentres = false;
  std::vector<Point2D> moduleCentres;
  // Grids of this attempt that were binarised and did not read: another shift or transform often
  // gives the same grid again, and it would fail again the same way.
  std::vector<SampledGrid> failedGrids;

  void reached(TraceStage s, TraceStop why) {
    if (s > stage || (s == stage && stop == TraceStop::None)) {
      stage = s;
      stop = why;
    }
  }
};

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

// Plane coordinates to frame pixels: the plane is the region of interest, perhaps at a
// reduced resolution.
struct ToFrame {
  double scale = 1.0, ox = 0.0, oy = 0.0;
  Point2D operator()(const Point2D& p) const { return {p.x * scale + ox, p.y * scale + oy}; }
};

// The corners of the grid square of half-side s, in the coordinates `to` gives.
std::array<Point2D, 4> gridCorners(const ModuleMap& t, double s, const ToFrame& to) {
  std::array<Point2D, 4> c = {t.map(-s, -s), t.map(s, -s), t.map(s, s), t.map(-s, s)};
  for (Point2D& p : c) p = to(p);
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
  CandidateReader(const Binarizer& binarizer, const ReaderOptions& options, const ToFrame& toFrame,
                  ReadTrace* trace)
      : binarizer_(binarizer), options_(options), toFrame_(toFrame), trace_(trace) {}

  // Tried as the kind the rings suggest first, then as the other. `furthest` receives the
  // attempt that got furthest.
  std::optional<Accepted> read(const FinderCandidate& cand, Progress& furthest) const {
    const bool tryFullFirst = cand.maybeFullRange;
    for (int attempt = 0; attempt < 2; ++attempt) {
      const bool full = (attempt == 0) == tryFullFirst;
      Progress p;
      p.fullRange = full;
      p.keepCentres = trace_ != nullptr;
      auto a = readAs(cand, full, p);
      if (attempt == 0 || p.stage > furthest.stage) furthest = std::move(p);
      if (a) return a;
    }
    return std::nullopt;
  }

 private:
  std::optional<Accepted> readAs(const FinderCandidate& cand, bool full, Progress& p) const {
    // Locate: the ring corners, and the grid transform through them.
    std::optional<std::array<Point2D, 4>> corners;
    {
      const StepTimer timer(trace_, TraceStep::RingCorners);
      corners = locateRingCorners(binarizer_, cand, full);
    }
    if (!corners) return fail(p, TraceStage::Verified, TraceStop::NoRingCorners);
    p.ringCorners = corners;
    p.reached(TraceStage::RingCorners, TraceStop::None);

    StepTimer modeTimer(trace_, TraceStep::ModeMessage);
    const auto t0 = finderTransform(*corners, full ? 5.5 : 3.5);
    if (!t0) return fail(p, TraceStage::RingCorners, TraceStop::DegenerateFit);
    const PolarPlane pp(binarizer_.plane(), cand.inverted);
    // A finder seen through its own fit must look like one; most false candidates end here.
    const int finderErrors = finderPatternErrors(pp, *t0, full);
    const int finderModules = full ? 169 : 81;
    if (finderErrors * 100 > kFinderFitMaxBadPercent * finderModules)
      return fail(p, TraceStage::RingCorners, TraceStop::FinderMismatch);
    p.reached(TraceStage::FinderFit, TraceStop::None);

    // Mode message.
    std::vector<BitRing> runeRings;
    const std::optional<SymbolCandidate> params = readModeMessage(pp, *t0, full, runeRings);
    if (!params) {
      if (!full && options_.readRunes && finderErrors <= kRuneMaxFinderErrors)
        if (auto a = readRune(runeRings, *t0, cand.inverted)) {
          p.reached(TraceStage::Decoded, TraceStop::None);
          return a;
        }
      return fail(p, TraceStage::FinderFit, TraceStop::NoModeMessage);
    }
    modeTimer.stop();
    p.reached(TraceStage::ModeMessage, TraceStop::None);
    // A mode message misread as a larger symbol than the frame can hold would have every grid
    // sampled and corrected in vain (a 151-module grid costs milliseconds each time); with most
    // of the symbol outside the frame, no correction could restore it anyway.
    if (insideShare(*t0, params->symbolSize) < kMinInsideShare)
      return fail(p, TraceStage::ModeMessage, TraceStop::OutsideFrame);

    // Large full-range symbols through their reference grid: the lines near the finder from a
    // transform refined that far, one transform per grid cell beyond.
    bool cellMapped = false;
    if (full) {
      std::optional<ModuleMap> cells;
      {
        const StepTimer timer(trace_, TraceStep::Sample);
        cells = gridCellMap(pp, refineOnEdges(pp, *t0, *params, kGridStartRadius), *params);
      }
      cellMapped = cells.has_value();
      if (cells)
        if (auto a = decodeWith(pp, *cells, *params, cand.inverted, p)) return a;
    }
    // Sample through the transform refined on the module edges, then the finder's own fit.
    PerspectiveTransform refined;
    {
      const StepTimer timer(trace_, TraceStep::Sample);
      refined = refineOnEdges(pp, *t0, *params);
    }
    for (const PerspectiveTransform* t : {static_cast<const PerspectiveTransform*>(&refined), &*t0}) {
      if (auto a = decodeWith(pp, *t, *params, cand.inverted, p)) return a;
      if (params->symbolSize > kFinderFitMaxSymbol) break;
    }
    // A symbol that one transform does not hold (curved, seen through a lens) and that has no
    // grid cells of its own (compact, or full-range without reference lines beyond the finder's
    // or with too few of them seen): each module where the edges around it put it.
    if (!cellMapped) {
      std::optional<GridOffsets> offsets;
      {
        const StepTimer timer(trace_, TraceStep::Sample);
        offsets = localGridOffsets(pp, refined, *params);
      }
      if (offsets)
        if (auto a = decodeWith(pp, refined, *params, cand.inverted, p, &*offsets)) return a;
    }
    return std::nullopt;
  }

  // The share of a lattice of points over the symbol's grid that the transform puts inside the
  // plane.
  double insideShare(const PerspectiveTransform& t, int symbolSize) const {
    const LumaPlane& plane = binarizer_.plane();
    const double half = symbolSize / 2.0;
    constexpr int kLattice = 11;
    int inside = 0;
    for (int i = 0; i < kLattice; ++i)
      for (int j = 0; j < kLattice; ++j) {
        const Point2D q =
            t.map(-half + 2.0 * half * i / (kLattice - 1), -half + 2.0 * half * j / (kLattice - 1));
        inside += q.x >= 0.0 && q.y >= 0.0 && q.x < plane.width && q.y < plane.height;
      }
    return static_cast<double>(inside) / (kLattice * kLattice);
  }

  static std::optional<Accepted> fail(Progress& p, TraceStage stage, TraceStop why) {
    p.reached(stage, why);
    return std::nullopt;
  }

  // Sampled modules binarised at a few shifts of the local thresholds; correct and decode.
  // With `offsets`, each module is sampled where they move it off the transform.
  std::optional<Accepted> decodeWith(const PolarPlane& pp, const ModuleMap& t, const SymbolCandidate& params,
                                     bool inverted, Progress& p, const GridOffsets* offsets = nullptr) const {
    const StepTimer sampleTimer(trace_, TraceStep::Sample);
    const ModuleValues sampled =
        offsets != nullptr ? sampleModulesAt(pp, t, params, *offsets) : sampleModules(pp, t, params);
    const Levels lv = finderLevels(pp, t, params.symbolType == kFullRange);
    const double contrast = lv.light - lv.dark;
    if (p.keepCentres) {
      const int n = params.symbolSize, half = n / 2;
      p.moduleCentres.clear();
      for (int x = 0; x < n; ++x)
        for (int y = 0; y < n; ++y) {
          const std::size_t i = static_cast<std::size_t>(x) * n + y;
          const Point2D c = offsets != nullptr ? t.map(x - half + offsets->dx[i], y - half + offsets->dy[i])
                                               : t.map(x - half, y - half);
          p.moduleCentres.push_back(toFrame_(c));
        }
    }
    // As sampled, then with the neighbours' spill taken out (a blur as wide as a module).
    for (double spill : {0.0, kModuleSpill}) {
      const ModuleValues values = spill > 0.0 ? unmixModules(sampled, spill, pp, t, params) : sampled;
      if (auto a = decodeValues(values, t, params, inverted, contrast, p)) return a;
    }
    return std::nullopt;
  }

  // Module values binarised at each shift in turn, corrected and decoded.
  std::optional<Accepted> decodeValues(const ModuleValues& values, const ModuleMap& t,
                                       const SymbolCandidate& params, bool inverted, double contrast,
                                       Progress& p) const {
    const int finderModules = params.symbolType == kFullRange ? 169 : 81;
    const double s = params.symbolSize / 2.0;
    for (double shift : kDataShifts) {
      LocatedSymbol located;
      located.parameters = params;
      located.grid = binarizeModules(values, shift, contrast);
      if (std::find(p.failedGrids.begin(), p.failedGrids.end(), located.grid) != p.failedGrids.end())
        continue;
      p.failedGrids.push_back(located.grid);
      // A finder that does not look like one means the grid is not on the symbol.
      if (finderMismatches(located.grid, params) * kGridFinderMaxBadDivisor > finderModules) {
        p.reached(TraceStage::ModeMessage, TraceStop::SampledMismatch);
        continue;
      }
      p.reached(TraceStage::Sampled, TraceStop::None);
      located.inverted = inverted;
      located.corners = gridCorners(t, s, toFrame_);
      std::optional<ReadResult> r;
      {
        const StepTimer timer(trace_, TraceStep::Decode);
        r = decodeSymbolContent(located);
      }
      if (!r) {
        p.reached(TraceStage::Sampled, TraceStop::Uncorrectable);
        continue;
      }
      if (r->correctedCodewords == 0 ||
          2 * r->correctedCodewords + kCorrectionMarginWords <= r->checkCodewords) {
        p.reached(TraceStage::Decoded, TraceStop::None);
        return Accepted{std::move(*r), gridCorners(t, s, ToFrame{})};
      }
      p.reached(TraceStage::Decoded, TraceStop::CorrectionMargin);
    }
    return std::nullopt;
  }

  // A rune is the 11 x 11 square of the finder and its ring, which holds the value.
  std::optional<Accepted> readRune(const std::vector<BitRing>& rings, const PerspectiveTransform& t,
                                   bool inverted) const {
    for (const BitRing& ring : rings) {
      auto r = decodeRuneRing(ring, inverted, gridCorners(t, 5.5, toFrame_));
      if (r && r->correctedCodewords <= kRuneMaxCorrected)
        return Accepted{std::move(*r), gridCorners(t, 5.5, ToFrame{})};
    }
    return std::nullopt;
  }

  const Binarizer& binarizer_;
  const ReaderOptions& options_;
  ToFrame toFrame_;
  ReadTrace* trace_;
};

// The trace's record of a candidate, in frame pixels.
TraceCandidate traced(const FinderCandidate& c, const ToFrame& to, TraceStage stage, TraceStop stop) {
  TraceCandidate t;
  t.centre = to(c.center);
  t.moduleSize = c.moduleMin * to.scale;
  t.inverted = c.inverted;
  t.fullRange = c.maybeFullRange;
  t.stage = stage;
  t.stop = stop;
  return t;
}

// The plane at half resolution, each pixel the mean of 2 x 2 (a last odd row or column is
// dropped).
class HalfPlane {
 public:
  explicit HalfPlane(const LumaPlane& p) : pixels_(static_cast<std::size_t>(p.width / 2) * (p.height / 2)) {
    plane_.width = p.width / 2, plane_.height = p.height / 2, plane_.stride = plane_.width;
    for (int y = 0; y < plane_.height; ++y) {
      const std::uint8_t* a = p.data + static_cast<std::size_t>(2 * y) * p.stride;
      const std::uint8_t* b = a + p.stride;
      std::uint8_t* out = pixels_.data() + static_cast<std::size_t>(y) * plane_.width;
      for (int x = 0; x < plane_.width; ++x)
        out[x] = static_cast<std::uint8_t>((a[2 * x] + a[2 * x + 1] + b[2 * x] + b[2 * x + 1] + 2) >> 2);
    }
    plane_.data = pixels_.data();
  }
  const LumaPlane& plane() const { return plane_; }

 private:
  std::vector<std::uint8_t> pixels_;
  LumaPlane plane_;
};

// Every symbol read in one plane, nearest to the frame centre first; `quad` in plane coordinates.
// `tried` holds the finders read already (in frame pixels), by this pass or an earlier one.
// `fine`, when given, is the plane at twice this one's resolution, binarised: a finder found here
// is read there first.
std::vector<Accepted> readPlane(const Binarizer& binarizer, const ToFrame& toFrame, const LumaView& view,
                                const ReaderOptions& options, std::vector<FinderCandidate>& tried,
                                ReadTrace* trace, const Binarizer* fine = nullptr) {
  const LumaPlane& plane = binarizer.plane();
  if (trace != nullptr && toFrame.scale == 1.0) {
    trace->flatBlockSize = 1 << Binarizer::kShift;
    trace->flatColumns = binarizer.blocksX();
    trace->flatRows = binarizer.blocksY();
    trace->flatOrigin = {toFrame.ox, toFrame.oy};
    trace->flat = binarizer.flatBlocks();
  }
  std::vector<FinderHit> hits;
  {
    const StepTimer timer(trace, TraceStep::FindFinders);
    hits = scanFinderHits(binarizer, true, options.tryInverted);
  }
  const double fcx = (view.width * 0.5 - toFrame.ox) / toFrame.scale;
  const double fcy = (view.height * 0.5 - toFrame.oy) / toFrame.scale;
  auto dist = [&](const Point2D& p) { return std::hypot(p.x - fcx, p.y - fcy); };

  // The hits by region, the regions nearest to the frame centre first. Each region has its own
  // budget of confirmations and failed reads, so a busy texture in one part of the frame costs a
  // bounded time there and leaves every other part its own.
  const int regionsX = (plane.width + kRegionSize - 1) / kRegionSize;
  const int regionsY = (plane.height + kRegionSize - 1) / kRegionSize;
  const auto regionOfPoint = [&](double x, double y) {
    const int rx = std::clamp(static_cast<int>(x) / kRegionSize, 0, regionsX - 1);
    const int ry = std::clamp(static_cast<int>(y) / kRegionSize, 0, regionsY - 1);
    return static_cast<std::size_t>(ry) * regionsX + rx;
  };
  // Each region's list sized exactly: textures give thousands of hits, and lists grown by
  // doubling would hold up to twice their room.
  std::vector<std::vector<FinderHit>> regionHits(static_cast<std::size_t>(regionsX) * regionsY);
  {
    std::vector<std::size_t> counts(regionHits.size());
    for (const FinderHit& h : hits) ++counts[regionOfPoint(h.x, h.y)];
    for (std::size_t r = 0; r < regionHits.size(); ++r) regionHits[r].reserve(counts[r]);
  }
  for (const FinderHit& h : hits) regionHits[regionOfPoint(h.x, h.y)].push_back(h);
  std::vector<FinderHit>().swap(hits);
  std::vector<std::size_t> order;
  for (std::size_t r = 0; r < regionHits.size(); ++r)
    if (!regionHits[r].empty()) order.push_back(r);
  auto regionDistance = [&](std::size_t r) {
    const double cx = (static_cast<double>(r % regionsX) + 0.5) * kRegionSize;
    const double cy = (static_cast<double>(r / regionsX) + 0.5) * kRegionSize;
    return dist({std::min(cx, plane.width * 1.0), std::min(cy, plane.height * 1.0)});
  };
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t x, std::size_t y) { return regionDistance(x) < regionDistance(y); });

  const CandidateReader reader(binarizer, options, toFrame, trace);
  const ToFrame fineToFrame{toFrame.scale * 0.5, toFrame.ox, toFrame.oy};
  std::vector<Accepted> accepted;
  auto covered = [&](const Point2D& p) {
    for (const Accepted& a : accepted)
      if (insideQuad(a.quad, p)) return true;
    return false;
  };
  auto note = [&](const FinderCandidate& c, TraceStage stage, TraceStop stop) {
    if (trace != nullptr) trace->candidates.push_back(traced(c, toFrame, stage, stop));
  };
  // Confirmed candidates by region, for the neighbourhood look-ups: one of the polarity near
  // (x, y), within its own same-centre radius or within `radius` when that is given.
  std::vector<std::vector<FinderCandidate>> confirmed(regionHits.size());
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
  // One candidate checked all round and read; false when that cost something and gave nothing.
  auto attempt = [&](FinderCandidate c) -> bool {
    if (static_cast<int>(accepted.size()) >= options.maxSymbols) {
      note(c, TraceStage::Found, TraceStop::SymbolLimit);
      return true;
    }
    if (covered(c.center)) {
      note(c, TraceStage::Found, TraceStop::InsideSymbol);
      return true;
    }
    // A finder an earlier pass read already is not read again at a coarser resolution.
    auto seen = [&](const FinderCandidate& x) {
      const Point2D f = toFrame(x.center);
      for (const FinderCandidate& t : tried) {
        const double r = sameCentreRadius(t);
        if (t.inverted == x.inverted && std::abs(t.center.x - f.x) < r && std::abs(t.center.y - f.y) < r)
          return true;
      }
      return false;
    };
    if (toFrame.scale != 1.0 && seen(c)) {
      note(c, TraceStage::Found, TraceStop::SameFinder);
      return true;
    }
    bool verified = false;
    {
      const StepTimer timer(trace, TraceStep::CheckRings);
      verified = verifyFinder(binarizer, c);
    }
    if (!verified) {
      note(c, TraceStage::Found, TraceStop::RingsBroken);
      return false;
    }
    if (covered(c.center)) {
      note(c, TraceStage::Verified, TraceStop::InsideSymbol);
      return true;
    }
    // Neighbouring candidates often verify to the same finder: read it once.
    if (seen(c)) {
      note(c, TraceStage::Verified, TraceStop::SameFinder);
      return true;
    }
    FinderCandidate inFrame = c;
    inFrame.center = toFrame(c.center);
    inFrame.moduleMin *= toFrame.scale, inFrame.moduleMax *= toFrame.scale;
    tried.push_back(inFrame);
    Progress progress;
    bool succeeded = false;
    // Blur that hides a finder at full resolution leaves it at half, but its modules are sampled
    // better at full resolution: there first, the quad brought back to this plane.
    std::optional<Accepted> a;
    if (fine != nullptr) {
      const CandidateReader fineReader(*fine, options, fineToFrame, trace);
      FinderCandidate f = c;
      f.center = {c.center.x * 2.0, c.center.y * 2.0};
      f.moduleMin *= 2.0, f.moduleMax *= 2.0;
      a = fineReader.read(f, progress);
      if (a)
        for (Point2D& q : a->quad) q = {q.x * 0.5, q.y * 0.5};
    }
    if (!a) a = reader.read(c, progress);
    if (a) {
      const Point2D centre{(a->quad[0].x + a->quad[2].x) * 0.5, (a->quad[0].y + a->quad[2].y) * 0.5};
      // The same symbol through another finder estimate.
      if (covered(centre)) {
        progress.reached(TraceStage::Decoded, TraceStop::SameSymbol);
        a.reset();
      } else {
        progress.reached(TraceStage::Accepted, TraceStop::None);
        a->distance = dist(centre);
        accepted.push_back(std::move(*a));
        succeeded = true;
      }
    }
    if (trace != nullptr) {
      TraceCandidate t = traced(c, toFrame, progress.stage, progress.stop);
      t.fullRange = progress.fullRange;
      if (progress.ringCorners) {
        t.ringCorners = progress.ringCorners;
        for (Point2D& q : *t.ringCorners) q = toFrame(q);
      }
      t.moduleCentres = std::move(progress.moduleCentres);
      trace->candidates.push_back(std::move(t));
    }
    return succeeded;
  };

  // Work beyond each region's owed share, for the whole plane.
  int confirmPool = kPlaneConfirmPool, failurePool = kPlaneFailurePool;
  for (std::size_t region : order) {
    if (static_cast<int>(accepted.size()) >= options.maxSymbols) break;
    const std::vector<FinderHit>& list = regionHits[region];
    // Nearest to the frame centre first; in a region with more hits than it may confirm, those
    // with the light ring around them first.
    const bool crowded = static_cast<int>(list.size()) > kRegionConfirms;
    struct Ranked {
      int ring;
      double distance2;
      std::size_t index;
    };
    // Hits inside a symbol read already stay inside it: they are passed over unranked (the data
    // of a large symbol gives thousands).
    std::vector<Ranked> byRank;
    byRank.reserve(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (!accepted.empty() && covered({list[i].x, list[i].y})) continue;
      const double dx = list[i].x - fcx, dy = list[i].y - fcy;
      byRank.push_back({crowded ? lightRingScore(binarizer, list[i]) : 0, dx * dx + dy * dy, i});
    }
    const auto ahead = [](const Ranked& x, const Ranked& y) {
      if (x.ring != y.ring) return x.ring > y.ring;
      if (x.distance2 != y.distance2) return x.distance2 < y.distance2;
      return x.index < y.index;
    };
    // Only the head of a crowded region is ever looked at: sorted a slice at a time.
    const std::size_t slice = 2 * kRegionConfirms;
    std::size_t sortedEnd = 0;

    // Confirm; hits close to a confirmed centre add nothing.
    std::vector<FinderCandidate> cands;
    int confirms = 0;
    for (std::size_t r = 0; r < byRank.size(); ++r) {
      if (r == sortedEnd) {
        sortedEnd = std::min(byRank.size(), sortedEnd + slice);
        std::partial_sort(byRank.begin() + static_cast<std::ptrdiff_t>(r),
                          byRank.begin() + static_cast<std::ptrdiff_t>(sortedEnd), byRank.end(), ahead);
      }
      const FinderHit& h = list[byRank[r].index];
      if (covered({h.x, h.y}) || known(h.x, h.y, h.inverted, 0.0)) continue;
      if (confirms >= kRegionConfirms) break;
      if (confirms >= kRegionOwedConfirms) {
        if (confirmPool == 0) break;
        --confirmPool;
      }
      ++confirms;
      auto c = confirmHit(binarizer, h);
      // A confirmed centre a little off an earlier one is kept: the earlier may fail the
      // all-round check where this one passes.
      if (!c || known(c->center.x, c->center.y, c->inverted, kConfirmedSameCentre)) continue;
      confirmed[regionOfPoint(c->center.x, c->center.y)].push_back(*c);
      cands.push_back(*c);
    }
    // The candidates whose rings cross more directions first, then nearest to the centre.
    std::stable_sort(cands.begin(), cands.end(), [&](const FinderCandidate& x, const FinderCandidate& y) {
      if (x.quality != y.quality) return x.quality > y.quality;
      return dist(x.center) < dist(y.center);
    });
    int failures = 0;
    for (const FinderCandidate& c : cands) {
      if (failures >= kRegionFailures || (failures >= kRegionOwedFailures && failurePool == 0)) break;
      if (!attempt(c) && ++failures > kRegionOwedFailures) --failurePool;
    }
  }
  std::stable_sort(accepted.begin(), accepted.end(),
                   [](const Accepted& a, const Accepted& b) { return a.distance < b.distance; });
  return accepted;
}

}  // namespace

std::vector<ReadResult> WholeFrameReader::read(const LumaView& view) const {
  return read(view, nullptr);
}

std::vector<ReadResult> WholeFrameReader::read(const LumaView& view, ReadTrace* trace) const {
  validateView(view);
  if (trace != nullptr) *trace = ReadTrace{};
  std::vector<ReadResult> out;
  if (options_.maxSymbols <= 0) return out;
  int x0 = 0, y0 = 0;
  const LumaPlane plane = regionOf(view, options_, x0, y0);
  if (plane.data == nullptr) return out;

  std::vector<FinderCandidate> tried;
  const Binarizer full = [&] {
    const StepTimer timer(trace, TraceStep::Binarise);
    return Binarizer(plane);
  }();
  std::vector<Accepted> accepted =
      readPlane(full, ToFrame{1.0, double(x0), double(y0)}, view, options_, tried, trace);
  // Texture finer than a module (a display's pixel grid, a halftone) and blur break the runs
  // through a finder into specks at full resolution; the mean of each 2 x 2 pixels smooths them
  // away.
  if (accepted.empty() && plane.width >= 2 * kMinRegionSide && plane.height >= 2 * kMinRegionSide) {
    const HalfPlane half(plane);
    const Binarizer coarse = [&] {
      const StepTimer timer(trace, TraceStep::Binarise);
      return Binarizer(half.plane());
    }();
    accepted = readPlane(coarse, ToFrame{2.0, double(x0), double(y0)}, view, options_, tried, trace, &full);
  }
  for (Accepted& a : accepted) out.push_back(std::move(a.result));
  return out;
}

}  // namespace Aztec

// The whole-frame reader's stages one by one on drawn frames of known geometry: the finder
// search's centre and module width, the ring corners, the mode message through the finder's fit,
// and the sampler's transform and modules, each against where the renderer put the symbol.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "reader/binarizer.h"
#include "reader/finder_fit.h"
#include "reader/finder_search.h"
#include "reader/mode_message_reader.h"
#include "reader/ring_corners.h"
#include "reader/symbol_sampler.h"
#include "synth/symbol_frames.h"

namespace {

using namespace Aztec;
using namespace Aztec::detail;

struct Geometry {
  bool fullRange;
  int layers;
  double module, angle, centerX, centerY;
  bool inverted;
  double blur, noise;
};

// Largest errors in pixels: the search's centre is a row's run centre (half-pixel steps), the
// verified one a fitted square's; corners are fitted to many edge crossings.
constexpr double kSearchCentre = 1.0, kVerifiedCentre = 0.5, kRingCorner = 0.25, kSymbolCorner = 0.1;

// The picture point of symbol point (x, y), in modules from the symbol's centre.
Point2D placed(const Geometry& g, double x, double y) {
  const double a = g.angle * std::acos(-1.0) / 180.0;
  return {g.centerX + g.module * (x * std::cos(a) - y * std::sin(a)),
          g.centerY + g.module * (x * std::sin(a) + y * std::cos(a))};
}

double distance(const Point2D& a, const Point2D& b) {
  return std::hypot(a.x - b.x, a.y - b.y);
}

// The largest distance from a corner of the square of half-side `half` (modules) to the nearest of
// `found`; each found corner may serve one true corner only.
double cornerError(const Geometry& g, double half, const std::array<Point2D, 4>& found) {
  double worst = 0.0;
  std::array<bool, 4> used{};
  for (const auto& [sx, sy] : {std::pair{-1, -1}, std::pair{1, -1}, std::pair{1, 1}, std::pair{-1, 1}}) {
    const Point2D truth = placed(g, sx * half, sy * half);
    int best = 0;
    for (int k = 1; k < 4; ++k)
      if (used[best] || (!used[k] && distance(found[k], truth) < distance(found[best], truth))) best = k;
    used[best] = true;
    worst = std::max(worst, distance(found[best], truth));
  }
  return worst;
}

TEST(ReaderStages, DrawnGeometries) {
  const Geometry rows[] = {
      // full-range, layers, module, angle, centre x, y, inverted, blur, noise
      {false, 1, 6.0, 0, 320, 240, false, 0, 0},  {false, 2, 4.0, 30, 200, 150, false, 0, 0},
      {false, 3, 3.0, -20, 450, 300, true, 0, 0}, {false, 4, 5.5, 44, 320, 240, false, 1.0, 4},
      {true, 1, 5.0, 10, 320, 240, false, 0, 0},  {true, 4, 3.5, -35, 300, 220, true, 0.8, 0},
      {true, 8, 4.0, 15, 330, 250, false, 0, 6},  {true, 12, 3.0, -5, 320, 240, false, 0.6, 0},
  };
  for (const Geometry& g : rows) {
    SCOPED_TRACE(testing::Message() << (g.fullRange ? "full-range " : "compact ") << g.layers << " module "
                                    << g.module << " angle " << g.angle << (g.inverted ? " inverted" : ""));
    const AztecTest::EncodedSymbol symbol = AztecTest::encodeText(
        "STAGES 42", g.fullRange ? AztecTest::SymbolKind::FullRange : AztecTest::SymbolKind::Compact,
        g.layers);
    AztecTest::RenderOptions o;
    o.moduleSize = g.module, o.angleDegrees = g.angle, o.centerX = g.centerX, o.centerY = g.centerY;
    o.blurSigma = g.blur, o.noiseSigma = g.noise;
    if (g.inverted) std::swap(o.dark, o.light);
    const Velmora::Image::GrayBuf frame = AztecTest::renderSymbol(symbol, o);
    const Binarizer binarizer(LumaPlane{frame.row(0), frame.width(), frame.height(), frame.stride()});
    const Point2D centre{g.centerX, g.centerY};

    // Finder search: a candidate at the centre, of the symbol's polarity and module width.
    std::vector<FinderCandidate> found;
    for (const FinderHit& hit : scanFinderHits(binarizer, !g.inverted, g.inverted))
      if (auto c = confirmHit(binarizer, hit)) found.push_back(*c);
    ASSERT_FALSE(found.empty());
    FinderCandidate cand = found.front();
    for (const FinderCandidate& c : found)
      if (distance(c.center, centre) < distance(cand.center, centre)) cand = c;
    EXPECT_LE(distance(cand.center, centre), kSearchCentre);
    EXPECT_EQ(cand.inverted, g.inverted);
    // A row crosses a module turned by the angle over module / cos(angle) pixels.
    const double a = g.angle * std::acos(-1.0) / 180.0;
    const double across = g.module / std::max(std::abs(std::cos(a)), std::abs(std::sin(a)));
    EXPECT_LE(cand.moduleMin, 1.1 * across);
    EXPECT_GE(cand.moduleMax, 0.9 * g.module);
    ASSERT_TRUE(verifyFinder(binarizer, cand));
    EXPECT_LE(distance(cand.center, centre), kVerifiedCentre);

    // Ring corners: the edge between the outermost light ring and the dark ring around it.
    const double edge = g.fullRange ? 5.5 : 3.5;
    const auto corners = locateRingCorners(binarizer, cand, g.fullRange);
    ASSERT_TRUE(corners.has_value());
    EXPECT_LE(cornerError(g, edge, *corners), kRingCorner);

    // Mode message through the finder's fit.
    const auto fit = finderTransform(*corners, edge);
    ASSERT_TRUE(fit.has_value());
    const PolarPlane plane(binarizer.plane(), g.inverted);
    std::vector<BitRing> runeRings;
    const auto params = readModeMessage(plane, *fit, g.fullRange, runeRings);
    ASSERT_TRUE(params.has_value());
    EXPECT_EQ(params->layers, symbol.layers);
    EXPECT_EQ(params->dataCodewords, symbol.dataCodewords);
    EXPECT_EQ(params->rotation, 0);
    EXPECT_FALSE(params->mirrored);

    // Sampler: the refined transform puts the symbol's corners in place and every module reads.
    const PerspectiveTransform refined = refineOnEdges(plane, *fit, *params);
    const double half = symbol.size / 2.0;
    const std::array<Point2D, 4> symbolCorners = {refined.map(-half, -half), refined.map(half, -half),
                                                  refined.map(half, half), refined.map(-half, half)};
    EXPECT_LE(cornerError(g, half, symbolCorners), kSymbolCorner);
    const Levels levels = finderLevels(plane, refined, g.fullRange);
    const SampledGrid grid =
        binarizeModules(sampleModules(plane, refined, *params), 0.0, levels.light - levels.dark);
    ASSERT_EQ(static_cast<int>(grid.size()), symbol.size);
    int wrong = 0;
    for (int x = 0; x < symbol.size; ++x)
      for (int y = 0; y < symbol.size; ++y) wrong += grid[x][y] != symbol.modules[y][x];
    EXPECT_EQ(wrong, 0);
  }
}

}  // namespace

// The whole-frame reader's stages one by one on drawn frames of known geometry: the local
// threshold (flat blocks are skipped by the finder search, so a block wrongly called flat hides a
// symbol), the finder search's centre and module width, the ring corners, the mode message
// through the finder's fit, and the sampler's transform and modules, each against where the
// renderer put the symbol.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

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

LumaPlane planeOf(const Velmora::Image::GrayBuf& img) {
  return {img.row(0), img.width(), img.height(), img.stride()};
}

int flatBlocks(const Binarizer& b, int x0, int y0, int x1, int y1) {
  int flat = 0;
  for (int y = y0; y < y1; y += 8)
    for (int x = x0; x < x1; x += 8) flat += b.flat(x, y) ? 1 : 0;
  return flat;
}

TEST(Binarizer, PixelNoiseIsFlatAndSymbolsAreNot) {
  // Uniform and salt-and-pepper noise: single pixels jump, block means hardly move (a rare
  // block's means may spread by chance).
  std::mt19937 g(3);
  for (int kind = 0; kind < 2; ++kind) {
    std::vector<std::uint8_t> px(320 * 240);
    for (auto& v : px) v = static_cast<std::uint8_t>(kind == 0 ? g() % 256 : (g() % 10 == 0 ? 0 : 200));
    const Binarizer b(LumaPlane{px.data(), 320, 240, 320});
    EXPECT_GE(flatBlocks(b, 0, 0, 320, 240), 40 * 30 * 99 / 100) << kind;
  }
  // A full-range symbol at 1.5 pixels a module, its finder far from the quiet zone: every block
  // around the finder sees the symbol, and the threshold splits the finder's colours.
  const AztecTest::EncodedSymbol sym =
      AztecTest::encodeText(std::string(300, 'Q'), AztecTest::SymbolKind::FullRange);
  ASSERT_GE(sym.size, 41);
  for (const double module : {1.5, 4.0}) {
    const auto img = AztecTest::renderSymbol(sym, {.moduleSize = module, .noiseSigma = 6.0});
    const Binarizer b(planeOf(img));
    EXPECT_EQ(flatBlocks(b, 296, 216, 344, 264), 0) << module;
    const int t = b.threshold(320, 240);
    EXPECT_GT(t, 60) << module;
    EXPECT_LT(t, 190) << module;
  }
  std::vector<std::uint8_t> grey(64 * 64, 128);
  EXPECT_EQ(flatBlocks(Binarizer(LumaPlane{grey.data(), 64, 64, 64}), 0, 0, 64, 64), 64);
}

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
    const Binarizer binarizer(planeOf(frame));
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

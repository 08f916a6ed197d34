// The whole-frame reader: its stages one by one (threshold, finder search, ring corners, mode
// message, sampler) on drawn frames, against where the renderer put the symbol; then the search
// focused: several symbols and their order, options, corners, runes, invalid views, a busy frame
// and the trace. The corpus under every condition is in corpus_test.cpp.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "reader/binarizer.h"
#include "reader/finder_fit.h"
#include "reader/finder_search.h"
#include "reader/mode_message_reader.h"
#include "reader/ring_corners.h"
#include "reader/symbol_sampler.h"
#include "support/reader_helpers.h"

namespace {

using namespace Aztec;
using namespace Aztec::detail;
using namespace AztecTest;
using Velmora::Image::GrayBuf;

LumaPlane planeOf(const GrayBuf& img) {
  return {img.row(0), img.width(), img.height(), img.stride()};
}

int flatBlocks(const Binarizer& b, int x0, int y0, int x1, int y1) {
  int flat = 0;
  for (int y = y0; y < y1; y += 8)
    for (int x = x0; x < x1; x += 8) flat += b.flat(x, y) ? 1 : 0;
  return flat;
}

// The finder search skips flat blocks, so a block wrongly called flat hides a symbol.
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
  const EncodedSymbol sym = encodeText(std::string(300, 'Q'), SymbolKind::FullRange);
  ASSERT_GE(sym.size, 41);
  for (const double module : {1.5, 4.0}) {
    const auto img = renderSymbol(sym, {.moduleSize = module, .noiseSigma = 6.0});
    const Binarizer b(planeOf(img));
    EXPECT_EQ(flatBlocks(b, 296, 216, 344, 264), 0) << module;
    const int t = b.threshold(320, 240);
    EXPECT_GT(t, 60) << module;
    EXPECT_LT(t, 190) << module;
  }
  std::vector<std::uint8_t> grey(64 * 64, 128);
  EXPECT_EQ(flatBlocks(Binarizer(LumaPlane{grey.data(), 64, 64, 64}), 0, 0, 64, 64), 64);
  // Light falling off across a noisy background is shading, not contrast a finder could make:
  // the background stays flat however far the light falls, the symbol on it does not.
  for (const double fall : {0.3, 0.6}) {
    const auto img =
        renderSymbol(encodeText("SHADE", SymbolKind::Compact),
                     {.moduleSize = 3.0, .noiseSigma = 6.0, .gradient = fall, .gradientAngleDegrees = 30.0});
    const Binarizer b(planeOf(img));
    EXPECT_GE(flatBlocks(b, 0, 0, 640, 160), 80 * 20 * 95 / 100) << fall;
    EXPECT_EQ(flatBlocks(b, 312, 232, 328, 248), 0) << fall;
  }
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
    const EncodedSymbol symbol =
        encodeText("STAGES 42", g.fullRange ? SymbolKind::FullRange : SymbolKind::Compact, g.layers);
    RenderOptions o;
    o.moduleSize = g.module, o.angleDegrees = g.angle, o.centerX = g.centerX, o.centerY = g.centerY;
    o.blurSigma = g.blur, o.noiseSigma = g.noise;
    if (g.inverted) std::swap(o.dark, o.light);
    const GrayBuf frame = renderSymbol(symbol, o);
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
    EXPECT_EQ((std::tuple{params->layers, params->dataCodewords, params->rotation, params->mirrored}),
              (std::tuple{symbol.layers, symbol.dataCodewords, 0, false}));

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

// The samplers read many points at once; each reading must be the one point-by-point reading
// gives, to the last bit: in and off the plane (clamped to its border), on its last row and
// column, at NaN, through one transform and through grid cells, in both polarities. The plane
// is a window of a larger picture, so that a reading past its last row or column would differ.
TEST(ReaderStages, BatchedReadingsMatchPointByPoint) {
  std::mt19937 g(11);
  std::vector<std::uint8_t> px(40 * 26);
  for (auto& v : px) v = static_cast<std::uint8_t>(g() % 256);
  const LumaPlane lp{px.data(), 37, 23, 40};
  std::uniform_real_distribution<double> across(-3.0, 40.0), inside(0.5, 35.5), lastRow(22.5, 30.0);
  // Anywhere, then a batch clear of the last row and column, then one on the last row only.
  std::vector<double> x(150 + 2 * 64), y(x.size());
  for (std::size_t i = 0; i < x.size(); ++i)
    x[i] = i < 150 ? across(g) : inside(g), y[i] = i < 150 ? across(g) : i < 214 ? inside(g) / 2 : lastRow(g);
  x[0] = 36.5, y[0] = 22.5;  // the last pixel's centre
  x[1] = 36.9, y[1] = 0.7;
  x[2] = std::nan(""), y[2] = 5.0;
  std::vector<double> out(x.size());
  for (const int first : {0, 150, 214}) {
    const int count = first == 0 ? 150 : 64;
    lp.bilinear(x.data() + first, y.data() + first, count, out.data() + first);
  }
  for (std::size_t i = 0; i < x.size(); ++i) ASSERT_EQ(out[i], lp.bilinear(x[i], y[i])) << i;
  // On the last row its neighbours weigh nothing, so only the sanitizer builds see a read past
  // the end of a picture that ends with the plane.
  const std::vector<std::uint8_t> tight(px.begin(), px.begin() + 37 * 23);
  const LumaPlane end{tight.data(), 37, 23, 37};
  end.bilinear(x.data() + 214, y.data() + 214, 64, out.data() + 214);
  for (std::size_t i = 214; i < x.size(); ++i) ASSERT_EQ(out[i], end.bilinear(x[i], y[i])) << i;

  PerspectiveTransform t{1.9, 0.3, 18.0, -0.2, 2.1, 11.0, 0.004, -0.003};
  std::vector<PerspectiveTransform> cells;
  for (int c = 0; c < 16; ++c) {
    cells.push_back(t);
    cells.back().c += 0.1 * c, cells.back().h += 0.0005 * c;
  }
  for (const ModuleMap& map : {ModuleMap(t), ModuleMap(1, cells)}) {
    std::vector<double> gx(x.size()), gy(x.size()), mx(x.size()), my(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) gx[i] = (x[i] - 18.0) / 2.0, gy[i] = (y[i] - 11.0) / 2.0;
    gx[2] = 0.0;
    map.map(gx.data(), gy.data(), static_cast<int>(gx.size()), mx.data(), my.data());
    for (std::size_t i = 0; i < gx.size(); ++i) {
      const Point2D p = map.map(gx[i], gy[i]);
      ASSERT_EQ(mx[i], p.x) << i;
      ASSERT_EQ(my[i], p.y) << i;
    }
    for (const bool inverted : {false, true}) {
      const PolarPlane plane(lp, inverted);
      plane.values(x.data(), y.data(), static_cast<int>(x.size()), out.data());
      for (std::size_t i = 0; i < x.size(); ++i) ASSERT_EQ(out[i], plane.value(x[i], y[i])) << i;
      plane.moduleValues(map, gx.data(), gy.data(), static_cast<int>(gx.size()), out.data());
      for (std::size_t i = 0; i < gx.size(); ++i)
        ASSERT_EQ(out[i], plane.moduleValue(map, gx[i], gy[i])) << i;
    }
  }
}

// The local data thresholds against their definition, window by window: per block of 4 x 4
// modules, two rounds of two-means over the 12 x 12 modules around it (clipped to the symbol),
// the split's midpoint where the window shows 35% of the finder's contrast, else the finder's
// midpoint. Grids of each size modulo the block, with flat and two-level patches and noise.
TEST(ReaderStages, LocalThresholdsFollowTheirDefinition) {
  std::vector<std::uint8_t> px(64 * 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x)
      px[static_cast<std::size_t>(y) * 64 + x] =
          (std::max(std::abs(x - 32), std::abs(y - 32)) / 4) % 2 ? 220 : 30;
  const PolarPlane plane(LumaPlane{px.data(), 64, 64, 64}, false);
  const PerspectiveTransform t{4.0, 0.0, 32.0, 0.0, 4.0, 32.0, 0.0, 0.0};
  SymbolCandidate params;
  params.symbolType = kFullRange;
  const Levels levels = finderLevels(plane, t, true);
  std::mt19937 g(5);
  for (const int n : {15, 17, 22, 27}) {
    params.symbolSize = n;
    ModuleValues m;
    m.size = n;
    for (int x = 0; x < n; ++x)
      for (int y = 0; y < n; ++y) {
        const double noise = static_cast<double>(g() % 1000) / 50.0;
        m.value.push_back(x < 8 && y < 8    ? 120.0
                          : x > 10 && y < 6 ? 60.0 + noise
                          : g() % 3         ? 40.0 + noise
                                            : 200.0 - noise);
      }
    // No spill taken out: the values stay, their thresholds are computed afresh.
    const ModuleValues out = unmixModules(m, 0.0, plane, t, params);
    ASSERT_EQ(out.value, m.value);
    for (int bx = 0; bx * 4 < n; ++bx)
      for (int by = 0; by * 4 < n; ++by) {
        std::vector<double> w;
        for (int x = std::max(0, 4 * bx - 4); x < std::min(n, 4 * bx + 8); ++x)
          for (int y = std::max(0, 4 * by - 4); y < std::min(n, 4 * by + 8); ++y)
            w.push_back(m.value[static_cast<std::size_t>(x) * n + y]);
        double threshold = 0.0, dark = 0.0, light = 0.0;
        for (double v : w) threshold += v / static_cast<double>(w.size());
        for (int round = 0; round < 2; ++round) {
          double sd = 0.0, sl = 0.0;
          int nd = 0;
          for (double v : w) v < threshold ? (sd += v, ++nd) : (sl += v, 0);
          if (nd == 0 || nd == static_cast<int>(w.size())) break;
          dark = sd / nd, light = sl / (static_cast<double>(w.size()) - nd);
          threshold = 0.5 * (dark + light);
        }
        if (light - dark < 0.35 * (levels.light - levels.dark))
          threshold = 0.5 * (levels.dark + levels.light);
        for (int x = 4 * bx; x < std::min(n, 4 * bx + 4); ++x)
          for (int y = 4 * by; y < std::min(n, 4 * by + 4); ++y)
            ASSERT_NEAR(out.threshold[static_cast<std::size_t>(x) * n + y], threshold, 1e-9)
                << n << " " << x << " " << y;
      }
  }
}

// A large symbol's reference-grid crossings, searched as the reader does from a transform a
// little off (scaled, shifted by 0.4 module) refined on the edges near the finder: every crossing
// lands within a quarter of a module of the drawn one.
TEST(ReaderStages, GridCellsFindTheReferenceLines) {
  const EncodedSymbol symbol = encodeText(std::string(600, 'K'), SymbolKind::FullRange, 22);
  const int k = symbol.size / 2 / 16;
  ASSERT_GE(k, 2);
  const double module = 3.0, cx = 320.0, cy = 240.0;
  for (const double angle : {0.0, 30.0}) {
    const auto img = renderSymbol(
        symbol,
        {.moduleSize = module, .centerX = cx, .centerY = cy, .blurSigma = 0.7, .angleDegrees = angle});
    const PolarPlane plane(planeOf(img), false);
    SymbolCandidate params;
    params.symbolType = kFullRange;
    params.symbolSize = symbol.size;
    const Geometry g{true, 22, module, angle, cx, cy, false, 0.7, 0.0};
    const Point2D o = placed(g, 0.4, -0.4);
    const double r = angle * std::acos(-1.0) / 180.0, s = module * 1.004;
    const PerspectiveTransform off{
        s * std::cos(r), -s * std::sin(r), o.x, s * std::sin(r), s * std::cos(r), o.y, 0.0, 0.0};
    const std::optional<ModuleMap> cells =
        gridCellMap(plane, refineOnEdges(plane, off, params, Tuning::kGridStartRadius), params);
    ASSERT_TRUE(cells.has_value()) << angle;
    for (int i = -k; i <= k; ++i)
      for (int j = -k; j <= k; ++j)
        EXPECT_LT(distance(cells->map(16.0 * i, 16.0 * j), placed(g, 16.0 * i, 16.0 * j)), 0.25 * module)
            << angle << ": " << i << " " << j;
  }
}

std::string text(const ReadResult& r) {
  return textOf(r.bytes);
}

TEST(Locator, OptionsLimitTheSearch) {
  const EncodedSymbol a = encodeText("LEFT SYMBOL", SymbolKind::Compact);
  const EncodedSymbol b = encodeText("RIGHT SYMBOL", SymbolKind::FullRange);
  const GrayBuf img =
      renderScene({{&a, {.moduleSize = 4, .centerX = 200, .centerY = 240, .angleDegrees = 30}},
                   {&b, {.moduleSize = 4, .centerX = 480, .centerY = 240, .angleDegrees = 200}}},
                  {});
  // Nearest to the frame centre first, each symbol once.
  const auto both = readFrame(img);
  ASSERT_EQ(both.size(), 2u);
  EXPECT_EQ(text(both[0]), "LEFT SYMBOL");
  EXPECT_EQ(text(both[1]), "RIGHT SYMBOL");
  ASSERT_EQ(readFrame(img, {.maxSymbols = 1}).size(), 1u);
  EXPECT_TRUE(readFrame(img, {.maxSymbols = 0}).empty());
  // A region of interest reads only what lies inside it, and reports frame coordinates.
  const auto r = readFrame(img, {.regionX = 330, .regionY = 100, .regionWidth = 400, .regionHeight = 300});
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(text(r[0]), "RIGHT SYMBOL");
  double cx = 0;
  for (const Point2D& c : r[0].corners) cx += c.x / 4;
  EXPECT_NEAR(cx, 480.0, 2.0);
  EXPECT_TRUE(readFrame(img, {.regionX = 2000, .regionWidth = 50, .regionHeight = 50}).empty());
  // Light-on-dark symbols only when asked for.
  const GrayBuf dark = renderSymbol(a, {.dark = 230, .light = 25});
  EXPECT_TRUE(readFrame(dark, {.tryInverted = false}).empty());
  const auto invRead = readFrame(dark);
  ASSERT_EQ(invRead.size(), 1u);
  EXPECT_TRUE(invRead[0].inverted);
}

TEST(Locator, CornersFollowTheSymbol) {
  const EncodedSymbol sym = encodeText("CORNERS", SymbolKind::Compact);
  for (int rotation = 0; rotation < 4; ++rotation)
    for (bool mirrored : {false, true}) {
      const auto r =
          readFrame(renderSymbol(sym, {.moduleSize = 6, .rotation = rotation, .mirrored = mirrored}));
      ASSERT_EQ(r.size(), 1u);
      // The exact decoder's count: once the mirror is undone, a mirrored picture stands turned
      // the other way.
      EXPECT_EQ(r[0].rotation, mirrored ? (4 - rotation) % 4 : rotation);
      EXPECT_EQ(r[0].mirrored, mirrored);
      // The upright top-left corner is where the picture put module (0, 0)'s outer corner: the
      // mirror, then clockwise quarter turns, (x, y) -> (-y, x).
      const double h = sym.size * 3.0;
      double x = mirrored ? h : -h, y = -h;
      for (int k = 0; k < rotation; ++k) x = -std::exchange(y, x);
      EXPECT_NEAR(r[0].corners[0].x, 320 + x, 2.0) << rotation << mirrored;
      EXPECT_NEAR(r[0].corners[0].y, 240 + y, 2.0) << rotation << mirrored;
    }
}

TEST(Locator, RunesAnywhereAndOnlyWhenAsked) {
  for (int value : {0, 7, 42, 128, 200, 255}) {
    std::mt19937 g(static_cast<unsigned>(value));
    RenderOptions o;
    o.moduleSize = uniform(g, 2.5, 8.0), o.centerX = uniform(g, 100, 540), o.centerY = uniform(g, 100, 380);
    o.angleDegrees = uniform(g, 0, 360), o.mirrored = value % 2 == 1;
    const GrayBuf img = renderSymbol(encodeRune(value), o);
    const auto r = readFrame(img);
    ASSERT_EQ(r.size(), 1u) << value;
    EXPECT_EQ(r[0].format, SymbolFormat::Rune);
    EXPECT_EQ(text(r[0]), std::to_string(value));
    EXPECT_TRUE(readFrame(img, {.readRunes = false}).empty());
  }
}

TEST(Locator, InvalidViewsThrow) {
  std::vector<std::uint8_t> px(100, 0);
  WholeFrameReader reader;
  for (const LumaView& view :
       {LumaView{nullptr, 10, 10, 10}, LumaView{px.data(), 0, 10, 10}, LumaView{px.data(), 10, -1, 10},
        LumaView{px.data(), 10, 10, 9}, LumaView{px.data(), 70000, 70000, 70000}})
    EXPECT_THROW(reader.read(view), InvalidViewError) << view.width << "x" << view.height;
  // Tiny and padded views are fine: nothing is read outside width x height.
  EXPECT_TRUE(reader.read(LumaView{px.data(), 3, 3, 3}).empty());
  EXPECT_TRUE(reader.read(LumaView{px.data(), 9, 9, 11}).empty());
}

// A busy 1920x1080 frame: a finder-like texture everywhere but around five symbols, one in each
// corner and one in the middle. Texture that keeps one part of the frame busy must not leave
// another part unread.
struct Texture {
  const char* name;
  std::function<bool(int x, int y)> dark;
};

std::uint32_t hash(int x, int y) {
  std::uint32_t h = static_cast<std::uint32_t>(x) * 73856093u ^ static_cast<std::uint32_t>(y) * 19349663u;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  return h ^ (h >> 15);
}

TEST(BusyFrame, SymbolsInEveryCornerAndTheMiddleOfATexture) {
  constexpr int kWidth = 1920, kHeight = 1080;
  const double turn = 3.0 * 3.141592653589793 / 180.0;
  // Both give thousands of finder candidates all over the frame.
  const std::vector<Texture> textures = {
      {"binary noise, 2-pixel cells", [](int x, int y) { return (hash(x / 2, y / 2) & 1) != 0; }},
      {"checkerboard of 3 pixels turned 3 degrees",
       [&](int x, int y) {
         const double u = (std::cos(turn) * x + std::sin(turn) * y) / 3.0;
         const double v = (-std::sin(turn) * x + std::cos(turn) * y) / 3.0;
         return ((static_cast<long>(std::floor(u)) + static_cast<long>(std::floor(v))) & 1) != 0;
       }},
  };
  // Centres and kinds: the four corners and the middle.
  const double cx[5] = {170, kWidth - 170, 170, kWidth - 170, kWidth / 2.0};
  const double cy[5] = {170, 170, kHeight - 170, kHeight - 170, kHeight / 2.0};
  std::vector<EncodedSymbol> symbols;
  std::vector<std::string> messages;
  for (int k = 0; k < 5; ++k) {
    messages.push_back("BUSY FRAME SYMBOL " + std::to_string(k));
    symbols.push_back(encodeText(messages.back(), k % 2 ? SymbolKind::Compact : SymbolKind::FullRange));
  }
  for (const Texture& texture : textures) {
    std::vector<ScenePart> parts;
    for (int k = 0; k < 5; ++k)
      parts.push_back(
          {&symbols[k],
           {.moduleSize = 3.0 + 0.5 * k, .centerX = cx[k], .centerY = cy[k], .angleDegrees = 17.0 * k}});
    GrayBuf image = renderScene(parts, {.width = kWidth, .height = kHeight, .noiseSigma = 3});
    // The texture everywhere beyond a quiet zone of three modules around each symbol.
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        bool nearSymbol = false;
        for (int k = 0; k < 5; ++k) {
          const double reach = (symbols[k].size * 0.5 * std::sqrt(2.0) + 3.0) * parts[k].placement.moduleSize;
          nearSymbol |= std::hypot(x - cx[k], y - cy[k]) < reach;
        }
        if (!nearSymbol) image.setPixel(x, y, texture.dark(x, y) ? 25 : 225);
      }
    std::vector<std::string> read;
    for (const Aztec::ReadResult& r : readFrame(image)) read.push_back(textOf(r.bytes));
    std::sort(read.begin(), read.end());
    EXPECT_EQ(read, messages) << texture.name;
  }
}

}  // namespace

// The trace: the same results as without it; the symbol's finder accepted at its centre with its
// ring and every module centre; blank margins flat and the symbol not; nothing accepted in
// noise; frames too small to hold a symbol traced without a step.
TEST(Locator, TraceFollowsTheReadAndChangesNothing) {
  const EncodedSymbol e = encodeText("TRACE ME", SymbolKind::FullRange);
  const GrayBuf frame =
      renderSymbol(e, {.moduleSize = 4, .centerX = 300, .centerY = 200, .noiseSigma = 3, .angleDegrees = 20});
  const LumaView view = viewOf(frame);
  ReadTrace trace;
  const auto traced = WholeFrameReader().read(view, &trace);
  const auto plain = WholeFrameReader().read(view);
  ASSERT_EQ((std::pair{traced.size(), plain.size()}), (std::pair<std::size_t, std::size_t>{1, 1}));
  EXPECT_EQ(std::tie(traced[0].bytes, traced[0].corners), std::tie(plain[0].bytes, plain[0].corners));

  int accepted = 0;
  for (const TraceCandidate& c : trace.candidates) {
    if (c.stage != TraceStage::Accepted) {
      EXPECT_NE(c.stop, TraceStop::None);
      continue;
    }
    ++accepted;
    EXPECT_EQ(c.stop, TraceStop::None);
    EXPECT_LT(std::hypot(c.centre.x - 300, c.centre.y - 200), 2.0);
    EXPECT_NEAR(c.moduleSize, 4.0, 1.5);
    EXPECT_TRUE(c.fullRange);
    ASSERT_TRUE(c.ringCorners.has_value());
    for (const Point2D& q : *c.ringCorners)
      EXPECT_NEAR(std::hypot(q.x - 300, q.y - 200), 5.5 * 4 * std::sqrt(2.0), 2.0);
    EXPECT_EQ(static_cast<int>(c.moduleCentres.size()), e.size * e.size);
  }
  EXPECT_EQ(accepted, 1);
  EXPECT_EQ(trace.stepCounts[static_cast<int>(TraceStep::Binarise)], 1);
  EXPECT_GE(trace.stepCounts[static_cast<int>(TraceStep::Decode)], 1);
  ASSERT_EQ(trace.flat.size(), static_cast<std::size_t>(trace.flatColumns) * trace.flatRows);
  auto flatAt = [&](int x, int y) {
    return trace.flat[static_cast<std::size_t>(y / trace.flatBlockSize) * trace.flatColumns +
                      x / trace.flatBlockSize];
  };
  EXPECT_TRUE(flatAt(620, 460));
  EXPECT_FALSE(flatAt(300, 200));

  std::mt19937 g(3);
  std::vector<std::uint8_t> noise(320 * 240);
  for (auto& p : noise) p = static_cast<std::uint8_t>(g());
  EXPECT_TRUE(WholeFrameReader().read(LumaView{noise.data(), 320, 240, 320}, &trace).empty());
  for (const TraceCandidate& c : trace.candidates) EXPECT_NE(c.stage, TraceStage::Accepted);

  for (int width : {1, 65535}) {
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width), 128);
    EXPECT_TRUE(WholeFrameReader().read(LumaView{row.data(), width, 1, width}, &trace).empty());
    EXPECT_TRUE(trace.candidates.empty());
    EXPECT_EQ(trace.stepCounts[static_cast<int>(TraceStep::Binarise)], 0);
  }
}

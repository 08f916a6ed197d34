// Detection stages on synthetic bull's-eyes drawn straight into a GrayBuf, so that every ring
// edge sits on a known pixel, and the spiral search on real symbols.

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <functional>

#include "detect/detector.h"
#include "detect/line_fit.h"
#include "detect/spiral_search.h"
#include "support/symbol_frames.h"

namespace {

using Aztec::Detector;
using Aztec::IntPoint;
using Aztec::Point2D;
using Aztec::SymbolCandidate;
using Velmora::Image::GrayBuf;

constexpr int kDark = 20, kLight = 230;
const Point2D kNone{-1.0, -1.0};

// Chebyshev distance in modules of (x, y) from the 5-pixel centre module at (cx, cy).
int ringOf(int x, int y, int cx, int cy) {
  auto cell = [](int d) { return d >= -2 ? (d + 2) / 5 : -((-d + 2) / 5); };
  return std::max(std::abs(cell(x - cx)), std::abs(cell(y - cy)));
}

GrayBuf frameOf(int w, int h, const std::function<int(int, int)>& grey) {
  GrayBuf frame;
  frame.resize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) frame.setPixel(x, y, static_cast<std::uint8_t>(grey(x, y)));
  return frame;
}

GrayBuf uniformFrame(int w, int h, int v) { return frameOf(w, h, [v](int, int) { return v; }); }

// Dark at even module distances up to outerDark (6: full-range finder, 4: compact), light
// elsewhere; `patch` overrides a pixel when it returns a grey value (not -1).
GrayBuf bullseye(int w, int h, int cx, int cy, int outerDark, const std::function<int(int, int)>& patch = {}) {
  return frameOf(w, h, [=](int x, int y) {
    if (patch && patch(x, y) >= 0) return patch(x, y);
    const int k = ringOf(x, y, cx, cy);
    return k <= outerDark && k % 2 == 0 ? kDark : kLight;
  });
}

// A dark patch over rows cy-2..cy+2 and columns x0..x1.
std::function<int(int, int)> darkPatch(int cy, int x0, int x1) {
  return [=](int x, int y) { return y >= cy - 2 && y <= cy + 2 && x >= x0 && x <= x1 ? kDark : -1; };
}

int levelAt(const Detector& det, int x, int y) { return det.levelImage->pixelAt(x, y); }

SymbolCandidate located(Detector& det, int x, int y) {
  SymbolCandidate c;
  c.center = det.locateCenter(x, y);
  return c;
}

// Corners top-left, top-right, bottom-right, bottom-left of the box (left, top)..(right, bottom).
void expectBox(const SymbolCandidate& c, double left, double top, double right, double bottom, double tolerance = 0.0) {
  const double xs[4] = {left, right, right, left}, ys[4] = {top, top, bottom, bottom};
  for (int i = 0; i < 4; ++i) {
    EXPECT_NEAR(c.corners[i].x, xs[i], tolerance) << "corner " << i;
    EXPECT_NEAR(c.corners[i].y, ys[i], tolerance) << "corner " << i;
  }
}

void expectNoCorners(const SymbolCandidate& c) {
  for (const Point2D& p : c.corners) EXPECT_EQ(p, kNone);
}

// ---- centre search -----------------------------------------------------------------------

TEST(MeasureThresholds, FiveEighthsHighAndClampedBox) {
  Detector det;
  det.setImage(frameOf(10, 10, [](int x, int y) { return x + y == 0 ? 20 : x + y == 18 ? 220 : 100; }));
  int low = 0, mid = 128, high = 255;
  det.measureThresholds(-5, -5, 20, 20, low, mid, high);  // clamped to the whole frame
  EXPECT_EQ((std::array{low, mid, high}), (std::array{70, 120, 145}));  // high: five-eighths
  det.measureThresholds(2, 2, 5, 5, low, mid, high);  // only 100s: the thresholds meet
  EXPECT_EQ((std::array{low, mid, high}), (std::array{100, 100, 100}));
  low = 1, mid = 2, high = 3;
  det.measureThresholds(6, 0, 3, 9, low, mid, high);  // inverted box: unchanged
  EXPECT_EQ((std::array{low, mid, high}), (std::array{1, 2, 3}));
}

TEST(ClassifyWindow, FourLevelsInItsHalfOpenWindowOnly) {
  Detector det;
  det.setImage(frameOf(257, 3, [](int x, int) { return x & 255; }));
  det.classifyWindow(0, 0, 256, 2, 70, 120, 145);
  for (int g = 0; g < 256; ++g) ASSERT_EQ(levelAt(det, g, 1), g >= 145 ? 255 : g >= 120 ? 170 : g >= 70 ? 85 : 0) << g;
  EXPECT_EQ(levelAt(det, 256, 0), 0);  // column x1 not written
  EXPECT_EQ(levelAt(det, 5, 2), 0);    // row y1 not written
  // Fill marks inside a new window are reclassified; outside they stay.
  det.levelImage->setPixel(10, 0, Aztec::kLevelLightFilled);
  det.levelImage->setPixel(30, 0, Aztec::kLevelDarkFilled);
  det.classifyWindow(5, 0, 20, 2, 0, 0, 0);
  EXPECT_EQ(levelAt(det, 10, 0), 255);
  EXPECT_EQ(levelAt(det, 30, 0), 120);
}

TEST(LocateCenter, BullseyeModulesAndRings) {
  Detector det;
  det.setImage(bullseye(361, 361, 180, 180, 6));  // d = 60
  // On the dark centre module: only its 25 pixels; the light ring around it stops the fill.
  EXPECT_EQ(det.locateCenter(178, 181), (Point2D{180.0, 180.0}));
  EXPECT_EQ(det.fillCount, 25);
  EXPECT_EQ(levelAt(det, 182, 182), Aztec::kLevelDarkFilled);
  EXPECT_EQ(levelAt(det, 183, 180), 255);
  // Each square ring, light or dark, is filled whole: its centroid is the centre.
  const int cases[][3] = {{185, 180, 15 * 15 - 5 * 5}, {180, 169, 25 * 25 - 15 * 15}, {195, 180, 35 * 35 - 25 * 25},
                          {200, 180, 45 * 45 - 35 * 35}, {155, 180, 55 * 55 - 45 * 45}};
  for (const auto& k : cases) {
    EXPECT_EQ(det.locateCenter(k[0], k[1]), (Point2D{180.0, 180.0})) << k[0] << "," << k[1];
    EXPECT_EQ(det.fillCount, k[2]) << k[0] << "," << k[1];
  }
}

TEST(LocateCenter, WindowsCutTheRegion) {
  Detector det;
  det.setImage(uniformFrame(120, 120, 90));  // d = 19: window x 0..24, y 41..79
  EXPECT_EQ(det.locateCenter(5, 60), (Point2D{12.0, 60.0}));
  EXPECT_EQ(det.fillCount, 23 * 37);  // strictly inside the window
  EXPECT_EQ(levelAt(det, 0, 60), 255);
  EXPECT_EQ(levelAt(det, 1, 60), Aztec::kLevelLightFilled);

  // One grey value in the threshold box: 100 and brighter become 255, darker 0.
  det.setImage(frameOf(120, 120, [](int x, int) { return x < 50 ? 99 : x > 70 ? 101 : 100; }));
  det.locateCenter(60, 60);
  EXPECT_EQ(levelAt(det, 45, 60), 0);
  EXPECT_EQ(levelAt(det, 75, 60), Aztec::kLevelLightFilled);
  EXPECT_EQ(levelAt(det, 78, 41), 255);  // windowTop row: classified, not filled
  EXPECT_EQ(levelAt(det, 79, 60), 0);    // windowRight column: never classified
}

TEST(LocateCenter, DegenerateFramesAndStartPoints) {
  Detector det;
  det.setImage(uniformFrame(0, 10, 0));
  EXPECT_EQ(det.locateCenter(0, 5), (Point2D{0.0, 0.0}));
  EXPECT_EQ(det.levelImage, nullptr);
  det.setImage(uniformFrame(640, 3, 200));  // d = 0: the window is the start point alone
  EXPECT_EQ(det.locateCenter(320, 1), kNone);

  // Off the image the start row still counts from the start point up to the window.
  Detector off;
  off.setImage(uniformFrame(60, 60, 200));  // d = 9
  EXPECT_EQ(off.locateCenter(-20, 30), (Point2D{-10.0, 30.0}));
  EXPECT_EQ(off.fillCount, 19);
  // Extreme start points must not overflow the window arithmetic.
  EXPECT_EQ(off.locateCenter(INT_MIN, INT_MIN), (Point2D{-1073741824.0, -2147483648.0}));
  EXPECT_EQ(off.fillCount, INT_MAX);
  EXPECT_EQ(off.locateCenter(30, INT_MIN + 1), (Point2D{30.0, INT_MIN + 1.0}));
}

// ---- finder ring -------------------------------------------------------------------------

TEST(FindRingCorners, FullRangeBullseyeAtOneHundred) {
  Detector det;
  det.setImage(bullseye(201, 201, 100, 100, 6));
  SymbolCandidate c = located(det, 100, 100);
  ASSERT_EQ(c.center, (Point2D{100.0, 100.0}));
  ASSERT_TRUE(det.findRingCorners(c, true));
  // Sixth change left at x = 72, q = (75, 100), r = 37: the light ring at module distance 5.
  EXPECT_EQ(det.windowLeft, 63);
  EXPECT_EQ(det.fillCount, 55 * 55 - 45 * 45);
  expectBox(c, 73, 73, 127, 127);
}

TEST(FindRingCorners, CompactBullseyeThenItsOwnMarks) {
  Detector det;
  det.setImage(bullseye(201, 201, 100, 100, 4));
  SymbolCandidate c = located(det, 101, 99);
  ASSERT_TRUE(det.findRingCorners(c, false));
  // Fourth change left at x = 82, q = (85, 100): the light ring at module distance 3.
  EXPECT_EQ(det.fillCount, 35 * 35 - 25 * 25);
  expectBox(c, 83, 83, 117, 117);
  // Again: the ring point already carries the mark 150, so the fill is empty.
  EXPECT_FALSE(det.findRingCorners(c, false));
  EXPECT_EQ(det.fillCount, 0);
  expectNoCorners(c);
}

TEST(FindRingCorners, RingPointOnDarkFailsBeforeAnyFill) {
  Detector det;
  // Dark patches in the outer light ring on both sides of the centre row: the sixth change
  // comes early and q falls on the dark ring inside.
  det.setImage(bullseye(201, 201, 100, 100, 6, [](int x, int y) {
    return std::max(darkPatch(100, 74, 76)(x, y), darkPatch(100, 124, 126)(x, y));
  }));
  SymbolCandidate c = located(det, 100, 100);
  ASSERT_EQ(det.fillCount, 25);
  EXPECT_FALSE(det.findRingCorners(c, true));
  expectNoCorners(c);
  EXPECT_EQ(det.fillCount, 25);  // the sums are still those of the centre search
}

TEST(FindRingCorners, TooFewChangesKeepTheImageEdges) {
  Detector det;
  det.setImage(uniformFrame(201, 201, 200));
  det.classifyWindow(0, 0, 200, 200, 0, 128, 255);  // the last column and row stay dark
  SymbolCandidate c;
  c.center = Point2D{100.7, 100.2};
  ASSERT_TRUE(det.findRingCorners(c, true));
  // xLeft = 0 and a tie of the axes (so leftwards): q = (10, 100), r = 135; the ring window
  // is clamped to width and height themselves, not width - 1.
  EXPECT_EQ(det.windowLeft, 0);
  EXPECT_EQ(det.windowRight, 201);
  EXPECT_EQ(det.fillLimit, 201 * 201);
  EXPECT_EQ(det.fillCount, 199 * 199);
  expectBox(c, 1, 1, 199, 199);
}

TEST(FindRingCorners, AsymmetricRowMeasuresUpwards) {
  Detector det;
  // A dark patch in the outer light ring left of the centre makes the row asymmetric; the
  // column is clean, so q is taken upwards. Taken leftwards it would land on a dark ring.
  det.setImage(bullseye(640, 480, 320, 240, 6, darkPatch(240, 294, 296)));
  SymbolCandidate c = located(det, 320, 240);
  ASSERT_TRUE(det.findRingCorners(c, true));
  EXPECT_EQ(levelAt(det, 320, 215), Aztec::kLevelRingFilled);
  EXPECT_EQ(det.fillCount, 1000 - 15);
  EXPECT_EQ(c.corners[0], (Point2D{293.0, 213.0}));
  EXPECT_EQ(c.corners[2], (Point2D{347.0, 267.0}));
}

TEST(FindRingCorners, LeakThroughABrokenRingFailsTheCentroid) {
  Detector det;
  // The outer dark ring is open on the right (except on the centre row, so the scans still
  // see it); the background is light on the right and dark on the left.
  det.setImage(bullseye(640, 480, 320, 240, 6, [](int x, int y) {
    const int k = ringOf(x, y, 320, 240);
    if (k == 6 && x > 320 && y != 240) return kLight;
    return k > 6 ? (x > 320 ? kLight : kDark) : -1;
  }));
  SymbolCandidate c = located(det, 320, 240);
  EXPECT_FALSE(det.findRingCorners(c, true));
  expectNoCorners(c);
  ASSERT_GT(det.fillCount, 1000);  // the ring alone holds 1000 pixels
  EXPECT_GT(static_cast<double>(det.fillSumX) / det.fillCount - 320.0, (348 - 292) / 5.0);
}

TEST(FindRingCorners, NothingToCheck) {
  SymbolCandidate c{.center = {3.0, 3.0}};
  EXPECT_FALSE(Detector().findRingCorners(c, true));  // no level image
  // A failed centre search (-1, -1) fails for both kinds, as do centres no frame produces.
  Detector det;
  det.setImage(bullseye(201, 201, 100, 100, 6));
  det.locateCenter(100, 100);
  for (Point2D bad : {kNone, Point2D{NAN, 100.0}, Point2D{100.0, INFINITY}, Point2D{3e9, 100.0}}) {
    c.center = bad;
    EXPECT_FALSE(det.findRingCorners(c, true));
    EXPECT_FALSE(det.findRingCorners(c, false));
    expectNoCorners(c);
  }
}

void prepareRingFill(Detector& det, const GrayBuf& frame, IntPoint origin, int l, int t, int r, int b, int limit) {
  det.setImage(frame);
  det.classifyWindow(0, 0, frame.width() - 1, frame.height() - 1, 0, 128, 255);
  det.ringOrigin = origin;
  det.windowLeft = l, det.windowTop = t, det.windowRight = r, det.windowBottom = b;
  det.fillLimit = limit;
  det.fillSumX = det.fillSumY = det.fillCount = 0;
  det.seedX.clear(), det.seedY.clear();
}

TEST(FloodRing, FarthestPixelTiesAndTheBudget) {
  Detector det;
  // A light quarter disc of radius 50 up and left of (100, 100); its farthest pixels all lie
  // at distance 50: (50, 100), (52, 86), (60, 70), (70, 60), (86, 52), (100, 50).
  prepareRingFill(det, frameOf(201, 201, [](int x, int y) {
    return x <= 100 && y <= 100 && (x - 100) * (x - 100) + (y - 100) * (y - 100) <= 2500 ? 200 : 20;
  }), {100, 100}, 40, 40, 101, 101, 100000);
  det.floodRing(75, 64);  // reaches row 60 (4 rows up) before row 70 (6 rows down)
  EXPECT_EQ(det.quadrantPoint[3], (IntPoint{70, 60}));
  EXPECT_EQ(det.quadrantDistance[3], 2500);
  for (int q = 0; q < 3; ++q) EXPECT_EQ(det.quadrantDistance[q], 0);

  prepareRingFill(det, uniformFrame(100, 100, 200), {50, 50}, 10, 10, 90, 90, 10);
  det.floodRing(50, 50);
  // Budget 10: the run starts at x = 11 and stops on its tenth pixel; its two seeds stay.
  EXPECT_EQ(det.fillCount, 10);
  EXPECT_EQ(det.fillSumX, 155);
  EXPECT_EQ(det.seedX.size(), 2u);
  EXPECT_EQ(det.quadrantPoint[3], (IntPoint{11, 50}));
}

// ---- corner refinement -------------------------------------------------------------------

TEST(LineFit, LargeCoordinatesNeedSixtyFourBitSums) {
  Aztec::LineFit big;  // products past 2^31 and sums past 2^32
  for (int i = 0; i < 40; ++i) big.add(60000 + i, 50000 - 3 * i);
  EXPECT_DOUBLE_EQ(big.slopeYOnX(), -3.0);
  EXPECT_DOUBLE_EQ(big.interceptYOnX(), 50000.0 + 3.0 * 60000.0);
  EXPECT_DOUBLE_EQ(big.slopeXOnY(), -1.0 / 3.0);
}

// The ring check of the bull's-eye at (100, 100) leaves marks 150 at Chebyshev distance 23..27,
// window 63..137 and corners 73 / 127. The diagonals cut the ring into trapezoids (pixels on a
// diagonal count as not negative): top rows 73..77 hold 55, 53, 51, 49, 47 pixels, left and
// right columns 54..46, bottom rows 53..45.
constexpr double kTop = (73 * 55 + 74 * 53 + 75 * 51 + 76 * 49 + 77 * 47) / 255.0;
constexpr double kLeft = (73 * 54 + 74 * 52 + 75 * 50 + 76 * 48 + 77 * 46) / 250.0;
constexpr double kRightSum = 127 * 54 + 126 * 52 + 125 * 50 + 124 * 48 + 123 * 46;
constexpr double kBottom = (127 * 53 + 126 * 51 + 125 * 49 + 124 * 47 + 123 * 45) / 245.0;

void expectRefined(const SymbolCandidate& c, double right = kRightSum / 250.0) {
  expectBox(c, kLeft, kTop, right, kBottom, 1e-9);
}

struct CheckedRing {
  Detector det;
  SymbolCandidate c;
  CheckedRing() {
    det.setImage(bullseye(201, 201, 100, 100, 6));
    c.center = det.locateCenter(100, 100);
    EXPECT_TRUE(det.findRingCorners(c, true));
  }
};

TEST(RefineCorners, UprightRingAndEveryMarkInsideTheWindow) {
  CheckedRing r;
  r.det.refineCorners(r.c);
  expectRefined(r.c);
  EXPECT_NEAR(r.c.corners[0].x, 74.92, 0.005);
  EXPECT_NEAR(r.c.corners[2].y, 125.08, 0.005);
  // Leftover marks on the window's right column (bounds included) pull the right side out; a
  // pair at rows 100 and 101 keeps it upright.
  CheckedRing in;
  in.det.levelImage->setPixel(137, 100, Aztec::kLevelRingFilled);
  in.det.levelImage->setPixel(137, 101, Aztec::kLevelRingFilled);
  in.det.refineCorners(in.c);
  expectRefined(in.c, (kRightSum + 2 * 137) / 252.0);
  // One column further, or one row above the window: ignored.
  CheckedRing out;
  out.det.levelImage->setPixel(138, 100, Aztec::kLevelRingFilled);
  out.det.levelImage->setPixel(100, 62, Aztec::kLevelRingFilled);
  out.det.refineCorners(out.c);
  expectRefined(out.c);
  // A window reaching one past the last column and row reads nothing outside the image.
  CheckedRing edge;
  edge.det.windowLeft = edge.det.windowTop = 0;
  edge.det.windowRight = edge.det.windowBottom = 201;
  edge.det.refineCorners(edge.c);
  expectRefined(edge.c);
}

// ---- spiral search -----------------------------------------------------------------------

TEST(SpiralSearch, StartOffsetsInOrder) {
  // (-r, -r) and (r, r) come twice; (24, -24), (-24, 24) and the 48 counterparts never.
  const IntPoint expected[25] = {
      {0, 0},
      {-24, -24}, {0, -24}, {24, 24}, {0, 24}, {-24, -24}, {-24, 0}, {24, 24}, {24, 0},
      {-48, -48}, {-24, -48}, {0, -48}, {24, -48}, {48, 48}, {24, 48}, {0, 48}, {-24, 48},
      {-48, -48}, {-48, -24}, {-48, 0}, {-48, 24}, {48, 48}, {48, 24}, {48, 0}, {48, -24}};
  for (int i = 0; i < 25; ++i) EXPECT_EQ(Aztec::spiralStartOffsets()[i], expected[i]) << "try " << i + 1;
}

TEST(SpiralSearch, FailedSearchEndsOnTheLastStartPoint) {
  Detector det;
  det.setImage(uniformFrame(641, 480, 128));
  SymbolCandidate c = det.createCandidates().front();
  EXPECT_EQ(c.center, (Point2D{320.5, 240.0}));
  EXPECT_FALSE(det.detect(c));
  // A uniform window fills whole, so the centre is the last start point: (320 + 48, 240 - 24).
  EXPECT_EQ(c.center, (Point2D{368.0, 216.0}));
  // Frames smaller than the search pattern, or empty, end normally.
  for (const auto& s : {std::pair{0, 0}, std::pair{640, 0}, std::pair{1, 1}, std::pair{640, 3}, std::pair{95, 95}}) {
    Detector small;
    small.setImage(uniformFrame(s.first, s.second, 90));
    SymbolCandidate k = small.createCandidates().front();
    EXPECT_FALSE(small.detect(k)) << s.first << "x" << s.second;
    EXPECT_TRUE(k.symbolType == 1 || (k.symbolType == 2 && s.second > 0));  // empty: both checks fail
  }
}

TEST(SpiralSearch, TryAtReadsTheFinderOfRealSymbols) {
  AztecTest::RenderOptions o;  // 5-pixel modules; the centre module's pixels average 319.5 / 239.5
  struct Case { AztecTest::SymbolKind kind; int layers, type; double half; };
  for (const Case& k : {Case{AztecTest::SymbolKind::FullRange, 3, 2, 25.0}, Case{AztecTest::SymbolKind::Compact, 2, 1, 15.0}}) {
    SCOPED_TRACE(k.type);
    Detector det;
    det.setImage(AztecTest::renderSymbol(AztecTest::encodeText("Ring check", k.kind, k.layers), o));
    SymbolCandidate c;
    EXPECT_TRUE(det.tryAt(c, 320, 240));
    EXPECT_EQ(c.symbolType, k.type);
    expectBox(c, 319.5 - k.half, 239.5 - k.half, 319.5 + k.half, 239.5 + k.half, 1.5);  // the outer light ring: 5 or 3 modules
  }
}

}  // namespace

// Detection stages on synthetic bull's-eyes drawn straight into a GrayBuf, so that every ring
// edge sits on a known pixel. Which real symbols are found is pinned by the decoder's frames.

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <functional>
#include <tuple>

#include "detect/detector.h"
#include "detect/line_fit.h"

namespace {

using namespace Aztec;
using Velmora::Image::GrayBuf;

const Point2D kNone{-1.0, -1.0};

GrayBuf frameOf(int w, int h, const std::function<int(int, int)>& grey) {
  GrayBuf frame;
  frame.resize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) frame.setPixel(x, y, static_cast<std::uint8_t>(grey(x, y)));
  return frame;
}

// Chebyshev distance in modules of (x, y) from the 5-pixel centre module at (cx, cy).
int ringOf(int x, int y, int cx, int cy) {
  auto cell = [](int d) { return d >= -2 ? (d + 2) / 5 : -((-d + 2) / 5); };
  return std::max(std::abs(cell(x - cx)), std::abs(cell(y - cy)));
}

// Dark (20) at even module distances up to outerDark (6: full-range finder, 4: compact), light
// (230) elsewhere; `patch` overrides a pixel when it returns a grey value (not -1).
GrayBuf bullseye(int w, int h, int cx, int cy, int outerDark,
                 const std::function<int(int, int)>& patch = {}) {
  return frameOf(w, h, [=](int x, int y) {
    if (patch && patch(x, y) >= 0) return patch(x, y);
    const int k = ringOf(x, y, cx, cy);
    return k <= outerDark && k % 2 == 0 ? 20 : 230;
  });
}

// Corners top-left, top-right, bottom-right, bottom-left of the box (left, top)..(right, bottom).
void expectBox(const SymbolCandidate& c, double left, double top, double right, double bottom,
               double tolerance = 0.0) {
  const double xs[4] = {left, right, right, left}, ys[4] = {top, top, bottom, bottom};
  for (int i = 0; i < 4; ++i) {
    EXPECT_NEAR(c.corners[i].x, xs[i], tolerance) << "corner " << i;
    EXPECT_NEAR(c.corners[i].y, ys[i], tolerance) << "corner " << i;
  }
}

void expectNoCorners(const SymbolCandidate& c) {
  for (const Point2D& p : c.corners) EXPECT_EQ(p, kNone);
}

TEST(LocateCenter, DegenerateFramesAndStartPoints) {
  Detector det;
  det.setImage(frameOf(0, 10, [](int, int) { return 0; }));
  EXPECT_EQ(det.locateCenter(0, 5), (Point2D{0.0, 0.0}));
  EXPECT_EQ(det.levelImage, nullptr);
  det.setImage(frameOf(640, 3, [](int, int) { return 200; }));  // d = 0: the window is the start point alone
  EXPECT_EQ(det.locateCenter(320, 1), kNone);
  // Off the image the start row still counts from the start point up to the window.
  det.setImage(frameOf(60, 60, [](int, int) { return 200; }));  // d = 9
  EXPECT_EQ(det.locateCenter(-20, 30), (Point2D{-10.0, 30.0}));
  EXPECT_EQ(det.fillCount, 19);
  // Extreme start points must not overflow the window arithmetic.
  EXPECT_EQ(det.locateCenter(INT_MIN, INT_MIN), (Point2D{-1073741824.0, -2147483648.0}));
  EXPECT_EQ(det.fillCount, INT_MAX);
  EXPECT_EQ(det.locateCenter(30, INT_MIN + 1), (Point2D{30.0, INT_MIN + 1.0}));
}

// Full-range: the sixth change left at x = 72, q = (75, 100), r = 37, the light ring at module
// distance 5. Compact: the fourth change at x = 82, the light ring at distance 3; a second check
// finds the ring point already marked 150, so its fill is empty.
TEST(FindRingCorners, OutermostLightRingOfEitherFinder) {
  for (bool fullRange : {true, false}) {
    Detector det;
    det.setImage(bullseye(201, 201, 100, 100, fullRange ? 6 : 4));
    SymbolCandidate c;
    c.center = det.locateCenter(101, 99);
    ASSERT_EQ(c.center, (Point2D{100.0, 100.0}));
    ASSERT_TRUE(det.findRingCorners(c, fullRange));
    const int d = fullRange ? 27 : 17;
    EXPECT_EQ(det.fillCount, (2 * d + 1) * (2 * d + 1) - (2 * d - 9) * (2 * d - 9));
    expectBox(c, 100 - d, 100 - d, 100 + d, 100 + d);
    if (!fullRange) {
      EXPECT_FALSE(det.findRingCorners(c, false));
      EXPECT_EQ(det.fillCount, 0);
      expectNoCorners(c);
    }
  }
}

TEST(FindRingCorners, TooFewChangesDarkOrLeakingRingsAndNothingToCheck) {
  Detector det;
  det.setImage(frameOf(201, 201, [](int, int) { return 200; }));
  det.classifyWindow(0, 0, 200, 200, 0, 128, 255);  // the last column and row stay dark
  SymbolCandidate c{.center = {100.7, 100.2}};
  ASSERT_TRUE(det.findRingCorners(c, true));
  // xLeft = 0 and a tie of the axes (so leftwards): q = (10, 100), r = 135; the ring window
  // is clamped to width and height themselves, not width - 1.
  EXPECT_EQ((std::array{det.windowLeft, det.windowRight, det.fillLimit, det.fillCount}),
            (std::array{0, 201, 201 * 201, 199 * 199}));
  expectBox(c, 1, 1, 199, 199);

  // Dark patches in the outer light ring on both sides of the centre row: the sixth change
  // comes early and q falls on the dark ring inside. Nothing is filled.
  det.setImage(bullseye(201, 201, 100, 100, 6, [](int x, int y) {
    return y >= 98 && y <= 102 && ((x >= 74 && x <= 76) || (x >= 124 && x <= 126)) ? 20 : -1;
  }));
  c.center = det.locateCenter(100, 100);
  ASSERT_EQ(det.fillCount, 25);
  EXPECT_FALSE(det.findRingCorners(c, true));
  expectNoCorners(c);
  EXPECT_EQ(det.fillCount, 25);  // the sums are still those of the centre search
  // The outer dark ring open on the right (except on the centre row, so the scans still see
  // it), the background light on the right and dark on the left: the fill leaks and its
  // centroid moves off the centre.
  det.setImage(bullseye(640, 480, 320, 240, 6, [](int x, int y) {
    const int k = ringOf(x, y, 320, 240);
    if (k == 6 && x > 320 && y != 240) return 230;
    return k > 6 ? (x > 320 ? 230 : 20) : -1;
  }));
  c.center = det.locateCenter(320, 240);
  EXPECT_FALSE(det.findRingCorners(c, true));
  expectNoCorners(c);
  ASSERT_GT(det.fillCount, 1000);  // the ring alone holds 1000 pixels
  EXPECT_GT(static_cast<double>(det.fillSumX) / det.fillCount - 320.0, (348 - 292) / 5.0);

  c.center = {3.0, 3.0};
  EXPECT_FALSE(Detector().findRingCorners(c, true));  // no level image
  // A failed centre search (-1, -1) fails for both kinds, as do centres no frame produces.
  det.setImage(bullseye(201, 201, 100, 100, 6));
  det.locateCenter(100, 100);
  for (Point2D bad : {kNone, Point2D{NAN, 100.0}, Point2D{100.0, INFINITY}, Point2D{3e9, 100.0}}) {
    c.center = bad;
    EXPECT_FALSE(det.findRingCorners(c, true));
    EXPECT_FALSE(det.findRingCorners(c, false));
    expectNoCorners(c);
  }
}

TEST(LineFit, LargeCoordinatesNeedSixtyFourBitSums) {
  LineFit big;  // products past 2^31 and sums past 2^32
  for (int i = 0; i < 40; ++i) big.add(60000 + i, 50000 - 3 * i);
  EXPECT_DOUBLE_EQ(big.slopeYOnX(), -3.0);
  EXPECT_DOUBLE_EQ(big.interceptYOnX(), 50000.0 + 3.0 * 60000.0);
  EXPECT_DOUBLE_EQ(big.slopeXOnY(), -1.0 / 3.0);
}

// The ring check of the full-range bull's-eye at (100, 100) leaves marks 150 at Chebyshev
// distance 23..27, window 63..137. The diagonals cut the ring into trapezoids (pixels on a
// diagonal count as not negative): top rows 73..77 hold 55, 53, 51, 49, 47 pixels, left and right
// columns 54..46, bottom rows 53..45. Leftover marks on the window's right column (bounds
// included) pull the right side out; one column further or one row above are ignored; a window
// reaching one past the last column and row reads nothing outside the image.
TEST(RefineCorners, FitsTheMarksInsideTheWindowOnly) {
  const double top = (73 * 55 + 74 * 53 + 75 * 51 + 76 * 49 + 77 * 47) / 255.0;
  const double left = (73 * 54 + 74 * 52 + 75 * 50 + 76 * 48 + 77 * 46) / 250.0;
  const double rightSum = 127 * 54 + 126 * 52 + 125 * 50 + 124 * 48 + 123 * 46;
  const double bottom = (127 * 53 + 126 * 51 + 125 * 49 + 124 * 47 + 123 * 45) / 245.0;
  const std::tuple<std::vector<IntPoint>, bool, double> cases[] = {
      {{}, false, rightSum / 250.0},
      {{{137, 100}, {137, 101}}, false, (rightSum + 2 * 137) / 252.0},
      {{{138, 100}, {100, 62}}, false, rightSum / 250.0},
      {{}, true, rightSum / 250.0}};
  for (const auto& [marks, edgeWindow, right] : cases) {
    Detector det;
    det.setImage(bullseye(201, 201, 100, 100, 6));
    SymbolCandidate c;
    c.center = det.locateCenter(100, 100);
    ASSERT_TRUE(det.findRingCorners(c, true));
    for (IntPoint p : marks) det.levelImage->setPixel(p.x, p.y, kLevelRingFilled);
    if (edgeWindow) det.windowLeft = det.windowTop = 0, det.windowRight = det.windowBottom = 201;
    det.refineCorners(c);
    expectBox(c, left, top, right, bottom, 1e-9);
  }
}

}  // namespace

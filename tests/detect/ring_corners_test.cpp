// The finder ring check: colour changes, ring point, ring fill and its shape checks.

#include <gtest/gtest.h>

#include <cmath>

#include "detect/bullseye_frames.h"
#include "detect/detector.h"

namespace {

using Aztec::Detector;
using Aztec::IntPoint;
using Aztec::Point2D;
using Aztec::SymbolCandidate;
using DetectTest::bullseyeFrame;
using DetectTest::frameOf;
using DetectTest::ringOf;
using DetectTest::uniformFrame;

const Point2D kNone{-1.0, -1.0};

void expectNoCorners(const SymbolCandidate& c) {
  for (const Point2D& p : c.corners) EXPECT_EQ(p, kNone);
}

// Runs the centre search from (x, y) and puts its result into the candidate.
SymbolCandidate located(Detector& det, int x, int y) {
  SymbolCandidate c;
  c.center = det.locateCenter(x, y);
  return c;
}

TEST(FindRingCorners, FullRangeBullseye) {
  Detector det;
  det.setImage(bullseyeFrame(201, 201, 100, 100, 5, 6));
  SymbolCandidate c = located(det, 100, 100);
  ASSERT_EQ(c.center, (Point2D{100.0, 100.0}));
  ASSERT_TRUE(det.findRingCorners(c, true));
  // Sixth change left at x = 72, q = (75, 100), r = 37: the light ring at module distance 5.
  EXPECT_EQ(det.windowLeft, 63);
  EXPECT_EQ(det.windowTop, 63);
  EXPECT_EQ(det.windowRight, 137);
  EXPECT_EQ(det.windowBottom, 137);
  EXPECT_EQ(det.fillLimit, 74 * 74);
  EXPECT_EQ(det.fillCount, 55 * 55 - 45 * 45);
  EXPECT_EQ(det.ringOrigin, (IntPoint{100, 100}));
  for (int d : det.quadrantDistance) EXPECT_EQ(d, 27 * 27 * 2);
  EXPECT_EQ(c.corners[0], (Point2D{73.0, 73.0}));
  EXPECT_EQ(c.corners[1], (Point2D{127.0, 73.0}));
  EXPECT_EQ(c.corners[2], (Point2D{127.0, 127.0}));
  EXPECT_EQ(c.corners[3], (Point2D{73.0, 127.0}));
  EXPECT_EQ(det.levelImage->pixelAt(75, 100), Aztec::kLevelRingFilled);
}

TEST(FindRingCorners, CompactBullseyeAndItsOwnMarks) {
  Detector det;
  det.setImage(bullseyeFrame(201, 201, 100, 100, 5, 4));
  SymbolCandidate c = located(det, 101, 99);
  ASSERT_EQ(c.center, (Point2D{100.0, 100.0}));
  ASSERT_TRUE(det.findRingCorners(c, false));
  // Fourth change left at x = 82, q = (85, 100): the light ring at module distance 3.
  EXPECT_EQ(det.fillCount, 35 * 35 - 25 * 25);
  EXPECT_EQ(det.windowLeft, 78);
  EXPECT_EQ(det.windowRight, 122);
  EXPECT_EQ(c.corners[0], (Point2D{83.0, 83.0}));
  EXPECT_EQ(c.corners[1], (Point2D{117.0, 83.0}));
  EXPECT_EQ(c.corners[2], (Point2D{117.0, 117.0}));
  EXPECT_EQ(c.corners[3], (Point2D{83.0, 117.0}));

  // The same check again finds its ring point already marked: the fill is empty.
  EXPECT_FALSE(det.findRingCorners(c, false));
  EXPECT_EQ(det.fillCount, 0);
  expectNoCorners(c);
}

TEST(FindRingCorners, RingPointOnDarkFailsBeforeAnyFill) {
  Detector det;
  // Dark patches in the outermost light ring on both sides of the centre row: the sixth
  // change comes early and q falls on the dark ring inside.
  det.setImage(frameOf(201, 201, [](int x, int y) -> std::uint8_t {
    if (((x >= 74 && x <= 76) || (x >= 124 && x <= 126)) && y >= 98 && y <= 102) return DetectTest::kDark;
    const int k = ringOf(x, y, 100, 100, 5);
    return k <= 6 && k % 2 == 0 ? DetectTest::kDark : DetectTest::kLight;
  }));
  SymbolCandidate c = located(det, 100, 100);
  ASSERT_EQ(det.fillCount, 25);
  EXPECT_FALSE(det.findRingCorners(c, true));
  expectNoCorners(c);
  // Window and sums are still those of the centre search.
  EXPECT_EQ(det.fillCount, 25);
  EXPECT_EQ(det.windowLeft, 67);
  EXPECT_EQ(det.windowRight, 133);
}

TEST(FindRingCorners, TooFewChangesKeepTheImageEdges) {
  Detector det;
  det.setImage(uniformFrame(201, 201, 200));
  // Whole frame light; the last column and row are never classified and stay dark.
  det.classifyWindow(0, 0, 200, 200, 0, 128, 255);
  SymbolCandidate c;
  c.center = Point2D{100.7, 100.2};
  ASSERT_TRUE(det.findRingCorners(c, true));
  // xLeft = 0 and a tie of the axes: q = (10, 100), r = 135, the window reaches width itself.
  EXPECT_EQ(det.windowLeft, 0);
  EXPECT_EQ(det.windowTop, 0);
  EXPECT_EQ(det.windowRight, 201);
  EXPECT_EQ(det.windowBottom, 201);
  EXPECT_EQ(det.fillLimit, 201 * 201);
  EXPECT_EQ(det.fillCount, 199 * 199);
  EXPECT_EQ(c.corners[0], (Point2D{1.0, 1.0}));
  EXPECT_EQ(c.corners[1], (Point2D{199.0, 1.0}));
  EXPECT_EQ(c.corners[2], (Point2D{199.0, 199.0}));
  EXPECT_EQ(c.corners[3], (Point2D{1.0, 199.0}));

  // The compact ring point (15, 100) now carries the full-range marks.
  EXPECT_FALSE(det.findRingCorners(c, false));
  EXPECT_EQ(det.fillCount, 0);
}

TEST(FindRingCorners, AsymmetricRowMeasuresUpwards) {
  Detector det;
  // A dark patch in the outermost light ring on the left of the centre row makes the row
  // asymmetric; the column is clean, so the ring point is taken upwards, where the ring is
  // intact. Taken leftwards it would land on the dark ring inside.
  det.setImage(frameOf(640, 480, [](int x, int y) -> std::uint8_t {
    if (x >= 294 && x <= 296 && y >= 238 && y <= 242) return DetectTest::kDark;
    const int k = ringOf(x, y, 320, 240, 5);
    return k <= 6 && k % 2 == 0 ? DetectTest::kDark : DetectTest::kLight;
  }));
  SymbolCandidate c = located(det, 320, 240);
  ASSERT_TRUE(det.findRingCorners(c, true));
  EXPECT_EQ(det.levelImage->pixelAt(320, 215), Aztec::kLevelRingFilled);
  EXPECT_EQ(det.fillCount, 1000 - 15);
  EXPECT_EQ(c.corners[0], (Point2D{293.0, 213.0}));
  EXPECT_EQ(c.corners[2], (Point2D{347.0, 267.0}));
}

TEST(FindRingCorners, LeakThroughBrokenRingFailsTheCentroid) {
  Detector det;
  // The outer dark ring is open on the right (except on the centre row, so the scans still
  // see it), and the background is light on the right and dark on the left.
  det.setImage(frameOf(640, 480, [](int x, int y) -> std::uint8_t {
    const int k = ringOf(x, y, 320, 240, 5);
    if (k <= 6) {
      if (k == 6 && x > 320 && y != 240) return DetectTest::kLight;
      return k % 2 == 0 ? DetectTest::kDark : DetectTest::kLight;
    }
    return x > 320 ? DetectTest::kLight : DetectTest::kDark;
  }));
  SymbolCandidate c = located(det, 320, 240);
  ASSERT_EQ(c.center, (Point2D{320.0, 240.0}));
  EXPECT_FALSE(det.findRingCorners(c, true));
  expectNoCorners(c);
  ASSERT_GT(det.fillCount, 1000);  // the ring alone holds 1000 pixels
  const double mx = static_cast<double>(det.fillSumX) / det.fillCount;
  EXPECT_GT(mx - 320.0, (348 - 292) / 5.0);
}

TEST(FindRingCorners, NothingToCheck) {
  SymbolCandidate c;
  c.center = Point2D{3.0, 3.0};
  Detector none;
  EXPECT_FALSE(none.findRingCorners(c, true));
  expectNoCorners(c);

  Detector empty;
  empty.setImage(Velmora::Image::GrayBuf());
  c.center = empty.locateCenter(0, 0);
  EXPECT_FALSE(empty.findRingCorners(c, true));
  EXPECT_FALSE(empty.findRingCorners(c, false));

  // A failed centre search: (-1, -1) fails for both kinds.
  Detector det;
  det.setImage(bullseyeFrame(201, 201, 100, 100, 5, 6));
  det.locateCenter(100, 100);
  c.center = kNone;
  EXPECT_FALSE(det.findRingCorners(c, true));
  EXPECT_FALSE(det.findRingCorners(c, false));
  expectNoCorners(c);

  // Centres no frame can produce are refused without arithmetic on them.
  for (Point2D bad : {Point2D{NAN, 100.0}, Point2D{100.0, INFINITY}, Point2D{3e9, 100.0}}) {
    c.center = bad;
    EXPECT_FALSE(det.findRingCorners(c, true));
  }
}

TEST(FloodRing, FarthestPixelTiesGoToTheFirstReached) {
  Detector det;
  // A quarter disc of radius 50 around (100, 100), up and left of it, light on dark. Its
  // farthest pixels all lie at distance 50: (50, 100), (52, 86), (60, 70), (70, 60), (86, 52),
  // (100, 50).
  det.setImage(frameOf(201, 201, [](int x, int y) -> std::uint8_t {
    const int dx = x - 100, dy = y - 100;
    return x <= 100 && y <= 100 && dx * dx + dy * dy <= 2500 ? 200 : 20;
  }));
  det.classifyWindow(0, 0, 200, 200, 0, 128, 255);
  det.ringOrigin = IntPoint{100, 100};
  det.windowLeft = 40;
  det.windowTop = 40;
  det.windowRight = 101;
  det.windowBottom = 101;
  det.fillLimit = 100000;
  det.fillSumX = det.fillSumY = 0;
  det.fillCount = 0;
  // From row 64 the fill reaches row 60 (4 rows up) before row 70 (6 rows down).
  det.floodRing(75, 64);
  EXPECT_EQ(det.quadrantPoint[3], (IntPoint{70, 60}));
  EXPECT_EQ(det.quadrantDistance[3], 2500);
  for (int q = 0; q < 3; ++q) {
    EXPECT_EQ(det.quadrantPoint[q], (IntPoint{0, 0}));
    EXPECT_EQ(det.quadrantDistance[q], 0);
  }
}

TEST(FloodRing, StopsAtItsBudgetWithSeedsLeft) {
  Detector det;
  det.setImage(uniformFrame(100, 100, 200));
  det.classifyWindow(0, 0, 99, 99, 0, 128, 255);
  det.ringOrigin = IntPoint{50, 50};
  det.windowLeft = 10;
  det.windowTop = 10;
  det.windowRight = 90;
  det.windowBottom = 90;
  det.fillLimit = 10;
  det.fillCount = 0;
  det.floodRing(50, 50);
  // The first run stops on its tenth pixel (x = 20), the seeds it queued stay.
  EXPECT_EQ(det.fillCount, 10);
  EXPECT_EQ(det.fillSumX, 11 + 12 + 13 + 14 + 15 + 16 + 17 + 18 + 19 + 20);
  EXPECT_EQ(det.seedX.size(), 2u);
  EXPECT_EQ(det.levelImage->pixelAt(20, 50), Aztec::kLevelRingFilled);
  EXPECT_EQ(det.levelImage->pixelAt(21, 50), Aztec::kLevelLight);
  EXPECT_EQ(det.quadrantPoint[3], (IntPoint{11, 50}));
}

}  // namespace

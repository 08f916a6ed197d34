// Side-line fits and the refined corners.

#include <gtest/gtest.h>

#include <cmath>

#include "detect/bullseye_frames.h"
#include "detect/detector.h"
#include "detect/line_fit.h"

namespace {

using Aztec::Detector;
using Aztec::LineFit;
using Aztec::Point2D;
using Aztec::SymbolCandidate;
using DetectTest::bullseyeFrame;
using DetectTest::uniformFrame;

TEST(LineFit, BothRegressionsAndLargeCoordinates) {
  LineFit f;
  for (int x = 0; x < 10; ++x) f.add(x, 2 * x + 3);
  EXPECT_DOUBLE_EQ(f.slopeYOnX(), 2.0);
  EXPECT_DOUBLE_EQ(f.interceptYOnX(), 3.0);
  EXPECT_DOUBLE_EQ(f.slopeXOnY(), 0.5);
  EXPECT_DOUBLE_EQ(f.interceptXOnY(), -1.5);

  // Coordinates whose products pass 2^31 and sums pass 2^32 (n * sum x^2 ~ 1e12).
  LineFit big;
  for (int i = 0; i < 40; ++i) big.add(60000 + i, 50000 - 3 * i);
  EXPECT_DOUBLE_EQ(big.slopeYOnX(), -3.0);
  EXPECT_DOUBLE_EQ(big.interceptYOnX(), 50000.0 + 3.0 * 60000.0);

  // A vertical set: y on x has a zero denominator, x on y is exact.
  LineFit vertical;
  for (int y = 5; y < 9; ++y) vertical.add(7, y);
  EXPECT_FALSE(std::isfinite(vertical.slopeYOnX()));
  EXPECT_DOUBLE_EQ(vertical.slopeXOnY(), 0.0);
  EXPECT_DOUBLE_EQ(vertical.interceptXOnY(), 7.0);
}

// Detector whose level image holds 150 on the pixels at Chebyshev distance 23..27 from
// (100, 100) and 0 elsewhere, with the window and corners the ring check leaves for it.
struct MarkedRing {
  Detector det;
  SymbolCandidate candidate;
  MarkedRing() {
    det.setImage(uniformFrame(201, 201, 10));
    det.classifyWindow(0, 0, 200, 200, 0, 128, 255);  // every level 85 (dark)
    for (int y = 0; y < 201; ++y)
      for (int x = 0; x < 201; ++x) {
        const int k = std::max(std::abs(x - 100), std::abs(y - 100));
        if (k >= 23 && k <= 27) det.levelImage->setPixel(x, y, Aztec::kLevelRingFilled);
      }
    det.windowLeft = det.windowTop = 63;
    det.windowRight = det.windowBottom = 137;
    candidate.corners = {Point2D{73, 73}, Point2D{127, 73}, Point2D{127, 127}, Point2D{73, 127}};
  }
};

// Side means of the trapezoids cut by the diagonals: top rows 73..77 hold 55, 53, 51, 49, 47
// pixels (255, pixels on the diagonals included), left columns 73..77 hold 54, 52, 50, 48, 46
// (250), right the same mirrored, bottom rows 127..123 hold 53, 51, 49, 47, 45 (245).
constexpr double kTop = (73 * 55 + 74 * 53 + 75 * 51 + 76 * 49 + 77 * 47) / 255.0;
constexpr double kLeft = (73 * 54 + 74 * 52 + 75 * 50 + 76 * 48 + 77 * 46) / 250.0;
constexpr double kRight = (127 * 54 + 126 * 52 + 125 * 50 + 124 * 48 + 123 * 46) / 250.0;
constexpr double kBottom = (127 * 53 + 126 * 51 + 125 * 49 + 124 * 47 + 123 * 45) / 245.0;

void expectCorners(const SymbolCandidate& c, double top, double left, double right, double bottom) {
  EXPECT_NEAR(c.corners[0].x, left, 1e-9);
  EXPECT_NEAR(c.corners[0].y, top, 1e-9);
  EXPECT_NEAR(c.corners[1].x, right, 1e-9);
  EXPECT_NEAR(c.corners[1].y, top, 1e-9);
  EXPECT_NEAR(c.corners[2].x, right, 1e-9);
  EXPECT_NEAR(c.corners[2].y, bottom, 1e-9);
  EXPECT_NEAR(c.corners[3].x, left, 1e-9);
  EXPECT_NEAR(c.corners[3].y, bottom, 1e-9);
}

TEST(RefineCorners, UprightRing) {
  MarkedRing r;
  r.det.refineCorners(r.candidate);
  expectCorners(r.candidate, kTop, kLeft, kRight, kBottom);
  EXPECT_NEAR(r.candidate.corners[0].x, 74.92, 0.005);
  EXPECT_NEAR(r.candidate.corners[2].y, 125.08, 0.005);
}

TEST(RefineCorners, AfterTheRingCheckOfABullseye) {
  Detector det;
  det.setImage(bullseyeFrame(201, 201, 100, 100, 5, 6));
  SymbolCandidate c;
  c.center = det.locateCenter(100, 100);
  ASSERT_TRUE(det.findRingCorners(c, true));
  det.refineCorners(c);
  expectCorners(c, kTop, kLeft, kRight, kBottom);
}

TEST(RefineCorners, EveryMarkInsideTheWindowCounts) {
  // Leftover marks on the window's right column (bounds included) pull the right side out.
  // The side's rows run 74..127, so a pair at rows 100 and 101 keeps it upright.
  MarkedRing inside;
  inside.det.levelImage->setPixel(137, 100, Aztec::kLevelRingFilled);
  inside.det.levelImage->setPixel(137, 101, Aztec::kLevelRingFilled);
  inside.det.refineCorners(inside.candidate);
  const double right = (127 * 54 + 126 * 52 + 125 * 50 + 124 * 48 + 123 * 46 + 2 * 137) / 252.0;
  EXPECT_NEAR(inside.candidate.corners[1].x, right, 1e-9);
  EXPECT_NEAR(inside.candidate.corners[2].x, right, 1e-9);
  EXPECT_NEAR(inside.candidate.corners[0].x, kLeft, 1e-9);

  // One column further it is outside the window and ignored.
  MarkedRing outside;
  outside.det.levelImage->setPixel(138, 100, Aztec::kLevelRingFilled);
  outside.det.levelImage->setPixel(100, 62, Aztec::kLevelRingFilled);
  outside.det.refineCorners(outside.candidate);
  expectCorners(outside.candidate, kTop, kLeft, kRight, kBottom);
}

TEST(RefineCorners, WindowPastTheImageAndEmptySides) {
  // The ring window may reach one past the last column and row.
  MarkedRing edge;
  edge.det.windowRight = edge.det.windowBottom = 201;
  edge.det.windowLeft = edge.det.windowTop = 0;
  edge.det.refineCorners(edge.candidate);
  expectCorners(edge.candidate, kTop, kLeft, kRight, kBottom);

  // No marks at all: every fit divides by zero and the corners are not finite.
  MarkedRing none;
  none.det.classifyWindow(0, 0, 200, 200, 0, 128, 255);
  none.det.refineCorners(none.candidate);
  for (const Point2D& p : none.candidate.corners) EXPECT_FALSE(std::isfinite(p.x) && std::isfinite(p.y));

  // Without a level image there is nothing to read.
  Detector bare;
  SymbolCandidate c = none.candidate;
  bare.refineCorners(c);
  for (const Point2D& p : c.corners) EXPECT_FALSE(std::isfinite(p.x) && std::isfinite(p.y));
}

}  // namespace

// Thresholds, window classification and the centre fills.

#include <gtest/gtest.h>

#include <climits>

#include "detect/detector.h"
#include "detect/bullseye_frames.h"

namespace {

using Aztec::Detector;
using Aztec::Point2D;
using DetectTest::bullseyeFrame;
using DetectTest::frameOf;
using DetectTest::uniformFrame;
using Velmora::Image::GrayBuf;

int levelAt(const Detector& det, int x, int y) { return det.levelImage->pixelAt(x, y); }

TEST(MeasureThresholds, FiveEighthsHighAndClampedBox) {
  Detector det;
  // 20 in the top-left corner, 220 in the bottom-right one, 100 elsewhere.
  det.setImage(frameOf(10, 10, [](int x, int y) -> std::uint8_t {
    if (x == 0 && y == 0) return 20;
    if (x == 9 && y == 9) return 220;
    return 100;
  }));
  int low = 0, mid = 128, high = 255;
  det.measureThresholds(-5, -5, 20, 20, low, mid, high);  // clamped to the whole frame
  EXPECT_EQ(mid, 120);
  EXPECT_EQ(low, 70);
  EXPECT_EQ(high, 145);

  // Box holding only 100s: the three thresholds meet.
  det.measureThresholds(2, 2, 5, 5, low, mid, high);
  EXPECT_EQ(low, 100);
  EXPECT_EQ(mid, 100);
  EXPECT_EQ(high, 100);

  // An inverted box leaves the values alone, as does an empty frame.
  low = 1, mid = 2, high = 3;
  det.measureThresholds(6, 0, 3, 9, low, mid, high);
  EXPECT_EQ(low, 1);
  EXPECT_EQ(mid, 2);
  EXPECT_EQ(high, 3);
  det.setImage(GrayBuf());
  det.measureThresholds(0, 0, 5, 5, low, mid, high);
  EXPECT_EQ(low, 1);
  EXPECT_EQ(mid, 2);
  EXPECT_EQ(high, 3);
}

TEST(ClassifyWindow, EveryGreyValueForAnyThresholds) {
  Detector det;
  det.setImage(frameOf(257, 3, [](int x, int) { return static_cast<std::uint8_t>(x & 255); }));
  // Ordered thresholds as measured, and odd ones a caller may pass: unordered, out of range.
  const int sets[][3] = {{70, 120, 145}, {0, 0, 0}, {255, 255, 255}, {200, 100, 50}, {-5, 300, 128}, {256, 256, 256}, {1, -1, 0}};
  for (const auto& t : sets) {
    det.classifyWindow(0, 0, 256, 2, t[0], t[1], t[2]);
    for (int g = 0; g < 256; ++g) {
      const int expected = g >= t[2] ? 255 : g >= t[1] ? 170 : g >= t[0] ? 85 : 0;
      ASSERT_EQ(levelAt(det, g, 0), expected) << "g=" << g << " thresholds " << t[0] << "," << t[1] << "," << t[2];
      ASSERT_EQ(levelAt(det, g, 1), expected);
    }
    // The last column and the last row of the window are not written.
    EXPECT_EQ(levelAt(det, 256, 0), 0);
    EXPECT_EQ(levelAt(det, 5, 2), 0);
  }
}

TEST(ClassifyWindow, RewritesOnlyItsOwnWindow) {
  Detector det;
  det.setImage(uniformFrame(40, 40, 200));
  det.classifyWindow(0, 0, 39, 39, 0, 128, 255);  // 200 -> 170 everywhere but the last row/column
  det.levelImage->setPixel(10, 10, Aztec::kLevelLightFilled);
  det.levelImage->setPixel(30, 30, Aztec::kLevelDarkFilled);
  det.classifyWindow(5, 5, 20, 20, 0, 100, 150);  // 200 -> 255 inside
  EXPECT_EQ(levelAt(det, 10, 10), 255);  // earlier mark overwritten
  EXPECT_EQ(levelAt(det, 30, 30), 120);  // outside: kept
  EXPECT_EQ(levelAt(det, 4, 10), 170);
  EXPECT_EQ(levelAt(det, 20, 10), 170);  // column x1 untouched
  EXPECT_EQ(levelAt(det, 10, 20), 170);  // row y1 untouched
  EXPECT_EQ(levelAt(det, 39, 39), 0);
}

TEST(LocateCenter, BullseyeModulesAndRings) {
  Detector det;
  det.setImage(bullseyeFrame(361, 361, 180, 180, 5, 6));  // d = 60

  // On the dark centre module: only its 25 pixels, marked as dark-filled.
  Point2D c = det.locateCenter(178, 181);
  EXPECT_EQ(c, (Point2D{180.0, 180.0}));
  EXPECT_EQ(det.fillCount, 25);
  EXPECT_EQ(levelAt(det, 182, 182), Aztec::kLevelDarkFilled);
  EXPECT_EQ(levelAt(det, 183, 180), 255);  // the light ring around it is not visited
  EXPECT_EQ(det.windowLeft, 118);
  EXPECT_EQ(det.windowTop, 121);
  EXPECT_EQ(det.windowRight, 238);
  EXPECT_EQ(det.windowBottom, 241);

  // Each square ring, light or dark, is filled whole: its centroid is the centre.
  struct Case {
    int x, y, pixels;
  } cases[] = {{185, 180, 15 * 15 - 5 * 5},  {180, 169, 25 * 25 - 15 * 15}, {195, 180, 35 * 35 - 25 * 25},
               {200, 180, 45 * 45 - 35 * 35}, {155, 180, 55 * 55 - 45 * 45}};
  for (const Case& k : cases) {
    c = det.locateCenter(k.x, k.y);
    EXPECT_EQ(c, (Point2D{180.0, 180.0})) << k.x << "," << k.y;
    EXPECT_EQ(det.fillCount, k.pixels) << k.x << "," << k.y;
    EXPECT_TRUE(det.seedX.empty() && det.seedY.empty());
  }

  // The outermost dark ring touches the dark background of a frame that is dark outside the
  // finder, so its fill runs to the window.
  det.setImage(frameOf(361, 361, [](int x, int y) -> std::uint8_t {
    const int k = DetectTest::ringOf(x, y, 180, 180, 5);
    return k >= 6 || k % 2 == 0 ? DetectTest::kDark : DetectTest::kLight;
  }));
  det.locateCenter(150, 180);
  EXPECT_EQ(det.fillCount, 119 * 119 - 55 * 55);
}

TEST(LocateCenter, RegionCutAtWindow) {
  Detector det;
  det.setImage(uniformFrame(120, 120, 90));  // d = 19
  // Window x 0..24, y 41..79; fills stay strictly inside it.
  Point2D c = det.locateCenter(5, 60);
  EXPECT_EQ(det.fillCount, 23 * 37);
  EXPECT_EQ(c, (Point2D{12.0, 60.0}));
  EXPECT_EQ(levelAt(det, 0, 60), 255);  // windowLeft: classified, never filled
  EXPECT_EQ(levelAt(det, 1, 60), Aztec::kLevelLightFilled);
}

TEST(LocateCenter, ThresholdBoxOfOneValue) {
  Detector det;
  // 100 around the start, 99 to the left, 101 to the right.
  det.setImage(frameOf(120, 120, [](int x, int) -> std::uint8_t { return x < 50 ? 99 : x > 70 ? 101 : 100; }));
  det.locateCenter(60, 60);
  EXPECT_EQ(levelAt(det, 45, 60), 0);
  EXPECT_EQ(levelAt(det, 75, 60), Aztec::kLevelLightFilled);  // 255, then filled
  EXPECT_EQ(levelAt(det, 41, 41), 0);                          // windowLeft/Top column: 99 -> 0
  EXPECT_EQ(levelAt(det, 78, 41), 255);                        // windowTop row: 101 -> 255, not filled
  EXPECT_EQ(levelAt(det, 79, 60), 0);                          // windowRight column: never classified
}

TEST(LocateCenter, LeftoversOfEarlierWindowsStayOutside) {
  Detector det;
  det.setImage(uniformFrame(200, 200, 180));  // d = 33
  det.locateCenter(110, 100);                 // window x 77..143
  det.locateCenter(60, 100);                  // window x 27..93
  EXPECT_EQ(levelAt(det, 100, 100), Aztec::kLevelLightFilled);  // first fill, outside the second window
  EXPECT_EQ(levelAt(det, 93, 100), Aztec::kLevelLightFilled);   // windowRight column: never rewritten
  EXPECT_EQ(levelAt(det, 27, 100), 255);                        // windowLeft: classified, not filled
  EXPECT_EQ(levelAt(det, 26, 100), 0);                          // never classified

  // The reverse order: the first fill's marks inside the new window are reclassified.
  Detector det2;
  det2.setImage(uniformFrame(200, 200, 180));
  det2.locateCenter(60, 100);
  det2.locateCenter(110, 100);
  EXPECT_EQ(levelAt(det2, 77, 100), 255);
  EXPECT_EQ(levelAt(det2, 50, 100), Aztec::kLevelLightFilled);
  EXPECT_EQ(levelAt(det2, 143, 100), 0);
}

TEST(LocateCenter, DegenerateFramesAndStartPoints) {
  Detector det;
  EXPECT_EQ(det.locateCenter(0, 0), (Point2D{0.0, 0.0}));  // no image at all
  det.setImage(GrayBuf());
  EXPECT_EQ(det.locateCenter(0, 0), (Point2D{0.0, 0.0}));
  EXPECT_EQ(det.levelImage, nullptr);
  det.setImage(uniformFrame(0, 10, 0));
  EXPECT_EQ(det.locateCenter(0, 5), (Point2D{0.0, 0.0}));
  EXPECT_EQ(det.levelImage, nullptr);

  // d = 0: the window is the start point alone and nothing is filled.
  const int sizes[][2] = {{1, 1}, {5, 5}, {6, 6}, {640, 3}, {3, 640}};
  for (const auto& s : sizes) {
    Detector d0;
    d0.setImage(uniformFrame(s[0], s[1], 200));
    EXPECT_EQ(d0.locateCenter(s[0] / 2, s[1] / 2), (Point2D{-1.0, -1.0})) << s[0] << "x" << s[1];
    // Off the image the start row still counts, from the start point up to the window.
    EXPECT_EQ(d0.locateCenter(-30, 700), (Point2D{-15.0, 700.0}));
    EXPECT_EQ(d0.fillCount, 29);
  }
  // d = 1: a 3 x 3 window holds one fillable pixel.
  Detector d1;
  d1.setImage(uniformFrame(7, 7, 200));
  EXPECT_EQ(d1.locateCenter(3, 3), (Point2D{3.0, 3.0}));
  EXPECT_EQ(d1.fillCount, 1);

  // Off the image to the left: the start row is counted from the start point up to the
  // window, pixel by pixel, though none of it lies in the image.
  Detector off;
  off.setImage(uniformFrame(60, 60, 200));  // d = 9
  EXPECT_EQ(off.locateCenter(-20, 30), (Point2D{-10.0, 30.0}));
  EXPECT_EQ(off.fillCount, 19);
  EXPECT_EQ(off.locateCenter(INT_MIN, INT_MIN), (Point2D{-1073741824.0, -2147483648.0}));
  EXPECT_EQ(off.fillCount, INT_MAX);
  EXPECT_EQ(off.locateCenter(INT_MAX, INT_MAX), (Point2D{-1.0, -1.0}));
  EXPECT_EQ(off.locateCenter(INT_MAX, 30), (Point2D{-1.0, -1.0}));
  EXPECT_EQ(off.locateCenter(30, INT_MIN + 1), (Point2D{30.0, INT_MIN + 1.0}));
}

}  // namespace

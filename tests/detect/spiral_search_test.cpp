// The start points of the search, its end state, and the stages on real symbols.

#include <gtest/gtest.h>

#include <cmath>

#include "detect/bullseye_frames.h"
#include "detect/detector.h"
#include "detect/spiral_search.h"
#include "support/symbol_frames.h"

namespace {

using Aztec::Detector;
using Aztec::IntPoint;
using Aztec::Point2D;
using Aztec::SymbolCandidate;
using DetectTest::uniformFrame;

TEST(SpiralSearch, StartOffsetsInOrder) {
  const IntPoint expected[25] = {
      {0, 0},
      {-24, -24}, {0, -24}, {24, 24}, {0, 24}, {-24, -24}, {-24, 0}, {24, 24}, {24, 0},
      {-48, -48}, {-24, -48}, {0, -48}, {24, -48}, {48, 48}, {24, 48}, {0, 48}, {-24, 48},
      {-48, -48}, {-48, -24}, {-48, 0}, {-48, 24}, {48, 48}, {48, 24}, {48, 0}, {48, -24}};
  const auto& offsets = Aztec::spiralStartOffsets();
  for (int i = 0; i < 25; ++i) EXPECT_EQ(offsets[i], expected[i]) << "try " << i + 1;
}

TEST(SpiralSearch, UniformFrameEndsOnTheLastStartPoint) {
  Detector det;
  det.setImage(uniformFrame(641, 480, 128));
  SymbolCandidate c = det.createCandidates().front();
  EXPECT_FALSE(det.detect(c));
  // A uniform window fills whole, so the centre is the start point: (320 + 48, 240 - 24).
  EXPECT_EQ(c.center, (Point2D{368.0, 216.0}));
  EXPECT_TRUE(c.symbolType == 1 || c.symbolType == 2);
}

TEST(SpiralSearch, TriedPointsLeaveTheirMarks) {
  Detector det;
  // d = 11: the 23-pixel windows of start points 24 apart never overlap, so every tried
  // point inside the frame keeps a light level and an untried one stays 0.
  det.setImage(uniformFrame(200, 72, 200));
  SymbolCandidate c;
  EXPECT_FALSE(det.detect(c));
  EXPECT_EQ(c.center, (Point2D{148.0, 12.0}));
  for (const IntPoint& o : Aztec::spiralStartOffsets()) {
    const int x = 100 + o.x, y = 36 + o.y;
    if (y < 0 || y >= 72) continue;
    EXPECT_GE(det.levelImage->pixelAt(x, y), 128) << x << "," << y;
  }
  EXPECT_EQ(det.levelImage->pixelAt(124, 12), 0);  // offset (24, -24)
  EXPECT_EQ(det.levelImage->pixelAt(76, 60), 0);   // offset (-24, 24)
}

TEST(SpiralSearch, DegenerateFramesEndNormally) {
  Detector noImage;
  SymbolCandidate c;
  EXPECT_FALSE(noImage.detect(c));

  const int sizes[][2] = {{0, 0}, {0, 480}, {640, 0}, {1, 1}, {5, 5}, {640, 3}, {3, 640}, {7, 7}, {95, 95}};
  for (const auto& s : sizes) {
    Detector det;
    det.setImage(uniformFrame(s[0], s[1], 90));
    SymbolCandidate cand = det.createCandidates().front();
    EXPECT_FALSE(det.detect(cand)) << s[0] << "x" << s[1];
    EXPECT_TRUE(cand.symbolType == 1 || cand.symbolType == 2);
  }

  Detector empty;
  empty.setImage(Velmora::Image::GrayBuf());
  SymbolCandidate e = empty.createCandidates().front();
  EXPECT_FALSE(empty.detect(e));
  EXPECT_EQ(e.center, (Point2D{0.0, 0.0}));
  EXPECT_EQ(e.symbolType, 1);
  for (const Point2D& p : e.corners) EXPECT_EQ(p, (Point2D{-1.0, -1.0}));
}

// Distance of the refined corners from the symbol centre, per axis, should be the finder's
// outer light ring: 5 modules for full-range, 3 for compact.
void expectRingCorners(const SymbolCandidate& c, double cx, double cy, double half) {
  const double sx[4] = {-1, 1, 1, -1};
  const double sy[4] = {-1, -1, 1, 1};
  for (int i = 0; i < 4; ++i) {
    EXPECT_NEAR(c.corners[i].x, cx + sx[i] * half, 1.5) << "corner " << i;
    EXPECT_NEAR(c.corners[i].y, cy + sy[i] * half, 1.5) << "corner " << i;
  }
}

TEST(SpiralSearch, StagesOnRenderedSymbols) {
  AztecTest::RenderOptions o;
  o.moduleSize = 5.0;
  // The renderer's symbol centre is the pixel boundary at (320, 240); pixel centres sit at
  // index + 0.5, so the centre module's pixels average to 319.5.
  const double cx = 319.5, cy = 239.5;

  Detector full;
  full.setImage(AztecTest::renderSymbol(AztecTest::encodeText("Full-range symbol for the ring check", AztecTest::SymbolKind::FullRange, 3), o));
  SymbolCandidate f;
  full.tryAt(f, 320, 240);
  EXPECT_EQ(f.symbolType, 2);
  expectRingCorners(f, cx, cy, 25.0);

  Detector compact;
  compact.setImage(AztecTest::renderSymbol(AztecTest::encodeText("Compact", AztecTest::SymbolKind::Compact, 2), o));
  SymbolCandidate k;
  compact.tryAt(k, 320, 240);
  EXPECT_EQ(k.symbolType, 1);
  expectRingCorners(k, cx, cy, 15.0);
}

}  // namespace

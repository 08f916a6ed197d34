#include "geometry/mode_message_sampling.h"

#include <gtest/gtest.h>

#include "detect/detector.h"
#include "support/symbol_frames.h"
#include "symbol/mode_message.h"

namespace Aztec {
namespace {

std::vector<bool> binarized(const std::vector<std::uint32_t>& samples, float t) {
  BitRing ring(samples.size());
  binarizeRing(samples, ring, t);
  return ring.bits();
}

TEST(BinarizeRing, SinglePrecisionFractionAndUnsignedThreshold) {
  // 0.45f widens to 0.449999988: the threshold is 89.99999 -> 89, so 89 is light and 88 dark.
  EXPECT_EQ(binarized({0, 200, 89, 88}, THRESHOLD_FRACTIONS[1]), (std::vector<bool>{true, false, false, true}));
  EXPECT_EQ(binarized({10, OUTSIDE_IMAGE, 500000004, 500000003}, 0.5f),
            (std::vector<bool>{true, false, false, true}));
  EXPECT_EQ(binarized({77, 77, 77}, 0.5f), std::vector<bool>(3, false));

  BitRing untouched(2);
  untouched.set(1, true);
  binarizeRing({}, untouched, 0.5f);
  EXPECT_EQ(untouched.bits(), (std::vector<bool>{false, true}));
}

TEST(BinarizeRing, OneSampleOutsideMakesEveryPixelDark) {
  for (float t : THRESHOLD_FRACTIONS) {
    EXPECT_EQ(binarized({0, 255, 130, OUTSIDE_IMAGE, 254}, t), (std::vector<bool>{true, true, true, false, true}));
  }
}

// Grid positions of the mode-message ring, clockwise from the top-left corner module.
std::vector<Point2D> ringPositions(bool compact) {
  const int n = compact ? 10 : 14, r = n / 2;
  std::vector<Point2D> p;
  for (int i = 0; i < n; ++i) p.push_back({-r + i + 0.0, -r + 0.0});
  for (int i = 0; i < n; ++i) p.push_back({r + 0.0, -r + i + 0.0});
  for (int i = 0; i < n; ++i) p.push_back({r - i + 0.0, r + 0.0});
  for (int i = 0; i < n; ++i) p.push_back({-r + 0.0, r - i + 0.0});
  return p;
}

// A light frame holding only one pixel per ring module, where a sampler with `scale` should
// read it; the finder corners say 6 pixels per module around (100.5, 100.5).
struct RingFrame {
  Detector detector;
  SymbolCandidate candidate;
  std::vector<std::uint8_t> pixels = std::vector<std::uint8_t>(200 * 200, 200);
  std::vector<bool> ring;

  RingFrame(const AztecTest::EncodedSymbol& s, double scale) {
    const int half = s.size / 2, c = s.compact ? 3 : 5;
    for (const Point2D& g : ringPositions(s.compact)) {
      const int x = static_cast<int>(100.5 + 6 * (g.x * scale)), y = static_cast<int>(100.5 + 6 * (g.y * scale));
      ring.push_back(s.modules[half + static_cast<int>(g.y)][half + static_cast<int>(g.x)]);
      pixels[y * 200 + x] = ring.back() ? 0 : 200;
    }
    candidate.symbolType = s.compact ? kCompact : kFullRange;
    candidate.corners = {Point2D{100.5 - 6 * c, 100.5 - 6 * c}, Point2D{100.5 + 6 * c, 100.5 - 6 * c},
                         Point2D{100.5 + 6 * c, 100.5 + 6 * c}, Point2D{100.5 - 6 * c, 100.5 + 6 * c}};
  }
  bool sample(double scale) {
    detector.setImage(Velmora::Image::GrayBuf::fromBytes(pixels.data(), 200, 200));
    return detector.sampleModeMessage(candidate, scale);
  }
};

TEST(SampleModeMessage, ReadsEachRingModuleAtItsScaledCentre) {
  const auto compact = AztecTest::encodeText("ring order", AztecTest::SymbolKind::Compact, 3);
  const auto full = AztecTest::encodeText("full-range ring", AztecTest::SymbolKind::FullRange, 2);
  for (const auto* s : {&compact, &full}) {
    for (double scale : {1.0, 1.1, 0.9}) {
      SCOPED_TRACE(testing::Message() << (s->compact ? "compact" : "full-range") << " scale " << scale);
      RingFrame frame(*s, scale);
      // Sampled at another scale the ring reads as light background and cannot decode.
      EXPECT_FALSE(frame.sample(scale == 1.0 ? 1.1 : 1.0));
      ASSERT_TRUE(frame.sample(scale));
      EXPECT_EQ(frame.candidate.layers, s->layers);
      EXPECT_EQ(frame.candidate.dataCodewords, s->dataCodewords);
      EXPECT_EQ(frame.candidate.rotation, 0);
    }
  }
}

TEST(SampleModeMessage, StopsAtTheFirstFractionThatDecodes) {
  const auto s = AztecTest::encodeText("first fraction wins", AztecTest::SymbolKind::Compact, 2);
  RingFrame frame(s, 1.0);
  // Message bits at grey 95 where dark on the top and right sides (dark from fraction 0.5 on,
  // light at 0.45 and below), at 150 where light on the bottom and left (dark at 0.8 and 0.9).
  // Only the fractions from 0.5 to 0.7 see the true ring; 0.45 and the last one, 0.9, do not.
  auto ring45 = frame.ring, ring90 = frame.ring;
  for (int i : {2, 3, 4, 5, 6, 7, 8, 12, 13, 14, 15, 16, 17, 18, 22, 23, 24, 25, 26, 27, 28, 32, 33, 34, 35, 36, 37, 38}) {
    const bool topRight = i < 20;
    if (frame.ring[i] != topRight) continue;
    const Point2D g = ringPositions(true)[i];
    frame.pixels[static_cast<int>(100.5 + 6 * g.y) * 200 + static_cast<int>(100.5 + 6 * g.x)] = topRight ? 95 : 150;
    (topRight ? ring45 : ring90)[i] = !topRight;
  }
  for (const auto& bits : {ring45, ring90}) {
    BitRing fails(bits.size());
    fails.bits() = bits;
    SymbolCandidate probe;
    probe.symbolType = kCompact;
    ASSERT_FALSE(decodeModeMessage(probe, fails));
  }
  ASSERT_TRUE(frame.sample(1.0));
  EXPECT_EQ(frame.candidate.layers, 2);
  EXPECT_EQ(frame.candidate.dataCodewords, s.dataCodewords);
}

}  // namespace
}  // namespace Aztec

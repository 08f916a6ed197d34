#include "geometry/mode_message_sampling.h"

#include <gtest/gtest.h>

#include "detect/detector.h"
#include "support/symbol_frames.h"

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
  EXPECT_EQ(binarized({10, OUTSIDE_IMAGE, 500000004, 500000003}, 0.5f), (std::vector<bool>{true, false, false, true}));
  EXPECT_EQ(binarized({77, 77, 77}, 0.5f), std::vector<bool>(3, false));  // nothing below the threshold
  // One sample outside the image makes every in-image sample dark, at every fraction.
  for (float t : THRESHOLD_FRACTIONS)
    EXPECT_EQ(binarized({0, 255, 130, OUTSIDE_IMAGE, 254}, t), (std::vector<bool>{true, true, true, false, true})) << t;
}

// A light frame holding one pixel per ring module, where a sampler with `scale` reads it; the
// finder corners say 6 pixels per module around (100.5, 100.5). Sample i of the ring is taken
// clockwise from the top-left corner module (-r, -r), samples n, 2n, 3n at the other corners.
TEST(SampleModeMessage, ReadsEachRingModuleAtItsScaledCentre) {
  for (const auto& s : {AztecTest::encodeText("ring order", AztecTest::SymbolKind::Compact, 3),
                        AztecTest::encodeText("full-range ring", AztecTest::SymbolKind::FullRange, 2)})
    for (double scale : {1.0, 1.1, 0.9}) {
      SCOPED_TRACE(testing::Message() << (s.compact ? "compact" : "full-range") << " scale " << scale);
      const int n = s.compact ? 10 : 14, r = n / 2, c = s.compact ? 3 : 5, half = s.size / 2;
      std::vector<std::uint8_t> pixels(200 * 200, 200);
      for (int i = 0; i < 4 * n; ++i) {
        const int side = i / n, t = i % n;
        const int gx = side == 0 ? -r + t : side == 1 ? r : side == 2 ? r - t : -r;
        const int gy = side == 0 ? -r : side == 1 ? -r + t : side == 2 ? r : r - t;
        const int x = static_cast<int>(100.5 + 6 * (gx * scale)), y = static_cast<int>(100.5 + 6 * (gy * scale));
        if (s.modules[half + gy][half + gx]) pixels[y * 200 + x] = 0;
      }
      Detector detector;
      detector.setImage(Velmora::Image::GrayBuf::fromBytes(pixels.data(), 200, 200));
      SymbolCandidate candidate;
      candidate.symbolType = s.compact ? kCompact : kFullRange;
      const double lo = 100.5 - 6 * c, hi = 100.5 + 6 * c;
      candidate.corners = {Point2D{lo, lo}, Point2D{hi, lo}, Point2D{hi, hi}, Point2D{lo, hi}};
      // Sampled at another scale the ring reads as light background and cannot decode.
      EXPECT_FALSE(detector.sampleModeMessage(candidate, scale == 1.0 ? 1.1 : 1.0));
      ASSERT_TRUE(detector.sampleModeMessage(candidate, scale));
      EXPECT_EQ(candidate.layers, s.layers);
      EXPECT_EQ(candidate.dataCodewords, s.dataCodewords);
      EXPECT_EQ(candidate.rotation, 0);
    }
}

}  // namespace
}  // namespace Aztec

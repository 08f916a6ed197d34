#include "decoder/decoder.h"

#include <gtest/gtest.h>

#include <random>

#include "detect/detector.h"

namespace Aztec {
namespace {

using Velmora::Image::GrayBuf;

TEST(SymbolInfo, ReportsTypeOrientationLayersCapacityAndTruncatedEcc) {
  auto info = [](int type, int rotation, bool mirrored, int layers, int data, int size, int total) {
    SymbolCandidate c;
    c.symbolType = type, c.rotation = rotation, c.mirrored = mirrored, c.layers = layers;
    c.dataCodewords = data, c.codewordSize = size, c.totalCodewords = total;
    return Decoder::symbolInfo(c);
  };
  EXPECT_EQ(info(1, 1, false, 2, 23, 6, 40), "(C 90' L: 2 D: 138 ECC: 42%)");
  EXPECT_EQ(info(2, 0, true, 5, 80, 8, 120), "(F 0'M L: 5 D: 640 ECC: 33%)");
  EXPECT_EQ(info(1, 3, true, 4, 1, 8, 76), "(C 270'M L: 4 D: 8 ECC: 98%)");
  // Zero total codewords must not divide by zero; more data than total prints a negative share.
  EXPECT_EQ(info(0, 7, false, 0, 0, 0, 0), "(? ?' L: 0 D: 0 ECC: 0%)");
  EXPECT_EQ(info(1, 0, false, 1, 20, 6, 17), "(C 0' L: 1 D: 120 ECC: -17%)");
  EXPECT_EQ(Decoder::intToText(-2147483647 - 1), "-2147483648");
}

GrayBuf uniformFrame(int w, int h, std::uint8_t value) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(w) * h, value);
  return GrayBuf::fromBytes(bytes.data(), w, h);
}

// Blank, noisy, finder-like (concentric squares, no mode message) and degenerate frames: NotRead,
// no text, and the report of the candidate as the search's last try point left it.
TEST(DecodeWithoutSymbol, AnswersNotReadWithTheLastTryPointsReport) {
  std::vector<std::uint8_t> noise(640 * 480);
  std::mt19937 rng(7);
  for (auto& v : noise) v = static_cast<std::uint8_t>(rng() & 0xFF);
  GrayBuf target = uniformFrame(640, 480, 230);
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x)
      if (const int d = std::max(std::abs(x - 320), std::abs(y - 240)) / 5; d <= 6 && d % 2 == 0)
        target.setPixel(x, y, 20);
  std::vector<GrayBuf> frames = {uniformFrame(640, 480, 200), GrayBuf::fromBytes(noise.data(), 640, 480),
                                 target};
  for (auto [w, h] : {std::pair{0, 0}, std::pair{1, 1}, std::pair{5, 5}, std::pair{640, 3}, std::pair{3, 480},
                      std::pair{60, 40}, std::pair{0, 480}, std::pair{95, 95}})
    frames.push_back(uniformFrame(w, h, 90));
  for (const GrayBuf& frame : frames) {
    SCOPED_TRACE(std::to_string(frame.width()) + "x" + std::to_string(frame.height()));
    Detector detector;
    detector.setImage(frame);
    SymbolCandidate last = detector.createCandidates().front();
    EXPECT_FALSE(detector.detect(last));
    EXPECT_TRUE(last.symbolType == 1 || last.symbolType == 2);
    Decoder decoder;
    std::string status = "previous text";
    EXPECT_EQ(decoder.decode(frame, status), NotRead);
    EXPECT_EQ(status, "Aztec code detected. The image quality does not allow for reading the data. " +
                          Decoder::symbolInfo(last));
    EXPECT_EQ(decoder.resultText(), "");
  }
}

}  // namespace
}  // namespace Aztec

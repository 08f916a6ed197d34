#include "decoder/decoder.h"

#include <gtest/gtest.h>

#include <random>

#include "detect/detector.h"

namespace Aztec {
namespace {

SymbolCandidate report(int type, int rotation, bool mirrored, int layers, int data, int size, int total) {
  SymbolCandidate c;
  c.symbolType = type;
  c.rotation = rotation;
  c.mirrored = mirrored;
  c.layers = layers;
  c.dataCodewords = data;
  c.codewordSize = size;
  c.totalCodewords = total;
  return c;
}

TEST(SymbolInfo, ReportsTypeOrientationLayersCapacityAndTruncatedEcc) {
  EXPECT_EQ(Decoder::symbolInfo(report(1, 1, false, 2, 23, 6, 40)), "(C 90' L: 2 D: 138 ECC: 42%)");
  EXPECT_EQ(Decoder::symbolInfo(report(2, 0, true, 5, 80, 8, 120)), "(F 0'M L: 5 D: 640 ECC: 33%)");
  EXPECT_EQ(Decoder::symbolInfo(report(1, 3, true, 4, 1, 8, 76)), "(C 270'M L: 4 D: 8 ECC: 98%)");
  // Zero total codewords must not divide by zero; more data than total prints a negative share.
  EXPECT_EQ(Decoder::symbolInfo(report(0, 7, false, 0, 0, 0, 0)), "(? ?' L: 0 D: 0 ECC: 0%)");
  EXPECT_EQ(Decoder::symbolInfo(report(1, 0, false, 1, 20, 6, 17)), "(C 0' L: 1 D: 120 ECC: -17%)");
  EXPECT_EQ(Decoder::intToText(-2147483647 - 1), "-2147483648");
}

using Velmora::Image::GrayBuf;

GrayBuf uniformFrame(int w, int h, std::uint8_t value) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(w) * h, value);
  return GrayBuf::fromBytes(bytes.data(), w, h);
}

// The report of the candidate as the search's last try point left it.
std::string lastTryReport(const GrayBuf& frame) {
  Detector detector;
  detector.setImage(frame);
  SymbolCandidate c = detector.createCandidates().front();
  EXPECT_FALSE(detector.detect(c));
  EXPECT_TRUE(c.symbolType == 1 || c.symbolType == 2);
  return Decoder::symbolInfo(c);
}

const std::string kNotReadPrefix = "Aztec code detected. The image quality does not allow for reading the data. ";

TEST(DecodeWithoutSymbol, AnswersNotReadWithTheLastTryPointsReport) {
  std::vector<std::uint8_t> noise(640 * 480);
  std::mt19937 rng(7);
  for (auto& v : noise) v = static_cast<std::uint8_t>(rng() & 0xFF);
  // Concentric squares like a finder, but no mode message around them.
  GrayBuf target = uniformFrame(640, 480, 230);
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      const int d = std::max(std::abs(x - 320), std::abs(y - 240)) / 5;
      if (d <= 6 && d % 2 == 0) target.setPixel(x, y, 20);
    }
  const GrayBuf frames[] = {uniformFrame(640, 480, 200), GrayBuf::fromBytes(noise.data(), 640, 480), target};
  for (const GrayBuf& frame : frames) {
    Decoder decoder;
    std::string status = "previous text";
    EXPECT_EQ(decoder.decode(frame, status), NotRead);
    EXPECT_EQ(status, kNotReadPrefix + lastTryReport(frame));
    EXPECT_EQ(decoder.resultText(), "");
  }
}

TEST(DecodeWithoutSymbol, DegenerateFramesEndTheSearchNormally) {
  const std::pair<int, int> sizes[] = {{0, 0}, {1, 1}, {5, 5}, {640, 3}, {3, 480}, {60, 40}, {0, 480}};
  for (auto [w, h] : sizes) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    Decoder decoder;
    std::string status;
    EXPECT_EQ(decoder.decode(uniformFrame(w, h, 90), status), NotRead);
    EXPECT_EQ(status.rfind(kNotReadPrefix, 0), 0u);
    EXPECT_EQ(decoder.resultText(), "");
  }
}

}  // namespace
}  // namespace Aztec

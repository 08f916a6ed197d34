#include "decoder/decoder.h"

#include <gtest/gtest.h>

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
  EXPECT_EQ(Decoder::symbolInfo(report(2, 2, false, 1, 1, 6, 21)), "(F 180' L: 1 D: 6 ECC: 95%)");
  EXPECT_EQ(Decoder::symbolInfo(report(1, 3, true, 4, 1, 8, 76)), "(C 270'M L: 4 D: 8 ECC: 98%)");
}

TEST(SymbolInfo, UnfilledAndOutOfRangeFields) {
  // Zero total codewords must not divide by zero.
  EXPECT_EQ(Decoder::symbolInfo(report(1, 0, false, 0, 0, 0, 0)), "(C 0' L: 0 D: 0 ECC: 0%)");
  EXPECT_EQ(Decoder::symbolInfo(report(0, 7, false, 0, 0, 0, 0)), "(? ?' L: 0 D: 0 ECC: 0%)");
  // More data than total codewords prints a negative percentage.
  EXPECT_EQ(Decoder::symbolInfo(report(1, 0, false, 1, 20, 6, 17)), "(C 0' L: 1 D: 120 ECC: -17%)");
}

TEST(IntToText, SignedDecimal) {
  EXPECT_EQ(Decoder::intToText(0), "0");
  EXPECT_EQ(Decoder::intToText(-42), "-42");
  EXPECT_EQ(Decoder::intToText(2147483647), "2147483647");
  EXPECT_EQ(Decoder::intToText(-2147483647 - 1), "-2147483648");
}

}  // namespace
}  // namespace Aztec

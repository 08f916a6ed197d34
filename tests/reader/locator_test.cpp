// The whole-frame search, focused: several symbols per frame and their order, the options,
// corners, runes, invalid views. The corpus under every condition is in corpus_test.cpp.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support/reader_helpers.h"

namespace {

using namespace Aztec;
using namespace AztecTest;
using Velmora::Image::GrayBuf;

std::string text(const ReadResult& r) {
  return textOf(r.bytes);
}

TEST(Locator, OptionsLimitTheSearch) {
  const EncodedSymbol a = encodeText("LEFT SYMBOL", SymbolKind::Compact);
  const EncodedSymbol b = encodeText("RIGHT SYMBOL", SymbolKind::FullRange);
  const GrayBuf img =
      renderScene({{&a, {.moduleSize = 4, .centerX = 200, .centerY = 240, .angleDegrees = 30}},
                   {&b, {.moduleSize = 4, .centerX = 480, .centerY = 240, .angleDegrees = 200}}},
                  {});
  // Nearest to the frame centre first, each symbol once.
  const auto both = readFrame(img);
  ASSERT_EQ(both.size(), 2u);
  EXPECT_EQ(text(both[0]), "LEFT SYMBOL");
  EXPECT_EQ(text(both[1]), "RIGHT SYMBOL");
  ASSERT_EQ(readFrame(img, {.maxSymbols = 1}).size(), 1u);
  EXPECT_TRUE(readFrame(img, {.maxSymbols = 0}).empty());
  // A region of interest reads only what lies inside it, and reports frame coordinates.
  const auto r = readFrame(img, {.regionX = 330, .regionY = 100, .regionWidth = 400, .regionHeight = 300});
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(text(r[0]), "RIGHT SYMBOL");
  double cx = 0;
  for (const Point2D& c : r[0].corners) cx += c.x / 4;
  EXPECT_NEAR(cx, 480.0, 2.0);
  EXPECT_TRUE(readFrame(img, {.regionX = 2000, .regionWidth = 50, .regionHeight = 50}).empty());
  // Light-on-dark symbols only when asked for.
  const GrayBuf dark = renderSymbol(a, {.dark = 230, .light = 25});
  EXPECT_TRUE(readFrame(dark, {.tryInverted = false}).empty());
  const auto invRead = readFrame(dark);
  ASSERT_EQ(invRead.size(), 1u);
  EXPECT_TRUE(invRead[0].inverted);
}

TEST(Locator, CornersFollowTheSymbol) {
  const EncodedSymbol sym = encodeText("CORNERS", SymbolKind::Compact);
  for (int rotation = 0; rotation < 4; ++rotation)
    for (bool mirrored : {false, true}) {
      const auto r =
          readFrame(renderSymbol(sym, {.moduleSize = 6, .rotation = rotation, .mirrored = mirrored}));
      ASSERT_EQ(r.size(), 1u);
      // The exact decoder's count: once the mirror is undone, a mirrored picture stands turned
      // the other way.
      EXPECT_EQ(r[0].rotation, mirrored ? (4 - rotation) % 4 : rotation);
      EXPECT_EQ(r[0].mirrored, mirrored);
      // The upright top-left corner is where the picture put module (0, 0)'s outer corner: the
      // mirror, then clockwise quarter turns, (x, y) -> (-y, x).
      const double h = sym.size * 3.0;
      double x = mirrored ? h : -h, y = -h;
      for (int k = 0; k < rotation; ++k) x = -std::exchange(y, x);
      EXPECT_NEAR(r[0].corners[0].x, 320 + x, 2.0) << rotation << mirrored;
      EXPECT_NEAR(r[0].corners[0].y, 240 + y, 2.0) << rotation << mirrored;
    }
}

TEST(Locator, RunesAnywhereAndOnlyWhenAsked) {
  for (int value : {0, 7, 42, 128, 200, 255}) {
    std::mt19937 g(static_cast<unsigned>(value));
    RenderOptions o;
    o.moduleSize = uniform(g, 2.5, 8.0), o.centerX = uniform(g, 100, 540), o.centerY = uniform(g, 100, 380);
    o.angleDegrees = uniform(g, 0, 360), o.mirrored = value % 2 == 1;
    const GrayBuf img = renderSymbol(encodeRune(value), o);
    const auto r = readFrame(img);
    ASSERT_EQ(r.size(), 1u) << value;
    EXPECT_EQ(r[0].format, SymbolFormat::Rune);
    EXPECT_EQ(text(r[0]), std::to_string(value));
    EXPECT_TRUE(readFrame(img, {.readRunes = false}).empty());
  }
}

TEST(Locator, InvalidViewsThrow) {
  std::vector<std::uint8_t> px(100, 0);
  WholeFrameReader reader;
  EXPECT_THROW(reader.read(LumaView{nullptr, 10, 10, 10}), InvalidViewError);
  EXPECT_THROW(reader.read(LumaView{px.data(), 0, 10, 10}), InvalidViewError);
  EXPECT_THROW(reader.read(LumaView{px.data(), 10, -1, 10}), InvalidViewError);
  EXPECT_THROW(reader.read(LumaView{px.data(), 10, 10, 9}), InvalidViewError);
  EXPECT_THROW(reader.read(LumaView{px.data(), 70000, 70000, 70000}), InvalidViewError);
  // Tiny and padded views are fine: nothing is read outside width x height.
  EXPECT_TRUE(reader.read(LumaView{px.data(), 3, 3, 3}).empty());
  EXPECT_TRUE(reader.read(LumaView{px.data(), 9, 9, 11}).empty());
}

// A busy 1920x1080 frame: a finder-like texture everywhere but around five symbols, one in each
// corner and one in the middle. Texture that keeps one part of the frame busy must not leave
// another part unread.
struct Texture {
  const char* name;
  std::function<bool(int x, int y)> dark;
};

std::uint32_t hash(int x, int y) {
  std::uint32_t h = static_cast<std::uint32_t>(x) * 73856093u ^ static_cast<std::uint32_t>(y) * 19349663u;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  return h ^ (h >> 15);
}

TEST(BusyFrame, SymbolsInEveryCornerAndTheMiddleOfATexture) {
  constexpr int kWidth = 1920, kHeight = 1080;
  const double turn = 3.0 * 3.141592653589793 / 180.0;
  // Both give thousands of finder candidates all over the frame.
  const std::vector<Texture> textures = {
      {"binary noise, 2-pixel cells", [](int x, int y) { return (hash(x / 2, y / 2) & 1) != 0; }},
      {"checkerboard of 3 pixels turned 3 degrees",
       [&](int x, int y) {
         const double u = (std::cos(turn) * x + std::sin(turn) * y) / 3.0;
         const double v = (-std::sin(turn) * x + std::cos(turn) * y) / 3.0;
         return ((static_cast<long>(std::floor(u)) + static_cast<long>(std::floor(v))) & 1) != 0;
       }},
  };
  // Centres and kinds: the four corners and the middle.
  const double cx[5] = {170, kWidth - 170, 170, kWidth - 170, kWidth / 2.0};
  const double cy[5] = {170, 170, kHeight - 170, kHeight - 170, kHeight / 2.0};
  std::vector<EncodedSymbol> symbols;
  std::vector<std::string> messages;
  for (int k = 0; k < 5; ++k) {
    messages.push_back("BUSY FRAME SYMBOL " + std::to_string(k));
    symbols.push_back(
        AztecTest::encodeText(messages.back(), k % 2 ? SymbolKind::Compact : SymbolKind::FullRange));
  }
  for (const Texture& texture : textures) {
    std::vector<AztecTest::ScenePart> parts;
    for (int k = 0; k < 5; ++k) {
      const RenderOptions o{
          .moduleSize = 3.0 + 0.5 * k, .centerX = cx[k], .centerY = cy[k], .angleDegrees = 17.0 * k};
      parts.push_back({&symbols[static_cast<std::size_t>(k)], o});
    }
    Velmora::Image::GrayBuf image =
        AztecTest::renderScene(parts, {.width = kWidth, .height = kHeight, .noiseSigma = 3});
    // The texture everywhere beyond a quiet zone of three modules around each symbol.
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        bool nearSymbol = false;
        for (int k = 0; k < 5; ++k) {
          const double reach = (symbols[static_cast<std::size_t>(k)].size * 0.5 * std::sqrt(2.0) + 3.0) *
                               parts[static_cast<std::size_t>(k)].placement.moduleSize;
          nearSymbol |= std::hypot(x - cx[k], y - cy[k]) < reach;
        }
        if (!nearSymbol) image.setPixel(x, y, texture.dark(x, y) ? 25 : 225);
      }
    std::vector<std::string> read;
    for (const Aztec::ReadResult& r : AztecTest::readFrame(image)) read.push_back(AztecTest::textOf(r.bytes));
    std::sort(read.begin(), read.end());
    EXPECT_EQ(read, messages) << texture.name;
  }
}

}  // namespace

// The trace: the same results as without it; the symbol's finder accepted at its centre with its
// ring and every module centre; blank margins flat and the symbol not; nothing accepted in
// noise; frames too small to hold a symbol traced without a step.
TEST(Locator, TraceFollowsTheReadAndChangesNothing) {
  const EncodedSymbol e = encodeText("TRACE ME", SymbolKind::FullRange);
  const GrayBuf frame =
      renderSymbol(e, {.moduleSize = 4, .centerX = 300, .centerY = 200, .noiseSigma = 3, .angleDegrees = 20});
  const LumaView view = viewOf(frame);
  ReadTrace trace;
  const auto traced = WholeFrameReader().read(view, &trace);
  const auto plain = WholeFrameReader().read(view);
  ASSERT_EQ(traced.size(), 1u);
  ASSERT_EQ(plain.size(), 1u);
  EXPECT_EQ(traced[0].bytes, plain[0].bytes);
  EXPECT_EQ(traced[0].corners, plain[0].corners);

  int accepted = 0;
  for (const TraceCandidate& c : trace.candidates) {
    if (c.stage != TraceStage::Accepted) {
      EXPECT_NE(c.stop, TraceStop::None);
      continue;
    }
    ++accepted;
    EXPECT_EQ(c.stop, TraceStop::None);
    EXPECT_LT(std::hypot(c.centre.x - 300, c.centre.y - 200), 2.0);
    EXPECT_NEAR(c.moduleSize, 4.0, 1.5);
    EXPECT_TRUE(c.fullRange);
    ASSERT_TRUE(c.ringCorners.has_value());
    for (const Point2D& q : *c.ringCorners)
      EXPECT_NEAR(std::hypot(q.x - 300, q.y - 200), 5.5 * 4 * std::sqrt(2.0), 2.0);
    EXPECT_EQ(static_cast<int>(c.moduleCentres.size()), e.size * e.size);
  }
  EXPECT_EQ(accepted, 1);
  EXPECT_EQ(trace.stepCounts[static_cast<int>(TraceStep::Binarise)], 1);
  EXPECT_GE(trace.stepCounts[static_cast<int>(TraceStep::Decode)], 1);
  ASSERT_EQ(trace.flat.size(), static_cast<std::size_t>(trace.flatColumns) * trace.flatRows);
  auto flatAt = [&](int x, int y) {
    return trace.flat[static_cast<std::size_t>(y / trace.flatBlockSize) * trace.flatColumns +
                      x / trace.flatBlockSize];
  };
  EXPECT_TRUE(flatAt(620, 460));
  EXPECT_FALSE(flatAt(300, 200));

  std::mt19937 g(3);
  std::vector<std::uint8_t> noise(320 * 240);
  for (auto& p : noise) p = static_cast<std::uint8_t>(g());
  EXPECT_TRUE(WholeFrameReader().read(LumaView{noise.data(), 320, 240, 320}, &trace).empty());
  for (const TraceCandidate& c : trace.candidates) EXPECT_NE(c.stage, TraceStage::Accepted);

  for (int width : {1, 65535}) {
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width), 128);
    EXPECT_TRUE(WholeFrameReader().read(LumaView{row.data(), width, 1, width}, &trace).empty());
    EXPECT_TRUE(trace.candidates.empty());
    EXPECT_EQ(trace.stepCounts[static_cast<int>(TraceStep::Binarise)], 0);
  }
}

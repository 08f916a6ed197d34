// The whole-frame search and sampling: symbols anywhere in the frame, at any angle, tilted,
// blurred, noisy, dim, unevenly lit, inverted, several per frame; and frames that hold none.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "reader/whole_frame_reader.h"
#include "support/symbol_frames.h"

namespace {

using namespace Aztec;
using AztecTest::encodeText;
using AztecTest::EncodedSymbol;
using AztecTest::RenderOptions;
using AztecTest::SymbolKind;
using Velmora::Image::GrayBuf;

std::vector<ReadResult> readFrame(const GrayBuf& img, ReaderOptions options = {}) {
  return WholeFrameReader(options).read(LumaView{img.row(0), img.width(), img.height(), img.stride()});
}

std::string text(const ReadResult& r) { return std::string(r.bytes.begin(), r.bytes.end()); }

// A message of the given length, varied by the seed.
std::string message(int length, unsigned seed) {
  std::mt19937 g(seed);
  std::string s;
  const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 abcdefghijklmnopqrstuvwxyz.,-";
  for (int i = 0; i < length; ++i) s += alphabet[g() % 66];
  return s;
}

struct Tally {
  int total = 0, read = 0, wrong = 0;
};

void fit(const EncodedSymbol& sym, std::mt19937& g, RenderOptions& o);

// Renders `count` cases made by `setup`, reads each and counts correct, missed and wrong reads.
template <class Setup>
Tally run(const char* name, int count, Setup setup) {
  Tally t;
  for (int i = 0; i < count; ++i) {
    std::mt19937 g(1000u + static_cast<unsigned>(i));
    RenderOptions o;
    std::string msg;
    SymbolKind kind = SymbolKind::Any;
    setup(i, g, o, msg, kind);
    const EncodedSymbol sym = encodeText(msg, kind);
    fit(sym, g, o);
    const GrayBuf img = AztecTest::renderSymbol(sym, o);
    const auto results = readFrame(img);
    ++t.total;
    bool ok = false;
    for (const ReadResult& r : results) {
      ok |= text(r) == msg;
      t.wrong += text(r) != msg;
      if (text(r) != msg) std::printf("  %s case %d: read \"%s\" for \"%s\"\n", name, i, text(r).c_str(), msg.c_str());
    }
    t.read += ok;
  }
  return t;
}

double uniform(std::mt19937& g, double lo, double hi) { return lo + (hi - lo) * (g() / 4294967296.0); }

// A random message for a random symbol kind (compact or full-range alternately), at a random
// module size, orientation and mirroring; `fit` then places it wholly inside the frame.
void place(int i, std::mt19937& g, RenderOptions& o, std::string& msg, SymbolKind& kind, double minModule,
           double maxModule) {
  kind = i % 2 ? SymbolKind::Compact : SymbolKind::FullRange;
  msg = message(kind == SymbolKind::Compact ? 3 + static_cast<int>(g() % 28) : 5 + static_cast<int>(g() % 150), g());
  o.moduleSize = uniform(g, minModule, maxModule);
  o.seed = g();
  o.rotation = static_cast<int>(g() % 4);
  o.mirrored = g() % 5 == 0;
}

void fit(const EncodedSymbol& sym, std::mt19937& g, RenderOptions& o) {
  // Half the diagonal, with room for the perspective's enlargement.
  const double reach = 0.75 * sym.size * std::sqrt(2.0);
  o.moduleSize = std::min(o.moduleSize, 0.5 * std::min(o.width, o.height) / reach);
  const double margin = reach * o.moduleSize;
  o.centerX = uniform(g, margin, o.width - margin);
  o.centerY = uniform(g, margin, o.height - margin);
}

struct Condition {
  const char* name;
  int count;
  double minModule, maxModule;
  void (*apply)(std::mt19937& g, RenderOptions& o);
  int allowedMisses;
};

const Condition kConditions[] = {
    {"upright anywhere", 24, 2.0, 6.0, [](std::mt19937&, RenderOptions& o) { o.rotation = 0; o.mirrored = false; }, 0},
    {"any angle", 32, 2.0, 6.0, [](std::mt19937& g, RenderOptions& o) { o.angleDegrees = uniform(g, 0, 360); }, 1},
    {"small modules", 24, 1.5, 2.0, [](std::mt19937& g, RenderOptions& o) { o.angleDegrees = uniform(g, 0, 360); }, 2},
    {"large modules 1080p", 12, 12.0, 40.0,
     [](std::mt19937& g, RenderOptions& o) { o.width = 1920, o.height = 1080, o.angleDegrees = uniform(g, 0, 360); }, 0},
    {"1080p small", 12, 2.0, 4.0,
     [](std::mt19937& g, RenderOptions& o) { o.width = 1920, o.height = 1080, o.angleDegrees = uniform(g, 0, 360); }, 0},
    {"tilt to 45", 32, 3.0, 6.0,
     [](std::mt19937& g, RenderOptions& o) {
       o.tiltDegrees = uniform(g, 20, 45);
       o.tiltAxisDegrees = uniform(g, 0, 180);
       o.cameraDistance = uniform(g, 1.5, 3.0);
       o.angleDegrees = uniform(g, 0, 360);
     },
     2},
    {"blur", 24, 3.0, 6.0,
     [](std::mt19937& g, RenderOptions& o) { o.blurSigma = o.moduleSize * uniform(g, 0.15, 0.35), o.angleDegrees = uniform(g, 0, 360); }, 1},
    {"noise", 24, 2.5, 6.0,
     [](std::mt19937& g, RenderOptions& o) { o.noiseSigma = uniform(g, 8, 20), o.angleDegrees = uniform(g, 0, 360); }, 1},
    {"low contrast", 24, 2.5, 6.0,
     [](std::mt19937& g, RenderOptions& o) {
       o.dark = 100, o.light = 150;
       o.noiseSigma = 3;
       o.angleDegrees = uniform(g, 0, 360);
     },
     1},
    {"light gradient", 24, 2.5, 6.0,
     [](std::mt19937& g, RenderOptions& o) {
       o.gradient = uniform(g, 0.4, 0.7);
       o.gradientAngleDegrees = uniform(g, 0, 360);
       o.angleDegrees = uniform(g, 0, 360);
     },
     1},
    {"inverted", 24, 2.0, 6.0,
     [](std::mt19937& g, RenderOptions& o) { o.dark = 230, o.light = 25, o.angleDegrees = uniform(g, 0, 360); }, 1},
};

TEST(Locator, ReadsUnderEveryCondition) {
  for (const Condition& c : kConditions) {
    Tally t = run(c.name, c.count, [&](int i, std::mt19937& g, RenderOptions& o, std::string& msg, SymbolKind& kind) {
      c.apply(g, o);
      place(i, g, o, msg, kind, c.minModule, c.maxModule);
      c.apply(g, o);  // again, so conditions that fix a placement field win
    });
    EXPECT_EQ(t.wrong, 0) << c.name;
    EXPECT_GE(t.read, t.total - c.allowedMisses) << c.name;
  }
}

// Two or three symbols per frame, at random angles, in separate parts of the frame: every one is
// read, once, nearest to the frame centre first.
TEST(Locator, SeveralSymbolsPerFrame) {
  int read = 0, total = 0;
  for (int i = 0; i < 12; ++i) {
    std::mt19937 g(500u + static_cast<unsigned>(i));
    const int count = 2 + i % 2;
    const bool big = i % 3 == 0;
    RenderOptions frame;
    frame.width = big ? 1920 : 640;
    frame.height = big ? 1080 : 480;
    frame.noiseSigma = 4;
    frame.seed = g();
    std::vector<EncodedSymbol> symbols;
    std::vector<std::string> messages;
    for (int k = 0; k < count; ++k) {
      messages.push_back(message(4 + static_cast<int>(g() % 20), g()));
      symbols.push_back(encodeText(messages.back(), k % 2 ? SymbolKind::Compact : SymbolKind::FullRange));
    }
    std::vector<AztecTest::ScenePart> parts;
    for (int k = 0; k < count; ++k) {
      RenderOptions o = frame;
      // Columns of the frame, one per symbol, so that they never overlap.
      const double column = static_cast<double>(frame.width) / count;
      o.moduleSize = std::min(uniform(g, 2.0, 5.0), 0.3 * column / symbols[k].size);
      o.centerX = column * (k + 0.5) + uniform(g, -0.1, 0.1) * column;
      o.centerY = frame.height * uniform(g, 0.35, 0.65);
      o.angleDegrees = uniform(g, 0, 360);
      parts.push_back({&symbols[k], o});
    }
    const auto results = readFrame(AztecTest::renderScene(parts, frame));
    total += count;
    EXPECT_LE(static_cast<int>(results.size()), count);
    for (int k = 0; k < count; ++k) {
      int seen = 0;
      for (const ReadResult& r : results) seen += text(r) == messages[k] ? 1 : 0;
      EXPECT_LE(seen, 1) << "duplicate";
      read += seen;
    }
    // Nearest to the frame centre first.
    for (std::size_t k = 1; k < results.size(); ++k) {
      auto distance = [&](const ReadResult& r) {
        double x = 0, y = 0;
        for (const Point2D& c : r.corners) x += c.x / 4, y += c.y / 4;
        return std::hypot(x - frame.width / 2.0, y - frame.height / 2.0);
      };
      EXPECT_LE(distance(results[k - 1]), distance(results[k]) + 1.0);
    }
  }
  EXPECT_GE(read, total - 1);
}

TEST(Locator, OptionsLimitTheSearch) {
  const EncodedSymbol a = encodeText("LEFT SYMBOL", SymbolKind::Compact);
  const EncodedSymbol b = encodeText("RIGHT SYMBOL", SymbolKind::FullRange);
  RenderOptions frame, oa, ob;
  oa.moduleSize = ob.moduleSize = 4.0;
  oa.centerX = 160, oa.centerY = 240, oa.angleDegrees = 30;
  ob.centerX = 480, ob.centerY = 240, ob.angleDegrees = 200;
  const GrayBuf img = AztecTest::renderScene({{&a, oa}, {&b, ob}}, frame);
  EXPECT_EQ(readFrame(img).size(), 2u);
  ReaderOptions one;
  one.maxSymbols = 1;
  ASSERT_EQ(readFrame(img, one).size(), 1u);
  ReaderOptions none;
  none.maxSymbols = 0;
  EXPECT_TRUE(readFrame(img, none).empty());
  // A region of interest reads only what lies inside it, and reports frame coordinates.
  ReaderOptions right;
  right.regionX = 330, right.regionY = 100, right.regionWidth = 400, right.regionHeight = 300;
  const auto r = readFrame(img, right);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(text(r[0]), "RIGHT SYMBOL");
  double cx = 0;
  for (const Point2D& c : r[0].corners) cx += c.x / 4;
  EXPECT_NEAR(cx, 480.0, 2.0);
  ReaderOptions outside;
  outside.regionX = 2000, outside.regionWidth = 50, outside.regionHeight = 50;
  EXPECT_TRUE(readFrame(img, outside).empty());
  // Light-on-dark symbols only when asked for.
  RenderOptions inv;
  inv.dark = 230, inv.light = 25;
  const GrayBuf dark = AztecTest::renderSymbol(a, inv);
  ReaderOptions noInverted;
  noInverted.tryInverted = false;
  EXPECT_TRUE(readFrame(dark, noInverted).empty());
  const auto invRead = readFrame(dark);
  ASSERT_EQ(invRead.size(), 1u);
  EXPECT_TRUE(invRead[0].inverted);
}

TEST(Locator, CornersFollowTheSymbol) {
  const EncodedSymbol sym = encodeText("CORNERS", SymbolKind::Compact);
  for (int rotation = 0; rotation < 4; ++rotation)
    for (bool mirrored : {false, true}) {
      RenderOptions o;
      o.moduleSize = 6.0, o.rotation = rotation, o.mirrored = mirrored;
      const auto r = readFrame(AztecTest::renderSymbol(sym, o));
      ASSERT_EQ(r.size(), 1u);
      // The exact decoder's count: once the mirror is undone, a mirrored picture stands turned
      // the other way.
      EXPECT_EQ(r[0].rotation, mirrored ? (4 - rotation) % 4 : rotation);
      EXPECT_EQ(r[0].mirrored, mirrored);
      // The upright top-left corner is where the picture put module (0, 0)'s outer corner: the
      // mirror, then clockwise quarter turns, (x, y) -> (-y, x).
      const double h = sym.size * 3.0;
      double x = mirrored ? h : -h, y = -h;
      for (int k = 0; k < rotation; ++k) {
        const double t = x;
        x = -y;
        y = t;
      }
      EXPECT_NEAR(r[0].corners[0].x, 320 + x, 2.0) << rotation << mirrored;
      EXPECT_NEAR(r[0].corners[0].y, 240 + y, 2.0) << rotation << mirrored;
    }
}

TEST(Locator, RunesAnywhereAndOnlyWhenAsked) {
  int read = 0;
  for (int value : {0, 7, 42, 128, 200, 255}) {
    const EncodedSymbol rune = AztecTest::encodeRune(value);
    std::mt19937 g(static_cast<unsigned>(value));
    RenderOptions o;
    o.moduleSize = uniform(g, 2.5, 8.0);
    o.centerX = uniform(g, 100, 540);
    o.centerY = uniform(g, 100, 380);
    o.angleDegrees = uniform(g, 0, 360);
    o.mirrored = value % 2 == 1;
    const GrayBuf img = AztecTest::renderSymbol(rune, o);
    const auto r = readFrame(img);
    if (r.size() == 1 && r[0].format == SymbolFormat::Rune && text(r[0]) == std::to_string(value)) ++read;
    EXPECT_LE(r.size(), 1u);
    ReaderOptions noRunes;
    noRunes.readRunes = false;
    EXPECT_TRUE(readFrame(img, noRunes).empty());
  }
  EXPECT_EQ(read, 6);
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

GrayBuf fromPixels(const std::vector<std::uint8_t>& px, int w, int h) { return GrayBuf::fromBytes(px.data(), w, h); }

// Frames that hold no symbol: noise, checkerboards, and bull's-eyes whose ring carries no valid
// mode message.
std::vector<GrayBuf> frameWithoutSymbols() {
  std::vector<GrayBuf> frames;
  std::mt19937 g(7);
  for (int k = 0; k < 3; ++k) {
    std::vector<std::uint8_t> px(640 * 480);
    for (auto& v : px) v = static_cast<std::uint8_t>(k == 0 ? g() % 256 : (g() % 2 ? 30 : 220));
    frames.push_back(fromPixels(px, 640, 480));
  }
  for (int cell : {1, 2, 3, 5, 8}) {
    std::vector<std::uint8_t> px(640 * 480);
    for (int y = 0; y < 480; ++y)
      for (int x = 0; x < 640; ++x) px[y * 640 + x] = ((x / cell + y / cell) % 2) ? 20 : 230;
    frames.push_back(fromPixels(px, 640, 480));
  }
  // Concentric squares (compact and full-range bull's-eyes) with random or blank surroundings.
  for (int k = 0; k < 8; ++k) {
    const int m = 3 + k, rings = k % 2 ? 7 : 5, c = 320;
    std::vector<std::uint8_t> px(640 * 480, 230);
    for (int y = 0; y < 480; ++y)
      for (int x = 0; x < 640; ++x) {
        const int d = std::max(std::abs(x - c) / m, std::abs(y - 240) / m);
        const bool dark = d < rings ? d % 2 == 0 : (k >= 4 && d < 12 && g() % 2);
        px[y * 640 + x] = dark ? 20 : 230;
      }
    frames.push_back(fromPixels(px, 640, 480));
  }
  return frames;
}

TEST(Locator, FramesWithoutSymbolsGiveNothing) {
  for (const GrayBuf& f : frameWithoutSymbols()) EXPECT_TRUE(readFrame(f).empty());
}

}  // namespace

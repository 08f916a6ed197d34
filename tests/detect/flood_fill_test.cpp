// The scanline fill, checked pixel for pixel against a direct transcription of its rules on
// random level images: marks, sums, the seeds left queued and the ring's farthest pixels.

#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <random>
#include <vector>

#include "detect/detector.h"

namespace {

using Aztec::Detector;
using Aztec::IntPoint;

enum class Kind { Dark, Light, Ring };

// One pixel at a time, exactly in the order of the rules.
struct ReferenceFill {
  int w = 0, h = 0;
  std::vector<std::uint8_t> level;
  Kind kind = Kind::Dark;
  int wl = 0, wr = 0, wt = 0, wb = 0, limit = 0, ox = 0, oy = 0;
  long long sumX = 0, sumY = 0;
  long long count = 0;
  std::deque<int> sx, sy;
  std::array<IntPoint, 4> point{};
  std::array<long long, 4> dist{};

  bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < w && y < h; }
  bool fillable(int x, int y) const {
    if (!inside(x, y)) return kind != Kind::Dark;
    const int v = level[static_cast<std::size_t>(y) * w + x];
    return kind == Kind::Dark ? v < 128 : v >= 128;
  }
  std::uint8_t mark() const { return kind == Kind::Dark ? 120 : kind == Kind::Light ? 140 : 150; }

  void examine(int x, int y, bool& upOpen, bool& downOpen) {
    for (int d : {-1, 1}) {
      bool& open = d < 0 ? upOpen : downOpen;
      if (fillable(x, y + d)) {
        if (open) {
          open = false;
          if (wt < y + d && y + d < wb && wl < x && x < wr) {
            sx.push_back(x);
            sy.push_back(y + d);
          }
        }
      } else {
        open = true;
      }
    }
  }

  void step(int x, int y) {
    if (inside(x, y) && level[static_cast<std::size_t>(y) * w + x] == mark()) return;
    while (x > wl && fillable(x, y)) --x;
    ++x;
    bool upOpen = true, downOpen = true;
    examine(x, y, upOpen, downOpen);
    if (x >= wr) return;
    for (;;) {
      if (!fillable(x, y)) return;
      if (inside(x, y)) level[static_cast<std::size_t>(y) * w + x] = mark();
      sumX += x;
      sumY += y;
      ++count;
      if (kind == Kind::Ring) {
        const int q = x > ox ? (y <= oy ? 0 : 1) : (y > oy ? 2 : 3);
        const long long d2 = static_cast<long long>(oy - y) * (oy - y) + static_cast<long long>(ox - x) * (ox - x);
        if (d2 > dist[q]) {
          dist[q] = d2;
          point[q] = IntPoint{x, y};
        }
        if (count >= limit) return;
      }
      examine(x, y, upOpen, downOpen);
      ++x;
      if (x >= wr) return;
    }
  }

  void run(int x, int y) {
    step(x, y);
    while (!sx.empty() && (kind != Kind::Ring || count < limit)) {
      step(sx.front(), sy.front());
      sx.pop_front();
      sy.pop_front();
    }
  }
};

TEST(ScanlineFill, MatchesTheRulesPixelForPixel) {
  std::mt19937 rng(12345);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const std::uint8_t levels[] = {0, 85, 120, 140, 150, 170, 255};
  for (int trial = 0; trial < 3000; ++trial) {
    const int w = pick(1, 150), h = pick(1, 40);
    // Blocky levels so that runs and stretches are long, with some single-pixel noise.
    std::vector<std::uint8_t> level(static_cast<std::size_t>(w) * h, levels[pick(0, 6)]);
    for (int r = pick(0, 12); r > 0; --r) {
      const int x0 = pick(0, w - 1), y0 = pick(0, h - 1), x1 = pick(x0, w - 1), y1 = pick(y0, h - 1);
      const std::uint8_t v = levels[pick(0, 6)];
      for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) level[static_cast<std::size_t>(y) * w + x] = v;
    }
    for (int r = pick(0, 30); r > 0; --r) level[static_cast<std::size_t>(pick(0, h - 1)) * w + pick(0, w - 1)] = levels[pick(0, 6)];

    const Kind kind = static_cast<Kind>(pick(0, 2));
    // Windows as the stages make them: up to width - 1 for the centre fills, width for the ring.
    const int xm = kind == Kind::Ring ? w : w - 1, ym = kind == Kind::Ring ? h : h - 1;
    ReferenceFill ref{};
    ref.w = w;
    ref.h = h;
    ref.level = level;
    ref.kind = kind;
    ref.wl = pick(0, xm);
    ref.wr = pick(ref.wl, xm);
    ref.wt = pick(0, ym);
    ref.wb = pick(ref.wt, ym);
    ref.limit = pick(0, 3) == 0 ? pick(0, 50) : w * h;
    ref.ox = pick(-2, w + 1);
    ref.oy = pick(-2, h + 1);
    const int sx = pick(-70, w + 5), sy = pick(-3, h + 2);

    Detector det;
    Velmora::Image::GrayBuf frame;
    frame.resize(w, h);
    det.setImage(frame);
    det.classifyWindow(0, 0, 0, 0, 0, 0, 0);  // makes the level image
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) det.levelImage->setPixel(x, y, level[static_cast<std::size_t>(y) * w + x]);
    det.windowLeft = ref.wl;
    det.windowRight = ref.wr;
    det.windowTop = ref.wt;
    det.windowBottom = ref.wb;
    det.fillLimit = ref.limit;
    det.ringOrigin = IntPoint{ref.ox, ref.oy};
    det.fillSumX = det.fillSumY = 0;
    det.fillCount = 0;
    det.seedX.clear();
    det.seedY.clear();
    if (kind == Kind::Dark) {
      det.floodDark(sx, sy);
    } else if (kind == Kind::Light) {
      det.floodLight(sx, sy);
    } else {
      det.floodRing(sx, sy);
    }
    ref.run(sx, sy);

    SCOPED_TRACE(::testing::Message() << "trial " << trial << " " << w << "x" << h << " kind " << static_cast<int>(kind) << " start "
                                      << sx << "," << sy);
    ASSERT_EQ(det.fillCount, ref.count);
    ASSERT_EQ(det.fillSumX, ref.sumX);
    ASSERT_EQ(det.fillSumY, ref.sumY);
    ASSERT_EQ(std::vector<int>(det.seedX.begin(), det.seedX.end()), std::vector<int>(ref.sx.begin(), ref.sx.end()));
    ASSERT_EQ(std::vector<int>(det.seedY.begin(), det.seedY.end()), std::vector<int>(ref.sy.begin(), ref.sy.end()));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) ASSERT_EQ(det.levelImage->pixelAt(x, y), ref.level[static_cast<std::size_t>(y) * w + x]) << x << "," << y;
    if (kind == Kind::Ring) {
      for (int q = 0; q < 4; ++q) {
        ASSERT_EQ(det.quadrantPoint[q], ref.point[q]) << "quadrant " << q;
        ASSERT_EQ(det.quadrantDistance[q], ref.dist[q]) << "quadrant " << q;
      }
    }
  }
}

}  // namespace

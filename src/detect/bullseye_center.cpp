// Bull's-eye centre: window classification into four levels and the scanline flood fill that
// the centre search and the ring check share.

#include <algorithm>
#include <climits>
#include <cstdint>
#include <exception>

#include "detect/detector.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Aztec {

namespace {

using Velmora::Image::GrayBuf;

// 0 when v < 0, m when v > m, v otherwise. Taken in 64 bits so that start points near the int
// limits cannot overflow before the clamp.
int clampTo(long long v, int m) {
  if (v < 0) return 0;
  if (v > m) return m;
  return static_cast<int>(v);
}

int saturate(long long v) {
  return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

std::uint8_t levelOf(int g, int low, int mid, int high) {
  if (g >= high) return kLevelWhite;
  if (g >= mid) return kLevelLight;
  if (g >= low) return kLevelDark;
  return kLevelBlack;
}

void classifyRow(const std::uint8_t* in, std::uint8_t* out, int count, int low, int mid, int high) {
  int x = 0;
#if defined(__SSE2__)
  // Sixteen pixels at a time. A threshold at or below 0 holds for every grey value (compare
  // against 0), one above 255 for none (mask cleared), so any int thresholds classify exactly
  // like levelOf.
  struct Test {
    __m128i value;
    __m128i keep;
  };
  auto makeTest = [](int t) {
    return Test{_mm_set1_epi8(static_cast<char>(std::clamp(t, 0, 255))),
                t > 255 ? _mm_setzero_si128() : _mm_set1_epi8(-1)};
  };
  const Test th = makeTest(high), tm = makeTest(mid), tl = makeTest(low);
  const __m128i v85 = _mm_set1_epi8(static_cast<char>(kLevelDark));
  const __m128i v170 = _mm_set1_epi8(static_cast<char>(kLevelLight));
  auto atLeast = [](__m128i g, const Test& t) {
    return _mm_and_si128(_mm_cmpeq_epi8(_mm_max_epu8(g, t.value), g), t.keep);
  };
  for (; x + 16 <= count; x += 16) {
    const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
    const __m128i mh = atLeast(g, th);
    const __m128i mm = atLeast(g, tm);
    const __m128i ml = atLeast(g, tl);
    __m128i r = _mm_and_si128(ml, v85);
    r = _mm_or_si128(_mm_and_si128(mm, v170), _mm_andnot_si128(mm, r));
    r = _mm_or_si128(mh, _mm_andnot_si128(mh, r));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), r);
  }
  // The last partial block as one block ending at the last pixel: the overlap is classified
  // twice with the same result, and nothing outside the row is touched.
  if (x < count && count >= 16) {
    x = count - 16;
    const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
    const __m128i mh = atLeast(g, th);
    const __m128i mm = atLeast(g, tm);
    const __m128i ml = atLeast(g, tl);
    __m128i r = _mm_and_si128(ml, v85);
    r = _mm_or_si128(_mm_and_si128(mm, v170), _mm_andnot_si128(mm, r));
    r = _mm_or_si128(mh, _mm_andnot_si128(mh, r));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), r);
    x = count;
  }
#endif
  for (; x < count; ++x) out[x] = levelOf(in[x], low, mid, high);
}

enum FillKind { kDarkFill, kLightFill, kRingFill };

// Bit i set when row[x + i] is light (128 or more), for i < count <= 64; reads only those bytes.
inline __attribute__((always_inline)) std::uint64_t lightBits(const std::uint8_t* row, int x, int count) {
  std::uint64_t bits = 0;
  int i = 0;
#if defined(__SSE2__)
  // The top bit of each byte is exactly "level >= 128".
  for (; i + 16 <= count; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x + i));
    bits |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(v))) << i;
  }
  // A partial block as the sixteen bytes that end at the last one, shifted into place.
  if (i < count && count >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x + count - 16));
    const unsigned m = static_cast<unsigned>(_mm_movemask_epi8(v)) >> (16 - (count - i));
    bits |= static_cast<std::uint64_t>(m) << i;
    i = count;
  }
#endif
  for (; i < count; ++i) {
    if (row[x + i] >= 128) bits |= std::uint64_t{1} << i;
  }
  return bits;
}

int lowestBit(std::uint64_t v) {
  return __builtin_ctzll(v);
}

// Keeps the running sums in locals (level writes through a byte pointer would otherwise force
// reloads of the members on every pixel) and hands them back however the step ends.
struct FillState {
  Detector& det;
  long long sumX, sumY, count;
  std::array<long long, 4> distance;
  std::array<IntPoint, 4> point;

  explicit FillState(Detector& d)
      : det(d), sumX(d.fillSumX), sumY(d.fillSumY), count(d.fillCount), point(d.quadrantPoint) {
    for (int i = 0; i < 4; ++i) distance[i] = d.quadrantDistance[i];
  }
  ~FillState() {
    det.fillSumX = sumX;
    det.fillSumY = sumY;
    det.fillCount = static_cast<int>(count);
    for (int i = 0; i < 4; ++i) det.quadrantDistance[i] = static_cast<int>(distance[i]);
    det.quadrantPoint = point;
  }
  FillState(const FillState&) = delete;
  FillState& operator=(const FillState&) = delete;
};

template <FillKind kKind>
void scanlineStep(Detector& det, int x, int y) {
  GrayBuf& levels = *det.levelImage;
  const int w = levels.width();
  const int h = levels.height();
  constexpr std::uint8_t mark = kKind == kDarkFill    ? kLevelDarkFilled
                                : kKind == kLightFill ? kLevelLightFilled
                                                      : kLevelRingFilled;
  constexpr bool outsideFillable = kKind != kDarkFill;
  const int wl = det.windowLeft;
  const int wr = det.windowRight;
  const int wt = det.windowTop;
  const int wb = det.windowBottom;

  auto rowAt = [&](long long yy) -> std::uint8_t* {
    return yy >= 0 && yy < h ? levels.row(static_cast<int>(yy)) : nullptr;
  };
  auto fillable = [w](const std::uint8_t* r, int xx) -> bool {
    if (r != nullptr && xx >= 0 && xx < w) {
      const std::uint8_t v = r[xx];
      return kKind == kDarkFill ? v < 128 : v >= 128;
    }
    return outsideFillable;
  };

  std::uint8_t* const cur = rowAt(y);
  if (cur != nullptr && x >= 0 && x < w && cur[x] == mark) return;

  // Walk left. Positions outside the image are all fillable for the light variants, so a long
  // stretch of them is crossed in one jump to where the pixel-by-pixel walk would arrive.
  if constexpr (outsideFillable) {
    if (cur == nullptr) {
      if (x > wl) x = wl;
    } else if (x >= w && x > wl) {
      x = std::max(wl, w - 1);
    }
  }
  while (x > wl && fillable(cur, x)) --x;
  // Nothing at or past windowRight is filled or queued, so the step can end here.
  if (static_cast<long long>(x) + 1 >= wr) return;
  ++x;

  const long long yAbove = static_cast<long long>(y) - 1;
  const long long yBelow = static_cast<long long>(y) + 1;
  const std::uint8_t* const above = rowAt(yAbove);
  const std::uint8_t* const below = rowAt(yBelow);
  const bool queueAbove = wt < yAbove && yAbove < wb;
  const bool queueBelow = wt < yBelow && yBelow < wb;
  bool aboveOpen = true;
  bool belowOpen = true;
  auto examine = [&](int xx) {
    const bool queueX = wl < xx && xx < wr;
    if (fillable(above, xx)) {
      if (aboveOpen) {
        aboveOpen = false;
        if (queueX && queueAbove) {
          det.seedX.push_back(xx);
          det.seedY.push_back(static_cast<int>(yAbove));
        }
      }
    } else {
      aboveOpen = true;
    }
    if (fillable(below, xx)) {
      if (belowOpen) {
        belowOpen = false;
        if (queueX && queueBelow) {
          det.seedX.push_back(xx);
          det.seedY.push_back(static_cast<int>(yBelow));
        }
      }
    } else {
      belowOpen = true;
    }
  };

  FillState s(det);
  const int ox = det.ringOrigin.x;
  const int oy = det.ringOrigin.y;
  const long long limit = det.fillLimit;
  // The ring fill's extra work for a counted pixel: the farthest pixel per quadrant around
  // ringOrigin (the first one reached keeps a tie); true when the budget is used up.
  auto ringFarthest = [&](int px) {
    const int q = px > ox ? (y <= oy ? 0 : 1) : (y > oy ? 2 : 3);
    const long long dy = static_cast<long long>(oy) - y;
    const long long dx = static_cast<long long>(ox) - px;
    const long long d2 = dy * dy + dx * dx;
    if (d2 > s.distance[q]) {
      s.distance[q] = d2;
      s.point[q] = IntPoint{px, y};
    }
  };
  auto ringVisit = [&](int px) {
    ringFarthest(px);
    return s.count >= limit;
  };

  // Fillable bits of `count` pixels from x of a row; a row off the image is uniform.
  auto fillBits = [&](const std::uint8_t* r, int from, int count) -> std::uint64_t {
    const std::uint64_t valid = count == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << count) - 1;
    if (r == nullptr) return outsideFillable ? valid : 0;
    const std::uint64_t light = lightBits(r, from, count);
    return (kKind == kDarkFill ? ~light : light) & valid;
  };

  examine(x);
  for (;;) {
    // Fast path for pixels of this row inside the image, up to 64 at a time. It does what the
    // pixel-by-pixel path below does, in the same order: count and mark the run, examine the
    // neighbours of every counted pixel (all but the one that uses up a ring budget), queue
    // one seed per fillable stretch above and below, interleaved by x with the row above
    // first, and keep the farthest pixel per quadrant.
    while (cur != nullptr && x >= 0 && x < std::min(wr, w)) {
      const int count = std::min(64, std::min(wr, w) - x);
      const std::uint64_t run = fillBits(cur, x, count);
      const int runLength = ~run == 0 ? 64 : lowestBit(~run);
      if (runLength == 0) return;
      int counted = std::min(runLength, count);
      bool budgetUsed = false;
      if constexpr (kKind == kRingFill) {
        if (s.count + counted >= limit) {
          counted = static_cast<int>(std::max<long long>(1, limit - s.count));
          budgetUsed = true;
        }
      }
      const int examined = budgetUsed ? counted - 1 : counted;
      if (examined > 0) {
        const std::uint64_t mask = examined == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << examined) - 1;
        const std::uint64_t up = fillBits(above, x, count) & mask;
        const std::uint64_t down = fillBits(below, x, count) & mask;
        // A stretch starts where the row turns fillable; at the first bit the open flag says
        // whether the pixel before was not.
        const std::uint64_t upStarts = up & ~((up << 1) | (aboveOpen ? 0 : 1));
        const std::uint64_t downStarts = down & ~((down << 1) | (belowOpen ? 0 : 1));
        aboveOpen = ((up >> (examined - 1)) & 1) == 0;
        belowOpen = ((down >> (examined - 1)) & 1) == 0;
        // Only x > windowLeft is queued (x < windowRight holds here).
        std::uint64_t queueMask = mask;
        if (wl >= x)
          queueMask &= static_cast<long long>(wl) - x + 1 >= 64 ? 0 : ~std::uint64_t{0} << (wl - x + 1);
        std::uint64_t upQueued = queueAbove ? upStarts & queueMask : 0;
        std::uint64_t downQueued = queueBelow ? downStarts & queueMask : 0;
        while ((upQueued | downQueued) != 0) {
          const int i = lowestBit(upQueued | downQueued);
          const std::uint64_t bit = std::uint64_t{1} << i;
          if (upQueued & bit) {
            det.seedX.push_back(x + i);
            det.seedY.push_back(static_cast<int>(yAbove));
          }
          if (downQueued & bit) {
            det.seedX.push_back(x + i);
            det.seedY.push_back(static_cast<int>(yBelow));
          }
          upQueued &= ~bit;
          downQueued &= ~bit;
        }
      }
      std::fill(cur + x, cur + x + counted, mark);
      const long long last = static_cast<long long>(x) + counted - 1;
      s.sumX += (x + last) * counted / 2;
      s.sumY += static_cast<long long>(y) * counted;
      s.count += counted;
      if constexpr (kKind == kRingFill) {
        // Along a row the distance from ringOrigin grows away from ox, so in each half the
        // farthest pixel is the end away from ox, and it is unique.
        if (x <= ox) ringFarthest(x);
        if (last > ox) ringFarthest(static_cast<int>(last));
        if (budgetUsed) return;
      }
      x += counted;
      if (counted < count) return;  // stopped on a pixel that is not fillable
      if (x >= wr) return;
    }

    // General path, one pixel: positions off the image on this row or the next ones.
    if (!fillable(cur, x)) return;
    if constexpr (kKind == kLightFill) {
      // Left of the image and not right of windowLeft: every pixel counts, nothing is written,
      // the outside neighbours close both flags and nothing can be queued. Summed at once so
      // that a start point far off the image costs nothing extra.
      if (x < 0 && x <= wl) {
        const long long last = std::min<long long>({-1, wl, static_cast<long long>(wr) - 1});
        const long long n = last - x + 1;
        s.sumX += (x + last) * n / 2;
        s.sumY += static_cast<long long>(y) * n;
        s.count += n;
        aboveOpen = false;
        belowOpen = false;
        if (last + 1 >= wr) return;
        x = static_cast<int>(last + 1);
        continue;
      }
    }
    if (cur != nullptr && x >= 0 && x < w) cur[x] = mark;
    s.sumX += x;
    s.sumY += y;
    s.count += 1;
    if constexpr (kKind == kRingFill) {
      if (ringVisit(x)) return;
    }
    examine(x);
    ++x;
    if (x >= wr) return;
  }
}

}  // namespace

void Detector::fillStep(Fill kind, int x, int y) {
  // Without a level image nothing has been classified and there is nothing to fill.
  if (!levelImage) return;
  switch (kind) {
    case Fill::Dark:
      scanlineStep<kDarkFill>(*this, x, y);
      break;
    case Fill::Light:
      scanlineStep<kLightFill>(*this, x, y);
      break;
    case Fill::Ring:
      scanlineStep<kRingFill>(*this, x, y);
      break;
  }
}

void Detector::floodDark(int x, int y) {
  fillStep(Fill::Dark, x, y);
  while (!seedX.empty()) {
    fillStep(Fill::Dark, seedX.front(), seedY.front());
    seedX.pop_front();
    seedY.pop_front();
  }
}

void Detector::floodLight(int x, int y) {
  fillStep(Fill::Light, x, y);
  while (!seedX.empty()) {
    fillStep(Fill::Light, seedX.front(), seedY.front());
    seedX.pop_front();
    seedY.pop_front();
  }
}

void Detector::measureThresholds(int x0, int y0, int x1, int y1, int& low, int& mid, int& high) const {
  if (!image || image->width() < 1 || image->height() < 1) return;
  const int w = image->width();
  const int h = image->height();
  x0 = clampTo(x0, w - 1);
  x1 = clampTo(x1, w - 1);
  y0 = clampTo(y0, h - 1);
  y1 = clampTo(y1, h - 1);
  if (x1 < x0 || y1 < y0) return;
  int lo = image->row(y0)[x0];
  int hi = lo;
  for (int y = y0; y <= y1; ++y) {
    const std::uint8_t* r = image->row(y);
    for (int x = x0; x <= x1; ++x) {
      lo = std::min<int>(lo, r[x]);
      hi = std::max<int>(hi, r[x]);
    }
  }
  mid = (lo + hi) / 2;
  low = (lo + mid) / 2;
  high = (hi + low) / 2;
}

void Detector::classifyWindow(int x0, int y0, int x1, int y1, int low, int mid, int high) {
  if (!image) return;
  const int w = image->width();
  const int h = image->height();
  // Made once with every level 0, then only resized; it is never cleared.
  if (!levelImage) levelImage = std::make_shared<GrayBuf>();
  levelImage->resize(w, h);
  if (w < 1 || h < 1) return;
  x0 = clampTo(x0, w - 1);
  x1 = clampTo(x1, w - 1);
  y0 = clampTo(y0, h - 1);
  y1 = clampTo(y1, h - 1);
  if (x1 < x0 || y1 < y0) return;
  // The column x1 and the row y1 are left as they were.
  for (int y = y0; y < y1; ++y) {
    classifyRow(image->row(y) + x0, levelImage->row(y) + x0, x1 - x0, low, mid, high);
  }
}

Point2D Detector::locateCenter(int px, int py) {
  if (!image || image->width() < 1 || image->height() < 1) return Point2D{0.0, 0.0};
  const int w = image->width();
  const int h = image->height();
  const int d = std::min((w - 1) / 6, (h - 1) / 6);
  fillSumX = 0;
  fillSumY = 0;
  fillCount = 0;
  windowLeft = clampTo(static_cast<long long>(px) - d, w - 1);
  windowTop = clampTo(static_cast<long long>(py) - d, h - 1);
  windowRight = clampTo(static_cast<long long>(px) + d, w - 1);
  windowBottom = clampTo(static_cast<long long>(py) + d, h - 1);
  seedX.clear();
  seedY.clear();

  // Thresholds from a small box at the start point, so that they follow the local contrast.
  const int q = d / 4;
  int low = 0;
  int mid = 128;
  int high = 255;
  measureThresholds(saturate(static_cast<long long>(px) - q), saturate(static_cast<long long>(py) - q),
                    saturate(static_cast<long long>(px) + q), saturate(static_cast<long long>(py) + q), low,
                    mid, high);
  classifyWindow(windowLeft, windowTop, windowRight, windowBottom, low, mid, high);

  try {
    if (levelImage && levelImage->inBounds(px, py) && levelImage->row(py)[px] < 128) {
      floodDark(px, py);
    } else {
      floodLight(px, py);
    }
  } catch (const std::exception&) {
    fillCount = 0;
  }
  if (fillCount == 0) return Point2D{-1.0, -1.0};
  return Point2D{static_cast<double>(fillSumX) / fillCount, static_cast<double>(fillSumY) / fillCount};
}

}  // namespace Aztec

#include "reader/binarizer.h"

#include <algorithm>
#include <cmath>

namespace Aztec::detail {

namespace {

// The first step of LumaPlane::bilinear(x, y) for m points: the pixel and the fractions.
// Out of line: inlined into its caller, GCC 12 leaves this loop scalar.
[[gnu::noinline]] void pixelPositions(const double* x, const double* y, int m, double maxU, double maxV,
                                      int* iu, int* iv, double* fu, double* fv) {
  for (int i = 0; i < m; ++i) {
    // Without branches, as in bilinear(x, y): NaN and below zero give 0.
    double u = x[i] - 0.5;
    double v = y[i] - 0.5;
    u = u > 0.0 ? u : 0.0;
    v = v > 0.0 ? v : 0.0;
    u = u > maxU ? maxU : u;
    v = v > maxV ? maxV : v;
    const int a = static_cast<int>(u);
    const int b = static_cast<int>(v);
    iu[i] = a;
    iv[i] = b;
    fu[i] = u - a;
    fv[i] = v - b;
  }
}

}  // namespace

void LumaPlane::bilinear(const double* xs, const double* ys, int count, double* out) const {
  // Each loop below is one step of bilinear(x, y) for a chunk of points, written so that the
  // compiler runs the arithmetic on several points at once; the results are the same to the
  // last bit.
  constexpr int kChunk = 64;
  const double maxU = width - 1;
  const double maxV = height - 1;
  double fu[kChunk], fv[kChunk];
  int iu[kChunk], iv[kChunk];
  int p00[kChunk], p01[kChunk], p10[kChunk], p11[kChunk];
  for (int start = 0; start < count; start += kChunk) {
    const int m = count - start < kChunk ? count - start : kChunk;
    pixelPositions(xs + start, ys + start, m, maxU, maxV, iu, iv, fu, fv);
    // Most chunks lie clear of the last column and row, where the neighbour offsets are fixed.
    int last = 0;
    for (int i = 0; i < m; ++i) last |= (iu[i] + 1 >= width) | (iv[i] + 1 >= height);
    if (last == 0) {
      const std::size_t s = static_cast<std::size_t>(stride);
      for (int i = 0; i < m; ++i) {
        const std::uint8_t* p = data + static_cast<std::size_t>(iv[i]) * s + static_cast<std::size_t>(iu[i]);
        p00[i] = p[0], p01[i] = p[1], p10[i] = p[s], p11[i] = p[s + 1];
      }
    } else {
      for (int i = 0; i < m; ++i) {
        const std::uint8_t* p = data + static_cast<std::size_t>(iv[i]) * static_cast<std::size_t>(stride) +
                                static_cast<std::size_t>(iu[i]);
        const std::size_t dx = iu[i] + 1 < width ? 1 : 0;
        const std::size_t dy = iv[i] + 1 < height ? static_cast<std::size_t>(stride) : 0;
        p00[i] = p[0], p01[i] = p[dx], p10[i] = p[dy], p11[i] = p[dy + dx];
      }
    }
    double* o = out + start;
    for (int i = 0; i < m; ++i) {
      const double top = p00[i] + (p01[i] - p00[i]) * fu[i];
      const double bottom = p10[i] + (p11[i] - p10[i]) * fu[i];
      o[i] = top + (bottom - top) * fv[i];
    }
  }
}

namespace {

// Contrast between block means below which a neighbourhood counts as uniform; block means
// average 64 pixels, so sensor noise alone stays well below it.
constexpr int kMinContrast = 14;
constexpr int kNoiseShare = 28;  // percent
// ... unless the pixels are smooth next to each other, at the finest scale: block means spread by
// more than this share of the mean step between neighbouring pixels. Pixel noise steps far at
// every pixel, a symbol's modules, even under sensor noise, mostly at their edges.
constexpr int kRoughShare = 90;  // percent
// Even then the means must spread by this share of the range: sparse salt-and-pepper noise is
// smooth between its specks.
constexpr int kSmoothNoiseShare = 21;  // percent
// Pixels two apart that differ this much more than neighbours: structure wider than a pixel.
// Independent pixel noise gives 100%, modules of two pixels and more well over this.
constexpr int kCorrelatedSteps = 140;  // percent
constexpr int kLevels = 3;
constexpr int kRadius = 2;  // 5 x 5 blocks per neighbourhood (the row pass spells out its five)

struct Level {
  int w = 0;
  int h = 0;
  std::vector<int> mean;
  std::vector<int> pmin;  // darkest and brightest pixel of the block
  std::vector<int> pmax;
  std::vector<int> lo;     // neighbourhood minimum of the means
  std::vector<int> hi;     // neighbourhood maximum
  std::vector<int> nbMin;  // neighbourhood darkest and brightest pixel
  std::vector<int> nbMax;
};

// Minimum and maximum of `a` and `b` over the 5 x 5 neighbourhood of every block: along the
// rows, then element-wise across rows, both in loops the compiler vectorises.
void neighbourhood(const Level& l, const std::vector<int>& a, const std::vector<int>& b, std::vector<int>& lo,
                   std::vector<int>& hi) {
  const int w = l.w, h = l.h;
  const std::size_t n = static_cast<std::size_t>(w) * h;
  std::vector<int> rowLo(n), rowHi(n);
  for (int y = 0; y < h; ++y) {
    const int* pa = a.data() + static_cast<std::size_t>(y) * w;
    const int* pb = b.data() + static_cast<std::size_t>(y) * w;
    int* ol = rowLo.data() + static_cast<std::size_t>(y) * w;
    int* oh = rowHi.data() + static_cast<std::size_t>(y) * w;
    auto edge = [&](int x) {
      int mn = 255, mx = 0;
      for (int k = std::max(0, x - kRadius); k <= std::min(w - 1, x + kRadius); ++k) {
        mn = std::min(mn, pa[k]);
        mx = std::max(mx, pb[k]);
      }
      ol[x] = mn;
      oh[x] = mx;
    };
    for (int x = 0; x < std::min(w, kRadius); ++x) edge(x);
    for (int x = kRadius; x < w - kRadius; ++x) {
      ol[x] = std::min(std::min(std::min(pa[x - 2], pa[x - 1]), std::min(pa[x], pa[x + 1])), pa[x + 2]);
      oh[x] = std::max(std::max(std::max(pb[x - 2], pb[x - 1]), std::max(pb[x], pb[x + 1])), pb[x + 2]);
    }
    for (int x = std::max(kRadius, w - kRadius); x < w; ++x) edge(x);
  }
  lo.resize(n);
  hi.resize(n);
  for (int y = 0; y < h; ++y) {
    const int k0 = std::max(0, y - kRadius), k1 = std::min(h - 1, y + kRadius);
    int* ol = lo.data() + static_cast<std::size_t>(y) * w;
    int* oh = hi.data() + static_cast<std::size_t>(y) * w;
    std::copy_n(rowLo.data() + static_cast<std::size_t>(k0) * w, w, ol);
    std::copy_n(rowHi.data() + static_cast<std::size_t>(k0) * w, w, oh);
    for (int k = k0 + 1; k <= k1; ++k) {
      const int* rl = rowLo.data() + static_cast<std::size_t>(k) * w;
      const int* rh = rowHi.data() + static_cast<std::size_t>(k) * w;
      for (int x = 0; x < w; ++x) {
        ol[x] = std::min(ol[x], rl[x]);
        oh[x] = std::max(oh[x], rh[x]);
      }
    }
  }
}

}  // namespace

Binarizer::Binarizer(const LumaPlane& plane) : plane_(plane) {
  blocksX_ = (plane.width + 7) >> kShift;
  blocksY_ = (plane.height + 7) >> kShift;
  const std::size_t nb = static_cast<std::size_t>(blocksX_) * blocksY_;
  thresholds_.assign(nb, 128);
  flat_.assign(nb, 1);
  if (nb == 0) return;

  Level levels[kLevels];
  // Finest level: block sums in one pass over the pixels.
  {
    Level& l = levels[0];
    l.w = blocksX_;
    l.h = blocksY_;
    std::vector<std::uint32_t> sums(nb, 0);
    l.pmin.assign(nb, 255);
    l.pmax.assign(nb, 0);
    // Column sums, minima and maxima over the rows of one block row first: element-wise work
    // over whole rows, which the compiler vectorises; then eight columns per block.
    const std::size_t w = static_cast<std::size_t>(plane.width);
    std::vector<std::uint16_t> colSum(w);
    std::vector<std::uint8_t> colMin(w), colMax(w);
    for (int by = 0; by < blocksY_; ++by) {
      const int y0 = by << kShift, y1 = std::min(plane.height, y0 + 8);
      std::fill(colSum.begin(), colSum.end(), std::uint16_t{0});
      std::fill(colMin.begin(), colMin.end(), std::uint8_t{255});
      std::fill(colMax.begin(), colMax.end(), std::uint8_t{0});
      for (int y = y0; y < y1; ++y) {
        const std::uint8_t* row = plane.data + static_cast<std::size_t>(y) * plane.stride;
        std::uint16_t* cs = colSum.data();
        std::uint8_t* cmn = colMin.data();
        std::uint8_t* cmx = colMax.data();
        for (std::size_t x = 0; x < w; ++x) {
          const std::uint8_t v = row[x];
          cs[x] = static_cast<std::uint16_t>(cs[x] + v);
          cmn[x] = v < cmn[x] ? v : cmn[x];
          cmx[x] = v > cmx[x] ? v : cmx[x];
        }
      }
      const std::size_t base = static_cast<std::size_t>(by) * blocksX_;
      for (int bx = 0; bx < blocksX_; ++bx) {
        const std::size_t x0 = static_cast<std::size_t>(bx) << kShift, x1 = std::min(w, x0 + 8);
        std::uint32_t acc = 0;
        int mn = 255, mx = 0;
        for (std::size_t x = x0; x < x1; ++x) {
          acc += colSum[x];
          mn = std::min<int>(mn, colMin[x]);
          mx = std::max<int>(mx, colMax[x]);
        }
        sums[base + bx] = acc;
        l.pmin[base + bx] = mn;
        l.pmax[base + bx] = mx;
      }
    }
    l.mean.resize(nb);
    for (int by = 0; by < blocksY_; ++by) {
      const int bh = std::min(8, plane.height - (by << kShift));
      for (int bx = 0; bx < blocksX_; ++bx) {
        const int bw = std::min(8, plane.width - (bx << kShift));
        const std::size_t i = static_cast<std::size_t>(by) * blocksX_ + bx;
        l.mean[i] = static_cast<int>((sums[i] + static_cast<std::uint32_t>(bw * bh / 2)) /
                                     static_cast<std::uint32_t>(bw * bh));
      }
    }
  }
  // Coarser levels: 4 x 4 blocks of the level below.
  for (int L = 1; L < kLevels; ++L) {
    const Level& f = levels[L - 1];
    Level& l = levels[L];
    l.w = (f.w + 3) / 4;
    l.h = (f.h + 3) / 4;
    const std::size_t n = static_cast<std::size_t>(l.w) * l.h;
    l.mean.assign(n, 0);
    l.pmin.assign(n, 255);
    l.pmax.assign(n, 0);
    for (int y = 0; y < l.h; ++y)
      for (int x = 0; x < l.w; ++x) {
        int sum = 0, count = 0;
        const std::size_t k = static_cast<std::size_t>(y) * l.w + x;
        for (int j = 4 * y; j < std::min(f.h, 4 * y + 4); ++j)
          for (int i = 4 * x; i < std::min(f.w, 4 * x + 4); ++i) {
            const std::size_t c = static_cast<std::size_t>(j) * f.w + i;
            sum += f.mean[c];
            ++count;
            l.pmin[k] = std::min(l.pmin[k], f.pmin[c]);
            l.pmax[k] = std::max(l.pmax[k], f.pmax[c]);
          }
        l.mean[k] = (sum + count / 2) / count;
      }
  }
  for (Level& l : levels) {
    neighbourhood(l, l.mean, l.mean, l.lo, l.hi);
    neighbourhood(l, l.pmin, l.pmax, l.nbMin, l.nbMax);
  }

  // Mean steps between pixels one and two apart along the rows, per finest block, computed only
  // where asked for (they decide only where pixel noise may have hidden contrast).
  struct Steps {
    int one = -1, two = -1;
  };
  std::vector<Steps> blockSteps(nb);
  auto stepsAround = [&](int bx, int by) {
    Steps sum{0, 0};
    int count = 0;
    for (int j = std::max(0, by - kRadius); j <= std::min(blocksY_ - 1, by + kRadius); ++j)
      for (int i = std::max(0, bx - kRadius); i <= std::min(blocksX_ - 1, bx + kRadius); ++i) {
        Steps& r = blockSteps[static_cast<std::size_t>(j) * blocksX_ + i];
        if (r.one < 0) {
          const int x0 = i << kShift, x1 = std::min(plane.width - 2, x0 + 8);
          const int y0 = j << kShift, y1 = std::min(plane.height, y0 + 8);
          int one = 0, two = 0;
          // Two rows of each block: over the 5 x 5 blocks around, 400 steps are plenty.
          for (int y = y0 + 1; y < y1; y += 4) {
            const std::uint8_t* row = plane.data + static_cast<std::size_t>(y) * plane.stride;
            for (int x = x0; x < x1; ++x) {
              one += std::abs(int{row[x + 1]} - int{row[x]});
              two += std::abs(int{row[x + 2]} - int{row[x]});
            }
          }
          const int n = std::max(1, (x1 - x0) * ((y1 - y0 + 2) / 4));
          r = {one / n, two / n};
        }
        sum.one += r.one, sum.two += r.two;
        ++count;
      }
    return Steps{sum.one / count, sum.two / count};
  };
  // Contrast hidden by pixel noise, or by rings of about a block's period whose block means all
  // agree (a finder's centre): the pixels are smooth next to each other compared with the means'
  // spread, or they step further two apart than one apart, which independent noise never does.
  auto hiddenContrast = [&](int bx, int by, int spread, int range) {
    if (spread < kMinContrast) return false;
    const Steps s = stepsAround(bx, by);
    return (spread * 100 >= range * kSmoothNoiseShare && spread * 100 >= s.one * kRoughShare) ||
           s.two * 100 >= s.one * kCorrelatedSteps;
  };

  // Spread of the block means around a coarse block once the plane through them is taken out:
  // shading (a lamp's falloff, a vignette) ramps smoothly across a window of many blocks and
  // leaves little, a symbol's modules leave steps. Computed where asked for, once per block.
  std::vector<int> shadingFree[kLevels];
  auto unshadedSpread = [&](int L, int x, int y) {
    const Level& l = levels[L];
    std::vector<int>& memo = shadingFree[L];
    if (memo.empty()) memo.assign(static_cast<std::size_t>(l.w) * l.h, -1);
    int& out = memo[static_cast<std::size_t>(y) * l.w + x];
    if (out >= 0) return out;
    const int x0 = std::max(0, x - kRadius), x1 = std::min(l.w - 1, x + kRadius);
    const int y0 = std::max(0, y - kRadius), y1 = std::min(l.h - 1, y + kRadius);
    // Over a rectangle of blocks the centred coordinates are orthogonal: the plane's slopes
    // come one at a time.
    const double cx = 0.5 * (x0 + x1), cy = 0.5 * (y0 + y1);
    double sum = 0.0, sx = 0.0, sy = 0.0, xx = 0.0, yy = 0.0;
    for (int j = y0; j <= y1; ++j)
      for (int i = x0; i <= x1; ++i) {
        const double v = l.mean[static_cast<std::size_t>(j) * l.w + i];
        sum += v;
        sx += (i - cx) * v;
        sy += (j - cy) * v;
        xx += (i - cx) * (i - cx);
        yy += (j - cy) * (j - cy);
      }
    const double mean = sum / ((x1 - x0 + 1) * (y1 - y0 + 1));
    const double gx = xx > 0.0 ? sx / xx : 0.0, gy = yy > 0.0 ? sy / yy : 0.0;
    double lo = 0.0, hi = 0.0;
    for (int j = y0; j <= y1; ++j)
      for (int i = x0; i <= x1; ++i) {
        const double r = l.mean[static_cast<std::size_t>(j) * l.w + i] - mean - gx * (i - cx) - gy * (j - cy);
        lo = std::min(lo, r);
        hi = std::max(hi, r);
      }
    out = static_cast<int>(hi - lo);
    return out;
  };

  for (int by = 0; by < blocksY_; ++by)
    for (int bx = 0; bx < blocksX_; ++bx) {
      const std::size_t i = static_cast<std::size_t>(by) * blocksX_ + bx;
      int lo = 0, hi = 0;
      bool found = false;
      bool shadingOnly = false;
      for (int L = 0; L < kLevels && !found; ++L) {
        const Level& l = levels[L];
        const std::size_t k =
            static_cast<std::size_t>(by >> (2 * L)) * l.w + static_cast<std::size_t>(bx >> (2 * L));
        // The block means decide whether there is contrast (noise averages out in them); the
        // darkest and brightest pixels place the threshold, which the share of background
        // in the window does not bias.
        lo = l.nbMin[k];
        hi = l.nbMax[k];
        // Pixel noise alone moves block means a little and single pixels a lot: contrast
        // counts only when the means spread by a good share of the pixels' range.
        const int spread = l.hi[k] - l.lo[k];
        const int needed = std::max(kMinContrast, (hi - lo) * kNoiseShare / 100);
        found = spread >= needed || (L == 0 && hiddenContrast(bx, by, spread, hi - lo));
        // Contrast seen only at a coarse scale, and only as shading: the threshold is taken
        // from it all the same, but no finder centre lies here.
        if (found && L > 0) shadingOnly = unshadedSpread(L, bx >> (2 * L), by >> (2 * L)) < needed;
      }
      thresholds_[i] = static_cast<std::uint8_t>((lo + hi + 1) / 2);
      flat_[i] = found && !shadingOnly ? 0 : 1;
    }
}

}  // namespace Aztec::detail

#include "reader/binarizer.h"

#include <algorithm>
#include <cmath>

namespace Aztec {

double LumaPlane::bilinear(double x, double y) const {
  // Pixel centres sit at i + 0.5.
  double u = x - 0.5;
  double v = y - 0.5;
  if (!(u > 0.0)) u = 0.0;  // also catches NaN
  if (!(v > 0.0)) v = 0.0;
  const double maxU = width - 1;
  const double maxV = height - 1;
  if (u > maxU) u = maxU;
  if (v > maxV) v = maxV;
  const int i = static_cast<int>(u);
  const int j = static_cast<int>(v);
  const double fu = u - i;
  const double fv = v - j;
  const int i1 = i + 1 < width ? i + 1 : i;
  const int j1 = j + 1 < height ? j + 1 : j;
  const double top = at(i, j) + (at(i1, j) - at(i, j)) * fu;
  const double bottom = at(i, j1) + (at(i1, j1) - at(i, j1)) * fu;
  return top + (bottom - top) * fv;
}

namespace {

// Contrast between block means below which a neighbourhood counts as uniform; block means
// average 64 pixels, so sensor noise alone stays well below it.
constexpr int kMinContrast = 14;
constexpr int kLevels = 3;
constexpr int kRadius = 2;  // 5 x 5 blocks per neighbourhood

struct Level {
  int w = 0;
  int h = 0;
  std::vector<int> mean;
  std::vector<int> pmin;  // darkest and brightest pixel of the block
  std::vector<int> pmax;
  std::vector<int> lo;  // neighbourhood minimum of the means
  std::vector<int> hi;  // neighbourhood maximum
  std::vector<int> nbMin;  // neighbourhood darkest and brightest pixel
  std::vector<int> nbMax;
};

// Minimum and maximum of `a` and `b` over the 5 x 5 neighbourhood of every block.
void neighbourhood(const Level& l, const std::vector<int>& a, const std::vector<int>& b, std::vector<int>& lo,
                   std::vector<int>& hi) {
  const std::size_t n = static_cast<std::size_t>(l.w) * l.h;
  std::vector<int> rowLo(n), rowHi(n);
  for (int y = 0; y < l.h; ++y)
    for (int x = 0; x < l.w; ++x) {
      int mn = 255, mx = 0;
      for (int k = std::max(0, x - kRadius); k <= std::min(l.w - 1, x + kRadius); ++k) {
        mn = std::min(mn, a[static_cast<std::size_t>(y) * l.w + k]);
        mx = std::max(mx, b[static_cast<std::size_t>(y) * l.w + k]);
      }
      rowLo[static_cast<std::size_t>(y) * l.w + x] = mn;
      rowHi[static_cast<std::size_t>(y) * l.w + x] = mx;
    }
  lo.assign(n, 255);
  hi.assign(n, 0);
  for (int y = 0; y < l.h; ++y)
    for (int x = 0; x < l.w; ++x) {
      int mn = 255, mx = 0;
      for (int k = std::max(0, y - kRadius); k <= std::min(l.h - 1, y + kRadius); ++k) {
        mn = std::min(mn, rowLo[static_cast<std::size_t>(k) * l.w + x]);
        mx = std::max(mx, rowHi[static_cast<std::size_t>(k) * l.w + x]);
      }
      lo[static_cast<std::size_t>(y) * l.w + x] = mn;
      hi[static_cast<std::size_t>(y) * l.w + x] = mx;
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
    for (int y = 0; y < plane.height; ++y) {
      const std::uint8_t* row = plane.data + static_cast<std::size_t>(y) * plane.stride;
      const std::size_t base = static_cast<std::size_t>(y >> kShift) * blocksX_;
      const int full = plane.width >> kShift;
      for (int b = 0; b < blocksX_; ++b) {
        const std::uint8_t* q = row + (b << kShift);
        std::uint32_t acc = 0;
        std::uint8_t mn = 255, mx = 0;
        if (b < full) {
          // A fixed count of 8 lets the compiler unroll and vectorise.
          for (int k = 0; k < 8; ++k) {
            acc += q[k];
            mn = q[k] < mn ? q[k] : mn;
            mx = q[k] > mx ? q[k] : mx;
          }
        } else {
          for (int k = 0; k < plane.width - (b << kShift); ++k) {
            acc += q[k];
            mn = q[k] < mn ? q[k] : mn;
            mx = q[k] > mx ? q[k] : mx;
          }
        }
        sums[base + b] += acc;
        l.pmin[base + b] = std::min<int>(l.pmin[base + b], mn);
        l.pmax[base + b] = std::max<int>(l.pmax[base + b], mx);
      }
    }
    l.mean.resize(nb);
    for (int by = 0; by < blocksY_; ++by) {
      const int bh = std::min(8, plane.height - (by << kShift));
      for (int bx = 0; bx < blocksX_; ++bx) {
        const int bw = std::min(8, plane.width - (bx << kShift));
        const std::size_t i = static_cast<std::size_t>(by) * blocksX_ + bx;
        l.mean[i] = static_cast<int>((sums[i] + static_cast<std::uint32_t>(bw * bh / 2)) / static_cast<std::uint32_t>(bw * bh));
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

  for (int by = 0; by < blocksY_; ++by)
    for (int bx = 0; bx < blocksX_; ++bx) {
      const std::size_t i = static_cast<std::size_t>(by) * blocksX_ + bx;
      int lo = 0, hi = 0;
      bool found = false;
      for (int L = 0; L < kLevels && !found; ++L) {
        const Level& l = levels[L];
        const std::size_t k = static_cast<std::size_t>(by >> (2 * L)) * l.w + static_cast<std::size_t>(bx >> (2 * L));
        // The block means decide whether there is contrast (noise averages out in them); the
        // darkest and brightest pixels place the threshold, which the share of background
        // in the window does not bias.
        lo = l.nbMin[k];
        hi = l.nbMax[k];
        found = l.hi[k] - l.lo[k] >= kMinContrast;
      }
      thresholds_[i] = static_cast<std::uint8_t>((lo + hi + 1) / 2);
      flat_[i] = found ? 0 : 1;
    }
}

}  // namespace Aztec

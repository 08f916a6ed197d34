#include "reader/symbol_sampler.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

#include "geometry/matrix.h"
#include "reader/tuning.h"

namespace Aztec::detail {

using namespace Tuning;

namespace {

using Mat3 = std::array<double, 9>;

std::optional<PerspectiveTransform> fromMat(const Mat3& m) {
  if (!(std::abs(m[8]) > 1e-12)) return std::nullopt;
  PerspectiveTransform t;
  t.a = m[0] / m[8];
  t.b = m[1] / m[8];
  t.c = m[2] / m[8];
  t.d = m[3] / m[8];
  t.e = m[4] / m[8];
  t.f = m[5] / m[8];
  t.g = m[6] / m[8];
  t.h = m[7] / m[8];
  for (double v : {t.a, t.b, t.c, t.d, t.e, t.f, t.g, t.h})
    if (!std::isfinite(v)) return std::nullopt;
  return t;
}

Mat3 multiply(const Mat3& a, const Mat3& b) {
  Mat3 r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) r[3 * i + j] += a[3 * i + k] * b[3 * k + j];
  return r;
}

std::optional<Mat3> invert(const Mat3& m) {
  const double c0 = m[4] * m[8] - m[5] * m[7];
  const double c1 = m[5] * m[6] - m[3] * m[8];
  const double c2 = m[3] * m[7] - m[4] * m[6];
  const double det = m[0] * c0 + m[1] * c1 + m[2] * c2;
  if (!(std::abs(det) > 1e-300)) return std::nullopt;
  const double k = 1.0 / det;
  return Mat3{c0 * k, (m[2] * m[7] - m[1] * m[8]) * k, (m[1] * m[5] - m[2] * m[4]) * k,
              c1 * k, (m[0] * m[8] - m[2] * m[6]) * k, (m[2] * m[3] - m[0] * m[5]) * k,
              c2 * k, (m[1] * m[6] - m[0] * m[7]) * k, (m[0] * m[4] - m[1] * m[3]) * k};
}

// An edge found in the image: the image point and the grid line it lies on.
struct EdgePoint {
  double x, y;    // normalised image coordinates
  float line;     // grid coordinate of the line, a whole number and a half: exact in a float
  bool vertical;  // a line of constant grid x (else constant grid y)
};

// Least-squares image-to-grid transform (normalised image coordinates) from edge points: each
// gives one linear equation in the eight coefficients.
// With `outliers`, the edges whose residual through it reaches kEdgeOutlier are left out.
double residual(const Mat3& g, const EdgePoint& e);
std::optional<Mat3> fitEdges(const std::vector<EdgePoint>& edges, const Mat3* outliers = nullptr) {
  std::array<double, 64> a{};
  std::array<double, 8> b{};
  int nv = 0, nh = 0;
  // A row has five entries that may be non-zero (the other three are of the other direction);
  // the products of zero add nothing, and the lower triangle equals the upper one product for
  // product, so only the upper triangle is summed and then mirrored.
  static constexpr int kColumns[2][5] = {{3, 4, 5, 6, 7}, {0, 1, 2, 6, 7}};
  for (const EdgePoint& e : edges) {
    if (outliers != nullptr && !(residual(*outliers, e) < kEdgeOutlier)) continue;
    double row[8] = {};
    if (e.vertical) {
      row[0] = e.x, row[1] = e.y, row[2] = 1.0;
      ++nv;
    } else {
      row[3] = e.x, row[4] = e.y, row[5] = 1.0;
      ++nh;
    }
    row[6] = -e.line * e.x;
    row[7] = -e.line * e.y;
    const int* columns = kColumns[e.vertical ? 1 : 0];
    for (int p = 0; p < 5; ++p) {
      const int i = columns[p];
      if (row[i] == 0.0) continue;
      for (int q = p; q < 5; ++q) a[8 * i + columns[q]] += row[i] * row[columns[q]];
      b[i] += row[i] * e.line;
    }
  }
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < i; ++j) a[8 * i + j] = a[8 * j + i];
  if (nv < kEdgeMinPerDirection || nh < kEdgeMinPerDirection) return std::nullopt;
  // The normal equations through the geometry's one solver; a near-singular system comes out
  // as non-finite coefficients, refused here.
  auto lhs = std::make_shared<Math::Matrix>(8, 8);
  auto rhs = std::make_shared<Math::Matrix>(8, 1);
  for (int i = 0; i < 8; ++i) {
    for (int j = 0; j < 8; ++j) (*lhs)(i, j) = a[8 * i + j];
    (*rhs)(i, 0) = b[i];
  }
  std::shared_ptr<Math::Matrix> u;
  try {
    u = Math::Matrix::solve(lhs, rhs);
  } catch (const Math::MatrixSingularException&) {
    return std::nullopt;
  }
  Mat3 g{};
  for (int i = 0; i < 8; ++i) {
    g[i] = (*u)(i, 0);
    if (!std::isfinite(g[i])) return std::nullopt;
  }
  g[8] = 1.0;
  return g;
}

double residual(const Mat3& g, const EdgePoint& e) {
  const double w = g[6] * e.x + g[7] * e.y + 1.0;
  const double u = e.vertical ? (g[0] * e.x + g[1] * e.y + g[2]) / w : (g[3] * e.x + g[4] * e.y + g[5]) / w;
  return std::abs(u - e.line);
}

// Batcher's odd-even merge sort of 16 values as a fixed list of compare-exchanges: no branch
// depends on the values, which in module values fall either way as often as not.
struct SortNetwork {
  static constexpr int kSize = 16;
  int count = 0;
  std::array<std::array<std::uint8_t, 2>, 80> pairs{};
  constexpr SortNetwork() {
    for (int p = 1; p < kSize; p <<= 1)
      for (int k = p; k >= 1; k >>= 1)
        for (int j = k % p; j + k < kSize; j += 2 * k)
          for (int i = 0; i < std::min(k, kSize - j - k); ++i)
            if ((i + j) / (2 * p) == (i + j + k) / (2 * p))
              pairs[static_cast<std::size_t>(count++)] = {static_cast<std::uint8_t>(i + j),
                                                          static_cast<std::uint8_t>(i + j + k)};
  }
};
constexpr SortNetwork kSortNetwork;

// Sorts v[0 .. 15] through the network, spelled out so that the values can stay in registers.
template <std::size_t... I>
void sortSixteen(double* v, std::index_sequence<I...>) {
  const auto exchange = [v](std::size_t i, std::size_t j) {
    const double a = v[i], b = v[j];
    v[i] = std::min(a, b);
    v[j] = std::max(a, b);
  };
  (exchange(kSortNetwork.pairs[I][0], kSortNetwork.pairs[I][1]), ...);
}

// Local thresholds for a square of module values (n x n, column-major): per block of modules, the
// midpoint of the dark and light means of the modules around it, or the finder's midpoint where
// that window shows no contrast.
std::vector<double> localThresholds(const std::vector<double>& v, int n, const Levels& levels) {
  const double global = 0.5 * (levels.dark + levels.light);
  const double minContrast = kThresholdMinContrast * (levels.light - levels.dark);
  constexpr int B = kThresholdBlock;
  // A window is the 3 x 3 blocks around its own (clipped to the symbol).
  static_assert(kThresholdMargin == kThresholdBlock && B * B == SortNetwork::kSize);
  const int nb = (n + B - 1) / B;
  std::vector<double> blockT(static_cast<std::size_t>(nb) * nb, global);
  // Each block's values sorted, with their running sums: the sum and count of a block's values
  // below a threshold are a binary search away, and a window's are those of its nine blocks.
  struct Block {
    int count;
    double sorted[B * B];     // the values, then +infinity up to 16
    double below[B * B + 1];  // below[i]: the sum of the i smallest
  };
  // The three columns of blocks a window column needs, by block column modulo 3.
  std::vector<Block> columns(static_cast<std::size_t>(3) * nb);
  auto column = [&](int bx) { return columns.data() + static_cast<std::size_t>(bx % 3) * nb; };
  auto fill = [&](int bx) {
    Block* blocks = column(bx);
    const int x0 = B * bx, x1 = std::min(n, x0 + B);
    for (int by = 0; by < nb; ++by) {
      Block& k = blocks[by];
      const int y0 = B * by, y1 = std::min(n, y0 + B);
      k.count = 0;
      for (int x = x0; x < x1; ++x)
        for (int y = y0; y < y1; ++y) k.sorted[k.count++] = v[static_cast<std::size_t>(x) * n + y];
      for (int i = k.count; i < B * B; ++i) k.sorted[i] = HUGE_VAL;
      double sorted[B * B];
      std::copy(k.sorted, k.sorted + B * B, sorted);
      sortSixteen(sorted, std::make_index_sequence<static_cast<std::size_t>(kSortNetwork.count)>());
      std::copy(sorted, sorted + B * B, k.sorted);
      k.below[0] = 0.0;
      for (int i = 0; i < k.count; ++i) k.below[i + 1] = k.below[i] + k.sorted[i];
    }
  };
  fill(0);
  if (nb > 1) fill(1);
  for (int bx = 0; bx < nb; ++bx) {
    if (bx >= 1 && bx + 1 < nb) fill(bx + 1);
    const int cx0 = std::max(0, bx - 1), cx1 = std::min(nb - 1, bx + 1);
    for (int by = 0; by < nb; ++by) {
      const int cy0 = std::max(0, by - 1), cy1 = std::min(nb - 1, by + 1);
      const Block* window[9];
      int blocks = 0;
      for (int cx = cx0; cx <= cx1; ++cx)
        for (int cy = cy0; cy <= cy1; ++cy) window[blocks++] = column(cx) + cy;
      double total = 0.0;
      int count = 0;
      for (int i = 0; i < blocks; ++i) total += window[i]->below[window[i]->count], count += window[i]->count;
      double t = total / count, dark = 0.0, light = 0.0;
      // Two rounds of two-means settle the split between the colours.
      for (int round = 0; round < 2; ++round) {
        // How many of each block's values lie below t, by halving without branches: a step for
        // all nine blocks before the next, so the nine searches run side by side.
        int below[9] = {};
        for (int step = B * B / 2; step >= 1; step /= 2)
          for (int i = 0; i < blocks; ++i) below[i] += window[i]->sorted[below[i] + step - 1] < t ? step : 0;
        double sd = 0.0;
        int nd = 0;
        for (int i = 0; i < blocks; ++i) {
          below[i] += window[i]->sorted[below[i]] < t;
          sd += window[i]->below[below[i]];
          nd += below[i];
        }
        const int nl = count - nd;
        if (nd == 0 || nl == 0) break;
        dark = sd / nd;
        light = (total - sd) / nl;
        t = 0.5 * (dark + light);
      }
      blockT[static_cast<std::size_t>(bx) * nb + by] = light - dark >= minContrast ? t : global;
    }
  }
  std::vector<double> out(static_cast<std::size_t>(n) * n);
  for (int x = 0; x < n; ++x)
    for (int y = 0; y < n; ++y)
      out[static_cast<std::size_t>(x) * n + y] = blockT[static_cast<std::size_t>(x / B) * nb + y / B];
  return out;
}

}  // namespace

PerspectiveTransform refineOnEdges(const PolarPlane& plane, const PerspectiveTransform& t0,
                                   const SymbolCandidate& params, int maxRadius) {
  const bool full = params.symbolType == kFullRange;
  const int half = std::min(params.symbolSize / 2, maxRadius);
  const int radius0 = finderRadius(full);
  PerspectiveTransform t = t0;
  const Levels levels = finderLevels(plane, t0, full);
  const double contrast = levels.light - levels.dark;
  if (!(contrast > 0.0)) return t0;

  int radius = std::min(half, radius0 + kRefineStartBeyondFinder);
  for (int iteration = 0; iteration < kRefineRounds; ++iteration) {
    const int n = 2 * radius + 1;
    const std::size_t cells = static_cast<std::size_t>(n) * n;
    std::vector<double> v(cells);
    std::vector<Point2D> at(cells);  // module centres in the image
    {
      // All the centres mapped and read at once (ModuleMap's map is t.map, point for point).
      std::vector<double> gx(cells), gy(cells), ix(cells), iy(cells);
      for (int x = 0; x < n; ++x)
        for (int y = 0; y < n; ++y) {
          const std::size_t i = static_cast<std::size_t>(x) * n + y;
          gx[i] = x - radius, gy[i] = y - radius;
        }
      ModuleMap(t).map(gx.data(), gy.data(), static_cast<int>(cells), ix.data(), iy.data());
      plane.values(ix.data(), iy.data(), static_cast<int>(cells), v.data());
      for (std::size_t i = 0; i < cells; ++i) at[i] = {ix[i], iy[i]};
    }
    const std::vector<double> thr = localThresholds(v, n, levels);
    std::vector<char> dark(static_cast<std::size_t>(n) * n);
    for (int x = 0; x < n; ++x)
      for (int y = 0; y < n; ++y) {
        bool inFinder = false;
        const bool ideal = finderDark(x - radius, y - radius, radius0, inFinder);
        const std::size_t i = static_cast<std::size_t>(x) * n + y;
        dark[i] = inFinder ? ideal : v[i] < thr[i];
      }
    // Normalisation: image coordinates around the symbol centre in units of one module.
    const Point2D c = t.map(0.0, 0.0);
    const Point2D cx = t.map(1.0, 0.0);
    const Point2D cy = t.map(0.0, 1.0);
    const double unit =
        std::max(0.5, 0.5 * (std::hypot(cx.x - c.x, cx.y - c.y) + std::hypot(cy.x - c.x, cy.y - c.y)));
    // Room for every colour change between neighbours, counted first: the edges of a large
    // symbol are its largest buffer, and growing it by doubling would take up to twice that.
    std::size_t changes = 0;
    for (int x = 0; x < n; ++x)
      for (int y = 0; y < n; ++y) {
        const std::size_t i = static_cast<std::size_t>(x) * n + y;
        changes += (x + 1 < n && dark[i] != dark[i + n]) + (y + 1 < n && dark[i] != dark[i + 1]);
      }
    std::vector<EdgePoint> edges;
    edges.reserve(changes);
    for (int x = 0; x < n; ++x)
      for (int y = 0; y < n; ++y)
        for (int dir = 0; dir < 2; ++dir) {
          const int x2 = x + (dir == 0 ? 1 : 0);
          const int y2 = y + (dir == 0 ? 0 : 1);
          if (x2 >= n || y2 >= n) continue;
          const std::size_t i1 = static_cast<std::size_t>(x) * n + y;
          const std::size_t i2 = static_cast<std::size_t>(x2) * n + y2;
          if (dark[i1] == dark[i2]) continue;
          const Point2D a = at[i1];
          const Point2D b = at[i2];
          const double len = std::hypot(b.x - a.x, b.y - a.y);
          const int steps = std::clamp(static_cast<int>(len / kEdgeStep), kEdgeMinSteps, kEdgeMaxSteps);
          const double level = 0.5 * (thr[i1] + thr[i2]);
          // The readings along the way at once; the first is the module's own (a is its centre).
          double sx[kEdgeMaxSteps], sy[kEdgeMaxSteps], sv[kEdgeMaxSteps];
          for (int s = 1; s <= steps; ++s) {
            const double f = static_cast<double>(s) / steps;
            sx[s - 1] = a.x + (b.x - a.x) * f, sy[s - 1] = a.y + (b.y - a.y) * f;
          }
          plane.values(sx, sy, steps, sv);
          // Sign of (value - level) is negative on the dark side.
          double prev = v[i1] - level;
          double best = -1.0;
          for (int s = 1; s <= steps; ++s) {
            const double cur = sv[s - 1] - level;
            const bool crossing = dark[i1] ? (prev < 0.0 && cur >= 0.0) : (prev >= 0.0 && cur < 0.0);
            if (crossing) {
              const double pos = (s - 1 + prev / (prev - cur)) / steps;
              if (best < 0.0 || std::abs(pos - 0.5) < std::abs(best - 0.5)) best = pos;
            }
            prev = cur;
          }
          if (best < 0.0 || std::abs(best - 0.5) > kEdgeMaxOffset) continue;
          const double px = a.x + (b.x - a.x) * best;
          const double py = a.y + (b.y - a.y) * best;
          EdgePoint e;
          e.x = (px - c.x) / unit;
          e.y = (py - c.y) / unit;
          e.vertical = dir == 0;
          e.line = static_cast<float>(dir == 0 ? x - radius + 0.5 : y - radius + 0.5);
          edges.push_back(e);
        }
    auto g = fitEdges(edges);
    if (g) {
      // One round of outlier removal: edges misplaced by a wrongly classed module.
      std::size_t kept = 0;
      for (const EdgePoint& e : edges) kept += residual(*g, e) < kEdgeOutlier;
      if (kept * 2 > edges.size()) {
        const Mat3 first = *g;
        if (auto g2 = fitEdges(edges, &first)) g = g2;
      }
      const Mat3 norm{1.0 / unit, 0.0, -c.x / unit, 0.0, 1.0 / unit, -c.y / unit, 0.0, 0.0, 1.0};
      if (auto h = invert(multiply(*g, norm))) {
        if (auto nt = fromMat(*h)) t = *nt;
      }
    }
    if (radius == half) break;
    radius = std::min(half, static_cast<int>(radius * kRefineGrowth) + kRefineGrowthSlack);
    // A step that would leave only a thin border for the next one takes the whole symbol now.
    if (radius * kRefineWholeDenominator >= half * kRefineWholeNumerator) radius = half;
  }
  return t;
}

namespace {

// Crossings of the reference-grid lines 16 i, 16 j for i, j in -k-1 .. k+1.
class Crossings {
 public:
  explicit Crossings(int k) : k_(k), n_(2 * k + 3), at_(static_cast<std::size_t>(n_) * n_) {}
  Point2D& operator()(int i, int j) { return at_[static_cast<std::size_t>((i + k_ + 1) * n_ + j + k_ + 1)]; }

  // The transform of the cell with top-left crossing (i, j) (see ModuleMap).
  std::optional<PerspectiveTransform> cell(int i, int j) {
    return squareToQuad({(*this)(i, j), (*this)(i + 1, j), (*this)(i + 1, j + 1), (*this)(i, j + 1)}, 8.0);
  }

 private:
  int k_, n_;
  std::vector<Point2D> at_;
};

// The cell next to crossing (i, j) on the side of the centre whose crossings all lie within
// ring d - 1 (d >= 2 the ring of the crossing): its transform reaches the crossing outwards.
int innerCell(int i, int d) {
  return i > 0 ? std::min(i, d - 1) - 1 : std::max(i, -(d - 1));
}

// Offset across a grid line, in modules, where the modules along it alternate most strongly:
// module centres `from` .. `to` along the line at `across` offsets up to `reach` steps of 0.2
// module either way (at most 5) through `map` at the grid points `grid` gives. The alternation is measured in
// two phases half a module apart, so that a position along the line up to half a module off costs little of
// it. Nothing when no offset shows the alternation clearly.
template <class Grid>
std::optional<double> lineOffset(const PolarPlane& plane, const ModuleMap& map, int from, int to, int reach,
                                 double contrast, Grid&& grid) {
  std::array<double, 2 * kGridLineMaxReach + 1> strength{};
  const int steps = 2 * std::clamp(reach, 1, kGridLineMaxReach) + 1;
  const int count = to - from;  // module pairs m, m + 0.5 for m in from .. to - 1
  if (count < 6) return std::nullopt;
  // The readings of up to kChunk modules at a time at every offset, both phases: [(2 kChunk) o + 2 i] at
  // m, [(2 kChunk) o + 2 i + 1] at m + 0.5.
  constexpr int kChunk = 16;
  constexpr int kMost = 2 * kChunk * (2 * kGridLineMaxReach + 1);
  double gx[kMost], gy[kMost], x[kMost], y[kMost], value[kMost];
  std::array<double, 2 * kGridLineMaxReach + 1> sum0{}, sum1{}, alt0{}, alt1{};
  for (int first = from; first < to; first += kChunk) {
    const int n = std::min(kChunk, to - first);
    int k = 0;
    for (int o = 0; o < steps; ++o) {
      const double across = (o - steps / 2) * kGridLineStep;
      for (int i = 0; i < n; ++i, k += 2) {
        const Point2D p = grid(across, first + i);
        const Point2D q = grid(across, first + i + 0.5);
        gx[k] = p.x, gy[k] = p.y, gx[k + 1] = q.x, gy[k + 1] = q.y;
      }
    }
    map.map(gx, gy, k, x, y);
    plane.values(x, y, k, value);
    k = 0;
    for (std::size_t o = 0; o < static_cast<std::size_t>(steps); ++o)
      for (int i = 0; i < n; ++i, k += 2) {
        const int m = first + i;
        const double v = value[k], w = value[k + 1];
        sum0[o] += v;
        sum1[o] += w;
        alt0[o] += (m & 1) ? -v : v;
        alt1[o] += (m & 1) ? -w : w;
      }
  }
  for (std::size_t o = 0; o < static_cast<std::size_t>(steps); ++o) {
    // Less the mean's share of an odd count, so that uniform light or dark scores nothing.
    if (count & 1) {
      alt0[o] -= ((from & 1) ? -sum0[o] : sum0[o]) / count;
      alt1[o] -= ((from & 1) ? -sum1[o] : sum1[o]) / count;
    }
    strength[o] = std::hypot(alt0[o], alt1[o]) / count;
  }
  int best = 0;
  for (int o = 1; o < steps; ++o)
    if (strength[static_cast<std::size_t>(o)] > strength[static_cast<std::size_t>(best)]) best = o;
  const double peak = strength[static_cast<std::size_t>(best)];
  // A line shows about half the finder's contrast between neighbours at least.
  if (!(peak >= kGridLineMinStrength * contrast)) return std::nullopt;
  // Centroid of the peak above half its height: the middle of the line, not one sample.
  double weight = 0.0, moment = 0.0;
  for (int dir : {-1, 1})
    for (int o = dir < 0 ? best : best + 1; o >= 0 && o < steps; o += dir) {
      const double w = strength[static_cast<std::size_t>(o)] - 0.5 * peak;
      if (w <= 0.0) break;
      weight += w;
      moment += w * (o - steps / 2) * kGridLineStep;
    }
  return moment / weight;
}

}  // namespace

std::optional<ModuleMap> gridCellMap(const PolarPlane& plane, const PerspectiveTransform& t,
                                     const SymbolCandidate& params) {
  const int half = params.symbolSize / 2;
  const int k = half / 16;
  if (params.symbolType != kFullRange || k < kGridMinLines) return std::nullopt;
  const Levels levels = finderLevels(plane, t, true);
  const double contrast = levels.light - levels.dark;
  if (!(contrast > 0.0)) return std::nullopt;

  Crossings crossing(k);
  for (int i = -k - 1; i <= k + 1; ++i)
    for (int j = -k - 1; j <= k + 1; ++j) crossing(i, j) = t.map(16.0 * i, 16.0 * j);

  // The transform of cell (ci, cj) in the grid's own coordinates.
  auto cellMap = [&](int ci, int cj) -> std::optional<ModuleMap> {
    const auto c = crossing.cell(ci, cj);
    if (!c) return std::nullopt;
    // T'(x, y) = T(x - 16 ci - 8, y - 16 cj - 8), scaled back to w = 1 at the origin.
    const double ox = -16.0 * ci - 8.0, oy = -16.0 * cj - 8.0;
    const double w = c->g * ox + c->h * oy + 1.0;
    if (!(std::abs(w) > 1e-12)) return std::nullopt;
    PerspectiveTransform s = *c;
    s.c = (c->a * ox + c->b * oy + c->c) / w;
    s.f = (c->d * ox + c->e * oy + c->f) / w;
    s.a /= w, s.b /= w, s.d /= w, s.e /= w, s.g /= w, s.h /= w;
    return ModuleMap(s);
  };
  // The transform to search crossing (i, j) of ring d through: at first the finder's for the
  // first ring and the inner cell's, reaching out from the crossings found so far, beyond it;
  // then a cell of which it is a corner, so that each pass starts from the last.
  auto around = [&](int i, int j, int d, bool first) -> std::optional<ModuleMap> {
    if (first && d <= 1) return ModuleMap(t);
    if (first || d > k) return cellMap(innerCell(i, d), innerCell(j, d));
    return cellMap(i > 0 ? i - 1 : i, j > 0 ? j - 1 : j);
  };

  for (int pass = 0; pass < kGridMaxPasses; ++pass) {
    double moved = 0.0;
    int missed = 0;
    for (int d = 1; d <= k; ++d)
      for (int i = -d; i <= d; ++i)
        for (int j = -d; j <= d; ++j) {
          if (std::max(std::abs(i), std::abs(j)) != d) continue;
          const auto m = around(i, j, d, pass == 0);
          if (!m) return std::nullopt;
          const int gx = 16 * i, gy = 16 * j;
          // Modules of each line within the symbol, up to eight either side of the crossing.
          const int yFrom = std::max(gy - 8, -half), yTo = std::min(gy + 8, half);
          const int xFrom = std::max(gx - 8, -half), xTo = std::min(gx + 8, half);
          // The first pass starts from extrapolated crossings; later ones only settle them.
          const int reach = pass == 0 ? kGridLineMaxReach : kGridLineSettleReach;
          const auto ox = lineOffset(plane, *m, yFrom, yTo, reach, contrast, [&](double across, double y) {
            return Point2D{gx + across, y};
          });
          const auto oy = lineOffset(plane, *m, xFrom, xTo, reach, contrast, [&](double across, double x) {
            return Point2D{x, gy + across};
          });
          const Point2D before = crossing(i, j);
          if (!ox || !oy) {
            ++missed;
            if (pass == 0) crossing(i, j) = m->map(gx, gy);
            continue;
          }
          const Point2D now = m->map(gx + *ox, gy + *oy);
          const Point2D unit = m->map(gx + 1.0, gy);
          const Point2D here = m->map(gx, gy);
          const double module = std::hypot(unit.x - here.x, unit.y - here.y);
          if (!(module > 0.0)) return std::nullopt;
          moved = std::max(moved, std::hypot(now.x - before.x, now.y - before.y) / module);
          crossing(i, j) = now;
        }
    // Most lines must show: a symbol seen only in part is better read through one transform.
    const int all = (2 * k + 1) * (2 * k + 1) - 1;
    if (missed * kGridMaxMissedDivisor > all) return std::nullopt;
    // The ring beyond the last lines, for the symbol's border modules.
    for (int i = -k - 1; i <= k + 1; ++i)
      for (int j = -k - 1; j <= k + 1; ++j) {
        if (std::max(std::abs(i), std::abs(j)) != k + 1) continue;
        const auto m = around(i, j, k + 1, true);
        if (!m) return std::nullopt;
        crossing(i, j) = m->map(16.0 * i, 16.0 * j);
      }
    if (moved < kGridSettled) break;
  }
  std::vector<PerspectiveTransform> cells;
  cells.reserve(static_cast<std::size_t>(2 * k + 2) * (2 * k + 2));
  for (int i = -k - 1; i <= k; ++i)
    for (int j = -k - 1; j <= k; ++j) {
      const auto c = crossing.cell(i, j);
      if (!c) return std::nullopt;
      cells.push_back(*c);
    }
  return ModuleMap(k, std::move(cells));
}

ModuleValues sampleModules(const PolarPlane& plane, const ModuleMap& t, const SymbolCandidate& params) {
  ModuleValues out;
  const int n = params.symbolSize;
  const int half = n / 2;
  out.size = n;
  out.value.resize(static_cast<std::size_t>(n) * n);
  // A band of rows across the symbol at a time: the pixel rows it reads stay in the cache from one
  // column to the next, which a whole column of a large symbol does not.
  constexpr int kBand = 8;
  const std::size_t most = static_cast<std::size_t>(n) * kBand;
  std::vector<double> gx(most), gy(most), band(most);
  for (int y0 = 0; y0 < n; y0 += kBand) {
    const int h = std::min(kBand, n - y0);
    std::size_t k = 0;
    for (int x = 0; x < n; ++x)
      for (int y = y0; y < y0 + h; ++y, ++k) gx[k] = x - half, gy[k] = y - half;
    plane.moduleValues(t, gx.data(), gy.data(), static_cast<int>(k), band.data());
    k = 0;
    for (int x = 0; x < n; ++x)
      for (int y = y0; y < y0 + h; ++y, ++k) out.value[static_cast<std::size_t>(x) * n + y] = band[k];
  }
  const Levels levels = finderLevels(plane, t, params.symbolType == kFullRange);
  out.threshold = localThresholds(out.value, n, levels);
  return out;
}

namespace {

// Where the level is crossed between module centres a and b (a on the dark side when
// `aDark`), as a fraction of the way from a; the crossing nearest the middle.
std::optional<double> edgeCrossing(const PolarPlane& plane, const Point2D& a, const Point2D& b, double level,
                                   bool aDark) {
  const double len = std::hypot(b.x - a.x, b.y - a.y);
  const int steps = std::clamp(static_cast<int>(len / kEdgeStep), kEdgeMinSteps, kEdgeMaxSteps);
  double prev = plane.value(a.x, a.y) - level;
  std::optional<double> best;
  for (int s = 1; s <= steps; ++s) {
    const double f = static_cast<double>(s) / steps;
    const double cur = plane.value(a.x + (b.x - a.x) * f, a.y + (b.y - a.y) * f) - level;
    if (aDark ? (prev < 0.0 && cur >= 0.0) : (prev >= 0.0 && cur < 0.0)) {
      const double pos = (s - 1 + prev / (prev - cur)) / steps;
      if (!best || std::abs(pos - 0.5) < std::abs(*best - 0.5)) best = pos;
    }
    prev = cur;
  }
  if (best && std::abs(*best - 0.5) > kEdgeMaxOffset) return std::nullopt;
  return best;
}

}  // namespace

std::optional<GridOffsets> localGridOffsets(const PolarPlane& plane, const PerspectiveTransform& t,
                                            const SymbolCandidate& params) {
  const bool full = params.symbolType == kFullRange;
  const int n = params.symbolSize, half = n / 2;
  const int finderRadius = full ? 6 : 4;
  const std::size_t cells = static_cast<std::size_t>(n) * n;
  GridOffsets o{n, std::vector<double>(cells), std::vector<double>(cells)};
  const Levels levels = finderLevels(plane, t, full);
  if (!(levels.light - levels.dark > 0.0)) return o;
  auto index = [n](int x, int y) { return static_cast<std::size_t>(x) * n + y; };

  std::vector<Point2D> at(cells);
  std::vector<double> v(cells), sum[2], count[2];
  std::vector<char> dark(cells);
  std::vector<double> step[2] = {std::vector<double>(cells), std::vector<double>(cells)};
  // How far the modules within `reach` of the centre lie off their place through the offsets so
  // far, from the edges: into `step`; returns how many lie a tenth of a module off or more.
  auto measure = [&](int reach) {
    for (int x = 0; x < n; ++x)
      for (int y = 0; y < n; ++y) {
        const std::size_t i = index(x, y);
        at[i] = t.map(x - half + o.dx[i], y - half + o.dy[i]);
        v[i] = plane.value(at[i].x, at[i].y);
      }
    const std::vector<double> thr = localThresholds(v, n, levels);
    for (int x = 0; x < n; ++x)
      for (int y = 0; y < n; ++y) {
        bool inFinder = false;
        const bool ideal = finderDark(x - half, y - half, finderRadius, inFinder);
        dark[index(x, y)] = inFinder ? ideal : v[index(x, y)] < thr[index(x, y)];
      }
    // Each edge found off the middle between its two module centres moves both modules.
    for (int axis = 0; axis < 2; ++axis) sum[axis].assign(cells, 0.0), count[axis].assign(cells, 0.0);
    const int lo = half - reach, hi = half + reach;
    for (int x = lo; x <= hi; ++x)
      for (int y = lo; y <= hi; ++y)
        for (int axis = 0; axis < 2; ++axis) {
          const int x2 = x + (axis == 0), y2 = y + (axis == 1);
          if (x2 > hi || y2 > hi) continue;
          const std::size_t i1 = index(x, y), i2 = index(x2, y2);
          if (dark[i1] == dark[i2]) continue;
          const auto f = edgeCrossing(plane, at[i1], at[i2], 0.5 * (thr[i1] + thr[i2]), dark[i1] != 0);
          if (!f) continue;
          for (std::size_t i : {i1, i2}) sum[axis][i] += *f - 0.5, count[axis][i] += 1.0;
        }
    // Smoothed over a small window: one misjudged module moves nothing much. Where the window is
    // cut short along the axis (by the reach, or by the symbol's border) its edges all lie to one
    // side, and their mean lags behind an offset that grows outwards (a curve compresses the
    // modules more the further out they lie): there the offset is read off a line through the
    // edges' offsets against their position along the axis, its slope shrunk towards none as
    // far as the edges spread over less than a module (one misjudged edge tilts a short line).
    int off = 0;
    for (int axis = 0; axis < 2; ++axis) std::fill(step[axis].begin(), step[axis].end(), 0.0);
    for (int x = lo; x <= hi; ++x)
      for (int y = lo; y <= hi; ++y)
        for (int axis = 0; axis < 2; ++axis) {
          double c = 0.0, s = 0.0, cu = 0.0, cuu = 0.0, su = 0.0;
          for (int wx = std::max(lo, x - kLocalWindow); wx <= std::min(hi, x + kLocalWindow); ++wx)
            for (int wy = std::max(lo, y - kLocalWindow); wy <= std::min(hi, y + kLocalWindow); ++wy) {
              const double k = count[axis][index(wx, wy)], e = sum[axis][index(wx, wy)];
              const double u = axis == 0 ? wx - x : wy - y;
              c += k, s += e, cu += k * u, cuu += k * u * u, su += e * u;
            }
          if (c < kLocalMinEdges) continue;
          double d = s / c;
          const int along = axis == 0 ? x : y;
          if (along - kLocalWindow < lo || along + kLocalWindow > hi) {
            const double mu = cu / c;
            d -= (su - s * mu) / (cuu - cu * mu + kLocalSlopePrior * c) * mu;
          }
          step[axis][index(x, y)] = std::clamp(d, -kLocalMaxStep, kLocalMaxStep);
        }
    for (int x = lo; x <= hi; ++x)
      for (int y = lo; y <= hi; ++y)
        off += std::max(std::abs(step[0][index(x, y)]), std::abs(step[1][index(x, y)])) >= kLocalMinOffset;
    return off;
  };
  // A full-range symbol has many modules and as many rounds to grow through: it is corrected
  // only where one pass over it finds a good share of its modules off the one transform, as a
  // curve moves them. Damage moves only the few modules at its own edges.
  if (full && measure(half) * kLocalMinShareDivisor < n * n) return std::nullopt;

  const int growthRounds = (half - finderRadius + kLocalGrowth - 1) / kLocalGrowth;
  for (int round = 0; round < growthRounds + kLocalFinalRounds; ++round) {
    const int reach = std::min(half, finderRadius + kLocalGrowth * (round + 1));
    measure(reach);
    const int lo = half - reach, hi = half + reach;
    for (int x = lo; x <= hi; ++x)
      for (int y = lo; y <= hi; ++y) {
        const std::size_t i = index(x, y);
        o.dx[i] += step[0][i];
        o.dy[i] += step[1][i];
      }
    // Modules beyond the reach continue the trend of the last two inside it.
    if (lo > 0)
      for (int x = 0; x < n; ++x)
        for (int y = 0; y < n; ++y) {
          if (x >= lo && x <= hi && y >= lo && y <= hi) continue;
          const int bx = std::clamp(x, lo, hi), by = std::clamp(y, lo, hi);
          const int ix = bx + (x < lo ? 1 : x > hi ? -1 : 0), iy = by + (y < lo ? 1 : y > hi ? -1 : 0);
          const std::size_t b = index(bx, by), in = index(ix, iy), i = index(x, y);
          const double d = std::max(std::abs(x - bx), std::abs(y - by));
          o.dx[i] = o.dx[b] + (o.dx[b] - o.dx[in]) * d;
          o.dy[i] = o.dy[b] + (o.dy[b] - o.dy[in]) * d;
        }
  }
  return o;
}

ModuleValues sampleModulesAt(const PolarPlane& plane, const ModuleMap& t, const SymbolCandidate& params,
                             const GridOffsets& offsets) {
  ModuleValues out;
  const int n = params.symbolSize;
  const int half = n / 2;
  out.size = n;
  out.value.resize(static_cast<std::size_t>(n) * n);
  for (int x = 0; x < n; ++x)
    for (int y = 0; y < n; ++y) {
      const std::size_t i = static_cast<std::size_t>(x) * n + y;
      out.value[i] = plane.moduleValue(t, x - half + offsets.dx[i], y - half + offsets.dy[i]);
    }
  const Levels levels = finderLevels(plane, t, params.symbolType == kFullRange);
  out.threshold = localThresholds(out.value, n, levels);
  return out;
}

ModuleValues unmixModules(const ModuleValues& m, double spill, const PolarPlane& plane, const ModuleMap& t,
                          const SymbolCandidate& params) {
  const int n = m.size;
  const Levels levels = finderLevels(plane, t, params.symbolType == kFullRange);
  auto at = [&](int x, int y) {
    return x < 0 || y < 0 || x >= n || y >= n ? levels.light : m.value[static_cast<std::size_t>(x) * n + y];
  };
  ModuleValues out;
  out.size = n;
  out.value.resize(m.value.size());
  for (int x = 0; x < n; ++x)
    for (int y = 0; y < n; ++y) {
      const double around = at(x - 1, y) + at(x + 1, y) + at(x, y - 1) + at(x, y + 1);
      out.value[static_cast<std::size_t>(x) * n + y] = (at(x, y) - spill * around) / (1.0 - 4.0 * spill);
    }
  out.threshold = localThresholds(out.value, n, levels);
  return out;
}

SampledGrid binarizeModules(const ModuleValues& m, double shift, double contrast) {
  const int n = m.size;
  SampledGrid grid(static_cast<std::size_t>(n), std::vector<bool>(static_cast<std::size_t>(n)));
  for (int x = 0; x < n; ++x)
    for (int y = 0; y < n; ++y) {
      const std::size_t i = static_cast<std::size_t>(x) * n + y;
      grid[static_cast<std::size_t>(x)][static_cast<std::size_t>(y)] =
          m.value[i] < m.threshold[i] + shift * contrast;
    }
  return grid;
}

int finderMismatches(const SampledGrid& grid, const SymbolCandidate& params) {
  const int n = params.symbolSize;
  const int half = n / 2;
  const int radius = finderRadius(params.symbolType == kFullRange);
  int bad = 0;
  for (int x = -radius; x <= radius; ++x)
    for (int y = -radius; y <= radius; ++y) {
      bool inFinder = false;
      const bool ideal = finderDark(x, y, radius, inFinder);
      if (grid[static_cast<std::size_t>(x + half)][static_cast<std::size_t>(y + half)] != ideal) ++bad;
    }
  return bad;
}

}  // namespace Aztec::detail

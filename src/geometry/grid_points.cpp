#include "geometry/grid_points.h"

#include <algorithm>
#include <bit>
#include <cstdint>

#include "common/checked_access.h"
#include "detect/detector.h"
#include "geometry/homography.h"
#include "geometry/transform_sampler.h"

namespace Aztec {

namespace {

// Grid position of gridPoints[i][j].
double cellGrid(int i) {
  return 16.0 * (i - 10);
}

Point2D& gridPoint(SymbolCandidate& candidate, int i, int j) {
  return at(at(candidate.gridPoints, i), j);
}

// Local transform of the cell with top-left corner [i][j]: grid (0,0)..(16,16) onto its corners.
const std::array<Point2D, 4> kCellGrid = {Point2D{0.0, 0.0}, Point2D{16.0, 0.0}, Point2D{16.0, 16.0},
                                          Point2D{0.0, 16.0}};

// Index of the best of the 19 candidate lines through grid (x, y): vertical lines at
// x + o/5 sampled at y + t/5, or horizontal ones at y + o/5 sampled at x + t/5.
int searchGridLine(const TransformSampler& sampler, int x, int y, bool vertical) {
  // The positions along a line are the same for every candidate; one spare keeps the
  // mapping loop's length even.
  constexpr std::size_t kMapped = GRID_LINE_SAMPLES + 1;
  std::array<double, kMapped> along{};
  for (std::size_t t = 0; t < kMapped; ++t) along[t] = (vertical ? y : x) + (static_cast<int>(t) - 40) / 5.0;
  std::array<double, kMapped> imageX{};
  std::array<double, kMapped> imageY{};
  std::array<int, GRID_LINE_SAMPLES> line{};
  std::array<int, GRID_LINE_CANDIDATES> score{};
  for (int o = -9; o <= 9; ++o) {
    if (vertical) {
      sampler.mapColumn(x + o / 5.0, along, imageX, imageY);
    } else {
      sampler.mapRow(along, y + o / 5.0, imageX, imageY);
    }
    for (int t = 0; t < GRID_LINE_SAMPLES; ++t)
      line[t] = static_cast<int>(sampler.pixel(imageX[t], imageY[t]));
    score[o + 9] = scoreGridLine(line);
  }
  return pickGridLine(score);
}

}  // namespace

int scoreGridLine(const std::array<int, GRID_LINE_SAMPLES>& samples) {
  int lo = 255;
  int hi = 0;
  for (int s : samples) {
    lo = std::min(lo, s);
    hi = std::max(hi, s);
  }
  const int mid = (hi + lo) / 2;
  if (hi - mid < 16 || mid - lo < 16) return -1;

  // Five samples make one module, so along a grid line every fifth sample flips side. Bit m
  // of phase p is sample p + 5m's side with every odd module flipped: an unbroken line is all
  // equal bits, and each bit that differs from bit 0 is one break.
  auto side = [&](int q, std::uint32_t odd) { return (samples[q] - mid < 0 ? 1u : 0u) ^ odd; };
  std::uint32_t f0 = 0, f1 = 0, f2 = 0, f3 = 0, f4 = 0;
  for (int m = 0; m < 16; ++m) {
    const std::uint32_t odd = static_cast<std::uint32_t>(m & 1);
    f0 |= side(5 * m, odd) << m;
    f1 |= side(5 * m + 1, odd) << m;
    f2 |= side(5 * m + 2, odd) << m;
    f3 |= side(5 * m + 3, odd) << m;
    f4 |= side(5 * m + 4, odd) << m;
  }
  f0 |= side(80, 0u) << 16;  // phase 0 alone reaches module 16
  const std::array<std::uint32_t, 5> flipped = {f0, f1, f2, f3, f4};
  int best = GRID_LINE_SAMPLES;
  for (int p = 0; p < 5; ++p) {
    const std::uint32_t all = p == 0 ? 0x1FFFFu : 0xFFFFu;
    const std::uint32_t bits = flipped[p];
    const std::uint32_t breaks = ((bits & 1u) != 0 ? ~bits : bits) & all & ~1u;
    best = std::min(best, std::popcount(breaks));
  }
  return best;
}

int pickGridLine(std::span<const int> score) {
  const int count = static_cast<int>(score.size());
  if (count <= 1) return 0;

  int lo = -1;
  int hi = -1;
  for (int s : score) {
    if (s < 0) continue;
    if (lo < 0 || s < lo) lo = s;
    if (s > hi) hi = s;
  }
  if (lo < 0) return 0;

  // Keep only scores near the best; turn them into "larger is better", -1 for the rest.
  const int limit = lo + (hi - lo) / 5;
  auto value = [&](int i) {
    const int s = score[static_cast<std::size_t>(i)];
    return (s >= 0 && s <= limit) ? hi - s : -1;
  };

  // A run a module wide (five candidates) is what a real line looks like; narrower or
  // wider runs lose weight. Single precision, as the scores have always been compared.
  int result = 0;
  float bestScore = 0.0f;
  int i = 0;
  while (i < count) {
    if (value(i) < 0) {
      ++i;
      continue;
    }
    const int start = i;
    int sum = 0;
    for (; i < count && value(i) >= 0; ++i) sum += value(i);
    const int len = i - start;
    const float mean = static_cast<float>(sum) / static_cast<float>(len);
    const float width = static_cast<float>(len) / 5.0f;
    const float weight = width <= 1.0f ? width : 1.0f / width;
    const float runScore = mean * weight;
    if (runScore > bestScore) {
      bestScore = runScore;
      result = start + len / 2;
    }
  }
  return result;
}

void extrapolateGridPoint(SymbolCandidate& candidate, int i, int j, int di, int dj) {
  const PerspectiveTransform local =
      fitPerspective(kCellGrid, {gridPoint(candidate, i, j), gridPoint(candidate, i + 1, j),
                                 gridPoint(candidate, i + 1, j + 1), gridPoint(candidate, i, j + 1)});
  gridPoint(candidate, i + di, j + dj) = local.map(16.0 * di, 16.0 * dj);
}

bool Detector::buildCompactGridPoints(SymbolCandidate& candidate) {
  for (int i = 9; i <= 11; ++i) {
    for (int j = 9; j <= 11; ++j) {
      gridPoint(candidate, i, j) =
          (i == 10 && j == 10) ? candidate.center : transform.map(cellGrid(i), cellGrid(j));
    }
  }
  return true;
}

bool Detector::buildFullGridPoints(SymbolCandidate& candidate) {
  ++fitCount;
  const int k = ((candidate.symbolSize - 1) / 2) / 16;
  const bool refine = k >= 1;

  gridPoint(candidate, 10, 10) = candidate.center;

  // Seed crossings through the mode-message transform, then refit the transform to them.
  if (fitCount % 2 == 0) {
    gridPoint(candidate, 10, 9) = locateGridPoint(0, -16, refine);
    gridPoint(candidate, 10, 11) = locateGridPoint(0, 16, refine);
    gridPoint(candidate, 9, 10) = locateGridPoint(-16, 0, refine);
    gridPoint(candidate, 11, 10) = locateGridPoint(16, 0, refine);
    fitTransform({Point2D{0.0, -16.0}, Point2D{16.0, 0.0}, Point2D{0.0, 16.0}, Point2D{-16.0, 0.0}},
                 {gridPoint(candidate, 10, 9), gridPoint(candidate, 11, 10), gridPoint(candidate, 10, 11),
                  gridPoint(candidate, 9, 10)});
  } else {
    gridPoint(candidate, 9, 9) = locateGridPoint(-16, -16, refine);
    gridPoint(candidate, 11, 9) = locateGridPoint(16, -16, refine);
    gridPoint(candidate, 11, 11) = locateGridPoint(16, 16, refine);
    gridPoint(candidate, 9, 11) = locateGridPoint(-16, 16, refine);
    fitTransform({Point2D{-16.0, -16.0}, Point2D{16.0, -16.0}, Point2D{16.0, 16.0}, Point2D{-16.0, 16.0}},
                 {gridPoint(candidate, 9, 9), gridPoint(candidate, 11, 9), gridPoint(candidate, 11, 11),
                  gridPoint(candidate, 9, 11)});
  }

  if (k == 0) {
    for (int i = 9; i <= 11; ++i) {
      for (int j = 9; j <= 11; ++j) {
        if (i == 10 && j == 10) continue;
        gridPoint(candidate, i, j) = transform.map(cellGrid(i), cellGrid(j));
      }
    }
    return true;
  }

  // Every crossing inside the symbol on the lines actually seen (the seeds again too).
  for (int j = -k; j <= k; ++j) {
    for (int i = -k; i <= k; ++i) {
      if (i == 0 && j == 0) continue;
      const double x = refineGridLineX(16 * i, 16 * j);
      const double y = refineGridLineY(16 * i, 16 * j);
      gridPoint(candidate, i + 10, j + 10) = transform.map(x, y);
    }
  }

  // One ring of crossings outside, extrapolated from the neighbouring cells.
  for (int c = 10 - k; c <= 9 + k; ++c) {
    extrapolateGridPoint(candidate, 10 - k, c, -1, 0);
    extrapolateGridPoint(candidate, 9 + k, c, 2, 0);
    extrapolateGridPoint(candidate, c, 10 - k, 0, -1);
    extrapolateGridPoint(candidate, c, 9 + k, 0, 2);
  }
  extrapolateGridPoint(candidate, 10 - k, 9 + k, -1, 1);
  extrapolateGridPoint(candidate, 10 - k, 9 + k, -1, 2);
  extrapolateGridPoint(candidate, 9 + k, 9 + k, 2, 1);
  extrapolateGridPoint(candidate, 9 + k, 9 + k, 2, 2);
  extrapolateGridPoint(candidate, 10 - k, 10 - k, -1, -1);
  extrapolateGridPoint(candidate, 10 + k, 10 - k, 0, -1);
  extrapolateGridPoint(candidate, 10 + k, 10 - k, 1, -1);
  extrapolateGridPoint(candidate, 9 + k, 9 + k, 1, 2);
  return true;
}

Point2D Detector::locateGridPoint(int x, int y, bool refine) const {
  const double gx = refine ? refineGridLineX(x, y) : x;
  const double gy = refine ? refineGridLineY(x, y) : y;
  return transform.map(gx, gy);
}

double Detector::refineGridLineX(int x, int y) const {
  return x + (searchGridLine(TransformSampler(transform, image.get()), x, y, true) - 9) / 5.0;
}

double Detector::refineGridLineY(int x, int y) const {
  return y + (searchGridLine(TransformSampler(transform, image.get()), x, y, false) - 9) / 5.0;
}

}  // namespace Aztec

#include "geometry/data_grid_sampling.h"

#include <algorithm>
#include <array>

#include "common/checked_access.h"
#include "detect/detector.h"
#include "geometry/transform_sampler.h"

namespace Aztec {

namespace {

// Half-open window [from, to) of one axis of length n around index v: two before and one
// after inside, seven wide along the edges (the high edge stops before the last index).
void neighbourWindow(int v, int n, int& from, int& to) {
  if (v - 2 < 0) {
    from = 0;
    to = 7;
  } else if (v + 2 >= n) {
    from = n - 8;
    to = n - 1;
  } else {
    from = v - 2;
    to = v + 2;
  }
}

// isDarkModule for every module of `grid` at once: grid[x][y] is value-grid cell (x + off, y + off).
// The window minimum and maximum are taken per column over the rows first and then across the
// columns, which gives the same extremes as the cell-by-cell scan with far fewer reads. Requires
// a square value grid of side n >= 8 (so every window lies inside it) with all cells
// x + off, y + off inside.
void classifyModules(const ModuleValueGrid& values, int off, SampledGrid& grid) {
  const int n = static_cast<int>(values.size());
  const int size = static_cast<int>(grid.size());
  std::vector<std::uint32_t> colLo(static_cast<std::size_t>(n)), colHi(static_cast<std::size_t>(n));
  std::vector<int> x0(static_cast<std::size_t>(size)), x1(static_cast<std::size_t>(size));
  for (int x = 0; x < size; ++x) neighbourWindow(x + off, n, x0[x], x1[x]);
  for (int y = 0; y < size; ++y) {
    const int cy = y + off;
    int y0, y1;
    neighbourWindow(cy, n, y0, y1);
    for (int cx = 0; cx < n; ++cx) {
      const std::uint32_t* col = values[static_cast<std::size_t>(cx)].data();
      std::uint32_t lo = col[y0];
      std::uint32_t hi = lo;
      for (int r = y0 + 1; r < y1; ++r) {
        lo = std::min(lo, col[r]);
        hi = std::max(hi, col[r]);
      }
      colLo[cx] = lo;
      colHi[cx] = hi;
    }
    for (int x = 0; x < size; ++x) {
      const std::uint32_t v = values[static_cast<std::size_t>(x + off)][static_cast<std::size_t>(cy)];
      std::uint32_t lo = v;
      std::uint32_t hi = v;
      for (int c = x0[x]; c < x1[x]; ++c) {
        lo = std::min(lo, colLo[c]);
        hi = std::max(hi, colHi[c]);
      }
      grid[static_cast<std::size_t>(x)][static_cast<std::size_t>(y)] = v < ((lo + hi) >> 1);
    }
  }
}

}  // namespace

bool isDarkModule(const ModuleValueGrid& grid, int x, int y) {
  const auto& column = at(grid, x);
  const std::uint32_t v = at(column, y);
  int x0, x1, y0, y1;
  neighbourWindow(x, static_cast<int>(grid.size()), x0, x1);
  neighbourWindow(y, static_cast<int>(column.size()), y0, y1);
  std::uint32_t lo = v;
  std::uint32_t hi = v;
  for (int cx = x0; cx < x1; ++cx) {
    const auto& col = at(grid, cx);
    for (int cy = y0; cy < y1; ++cy) {
      const std::uint32_t w = at(col, cy);
      lo = std::min(lo, w);
      hi = std::max(hi, w);
    }
  }
  return v < ((lo + hi) >> 1);
}

void Detector::sampleBlock(SymbolCandidate& candidate, int i, int j, ModuleValueGrid& values, int ox,
                           int oy) {
  const auto& gp = candidate.gridPoints;
  fitTransform({Point2D{0.0, 0.0}, Point2D{16.0, 0.0}, Point2D{16.0, 16.0}, Point2D{0.0, 16.0}},
               {at(at(gp, i), j), at(at(gp, i + 1), j), at(at(gp, i + 1), j + 1), at(at(gp, i), j + 1)});
  const double d = candidate.symbolType == kCompact ? 0.1 : 0.25;
  const TransformSampler sampler(transform, image.get());
  // Per row: the readings on the row itself, (c, r), (c - d, r), (c + d, r) for all 16 c, then
  // (c, r - d) and (c, r + d).
  std::array<double, 48> onRow{};
  std::array<double, 16> columns{};
  for (int c = 0; c < 16; ++c) {
    onRow[c] = c;
    onRow[16 + c] = c - d;
    onRow[32 + c] = c + d;
    columns[c] = c;
  }
  std::array<double, 48> rowX{}, rowY{};
  std::array<double, 16> aboveX{}, aboveY{}, belowX{}, belowY{};
  for (int r = 0; r < 16; ++r) {
    sampler.mapRow(onRow, r, rowX, rowY);
    sampler.mapRow(columns, r - d, aboveX, aboveY);
    sampler.mapRow(columns, r + d, belowX, belowY);
    for (int c = 0; c < 16; ++c) {
      // Unsigned on purpose: five OUTSIDE_IMAGE readings wrap, and the value that results is
      // what the dark/light classing has always seen.
      std::uint32_t sum = sampler.pixel(rowX[c], rowY[c]);
      sum += sampler.pixel(rowX[16 + c], rowY[16 + c]);
      sum += sampler.pixel(rowX[32 + c], rowY[32 + c]);
      sum += sampler.pixel(aboveX[c], aboveY[c]);
      sum += sampler.pixel(belowX[c], belowY[c]);
      at(at(values, ox + c), oy + r) = sum / 5u;
    }
  }
}

SampledGrid Detector::sampleDataGrid(SymbolCandidate& candidate) {
  const bool compact = candidate.symbolType == kCompact;
  if (compact) {
    buildCompactGridPoints(candidate);
  } else {
    buildFullGridPoints(candidate);
  }

  const int cells = compact ? 1 : ((candidate.symbolSize - 1) / 2) / 16 + 1;  // B
  const int span = std::max(0, 32 * cells);
  ModuleValueGrid values(static_cast<std::size_t>(span),
                         std::vector<std::uint32_t>(static_cast<std::size_t>(span), 0u));
  for (int by = -cells; by < cells; ++by) {
    for (int bx = -cells; bx < cells; ++bx) {
      sampleBlock(candidate, bx + 10, by + 10, values, (bx + cells) * 16, (by + cells) * 16);
    }
  }

  const int size = std::max(0, candidate.symbolSize);
  const int off = (32 * cells - candidate.symbolSize) / 2 + 1;
  SampledGrid grid(static_cast<std::size_t>(size), std::vector<bool>(static_cast<std::size_t>(size), false));
  if (span >= 8 && off >= 0 && size - 1 + off < span) {
    classifyModules(values, off, grid);
  } else {
    // Module by module, so that an index outside the value grid fails as it always has.
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        at(at(grid, x), y) = isDarkModule(values, x + off, y + off);
      }
    }
  }
  return grid;
}

}  // namespace Aztec

#pragma once
// Test helpers: module matrices ([row][column], true = dark) turned, mirrored, and read as the
// mode-message ring or as a SampledGrid.

#include <vector>

#include "geometry/data_grid_sampling.h"
#include "symbol/bit_ring.h"

namespace AztecTest {

using Matrix = std::vector<std::vector<bool>>;

// One clockwise quarter turn of the picture.
inline Matrix turnClockwise(const Matrix& m) {
  const int n = static_cast<int>(m.size());
  Matrix out(n, std::vector<bool>(n));
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c) out[c][n - 1 - r] = m[r][c];
  return out;
}

// Mirror image: columns reversed.
inline Matrix mirrorColumns(const Matrix& m) {
  Matrix out = m;
  for (auto& row : out) row = std::vector<bool>(row.rbegin(), row.rend());
  return out;
}

// The symbol as seen with `rotation` clockwise turns, then mirrored when asked: the picture
// that the mode message reports as (rotation, mirrored).
inline Matrix seenAs(const Matrix& m, int rotation, bool mirrored) {
  Matrix out = m;
  for (int i = 0; i < rotation; ++i) out = turnClockwise(out);
  return mirrored ? mirrorColumns(out) : out;
}

// Matrix position (row, column) of ring index i: the square at `radius` around the centre,
// index 0 its top-left corner, running clockwise.
inline std::pair<int, int> ringPosition(int size, int radius, int i) {
  const int c = size / 2;
  const int side = 2 * radius;
  const int k = i / side;
  const int t = i % side;
  switch (k) {
    case 0: return {c - radius, c - radius + t};
    case 1: return {c - radius + t, c + radius};
    case 2: return {c + radius, c + radius - t};
    default: return {c + radius - t, c - radius};
  }
}

// The 40 (compact) or 56 (full-range) mode-message ring samples of a matrix.
inline Aztec::BitRing ringOf(const Matrix& m, bool compact) {
  const int radius = compact ? 5 : 7;
  Aztec::BitRing ring(8 * radius);
  for (int i = 0; i < 8 * radius; ++i) {
    const auto [r, c] = ringPosition(static_cast<int>(m.size()), radius, i);
    ring.set(i, m[r][c]);
  }
  return ring;
}

// grid[x][y] = module in column x, row y.
inline Aztec::SampledGrid toSampledGrid(const Matrix& m) {
  const int n = static_cast<int>(m.size());
  Aztec::SampledGrid g(n, std::vector<bool>(n));
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) g[x][y] = m[y][x];
  return g;
}

}  // namespace AztecTest

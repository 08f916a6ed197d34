#pragma once
// Reference-grid line search and crossing extrapolation used by the full-range grid build.

#include <array>
#include <span>

#include "detect/symbol_candidate.h"

namespace Aztec {

// Samples along one candidate line (8 modules either side, 0.2 module apart) and candidate
// lines per search (-1.8 to +1.8 modules, 0.2 module apart).
inline constexpr int GRID_LINE_SAMPLES = 81;
inline constexpr int GRID_LINE_CANDIDATES = 19;

// How badly a line misses the dark/light alternation of a reference-grid line: the fewest
// breaks over the five sampling phases (0 = perfect), or -1 when the contrast is too low.
int scoreGridLine(const std::array<int, GRID_LINE_SAMPLES>& samples);

// Index of the best candidate line: the middle of the best-scoring run of acceptable
// scores; 0 when nothing is acceptable.
int pickGridLine(std::span<const int> score);

// Sets gridPoints[i + di][j + dj] from the perspective fitted to the cell whose corners are
// gridPoints [i][j], [i+1][j], [i+1][j+1], [i][j+1]. Out-of-table indices throw
// std::out_of_range.
void extrapolateGridPoint(SymbolCandidate& candidate, int i, int j, int di, int dj);

}  // namespace Aztec

#pragma once
// The record of a frame's symbol candidate: where its bull's-eye and finder corners are,
// what kind of symbol it is and the parameters read from its mode message.

#include <aztec/types.h>

#include <array>

namespace Aztec {

enum SymbolType : int { kNotTried = 0, kCompact = 1, kFullRange = 2 };

struct SymbolCandidate {
  // Image positions of the reference-grid crossings, [i][j] with i along grid x and j along
  // grid y; [10][10] is the centre, entry [i][j] sits at grid (16 (i - 10), 16 (j - 10)).
  std::array<std::array<Point2D, 20>, 20> gridPoints{};
  Point2D center;
  // Outermost light ring of the finder: [0] top-left, [1] top-right, [2] bottom-right,
  // [3] bottom-left as seen in the image; (-1, -1) while unknown.
  std::array<Point2D, 4> corners{};
  int symbolType = 0;  // 0 not tried, 1 compact, 2 full-range
  int rotation = 0;    // clockwise quarter turns, 0 to 3
  bool mirrored = false;
  int dataCodewords = 0;
  int codewordSize = 0;
  int totalCodewords = 0;
  int layers = 0;
  int symbolSize = 0;
  int leadingBits = 0;
};

}  // namespace Aztec

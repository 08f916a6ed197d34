#pragma once
// The walk around a square ring of modules that the mode message and a rune's ring follow:
// clockwise from the top-left corner module, `2 * radius` modules a side (top row left to right,
// right column top to bottom, bottom row right to left, left column bottom to top).

namespace Aztec {

struct RingCell {
  int x = 0;  // offsets from the ring's centre, y pointing down
  int y = 0;
};

// The cell of ring index `i` (0 .. 8 * radius - 1).
inline RingCell ringCell(int i, int radius) {
  const int side = i / (2 * radius);
  const int k = i % (2 * radius);
  switch (side) {
    case 0:
      return {-radius + k, -radius};
    case 1:
      return {radius, -radius + k};
    case 2:
      return {radius - k, radius};
    default:
      return {-radius, radius - k};
  }
}

}  // namespace Aztec

#pragma once

namespace Aztec {

// An image position in pixels (x the column, y the row counted downwards), or a grid
// position in modules.
struct Point2D {
  double x = 0.0;
  double y = 0.0;
  friend bool operator==(const Point2D&, const Point2D&) = default;
};

}  // namespace Aztec

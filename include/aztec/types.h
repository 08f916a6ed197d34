#pragma once
// What both readers take and give: the luminance view of a frame, the error for a view that
// cannot be read safely, and image positions.

#include <cstdint>
#include <stdexcept>

namespace Aztec {

// An image position in pixels (x the column, y the row counted downwards), or a grid
// position in modules.
struct Point2D {
  double x = 0.0;
  double y = 0.0;
  friend bool operator==(const Point2D&, const Point2D&) = default;
};

// A luminance plane: `height` rows of `width` bytes, each row starting `stride` bytes after the
// previous one. The readers only read inside it.
struct LumaView {
  const std::uint8_t* data = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
};

// Raised for a view that cannot be read safely: null data, a size of zero or below, a stride
// smaller than the width, or a size whose byte count overflows.
class InvalidViewError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// Throws InvalidViewError for a view that cannot be read safely.
void validateView(const LumaView& view);

}  // namespace Aztec

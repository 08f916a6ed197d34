#include <aztec/types.h>

#include <climits>
#include <string>

namespace Aztec {

void validateView(const LumaView& view) {
  if (view.data == nullptr) throw InvalidViewError("luma view: data is null");
  if (view.width <= 0)
    throw InvalidViewError("luma view: width " + std::to_string(view.width) + " is not positive");
  if (view.height <= 0)
    throw InvalidViewError("luma view: height " + std::to_string(view.height) + " is not positive");
  if (view.stride < view.width)
    throw InvalidViewError("luma view: stride " + std::to_string(view.stride) + " is smaller than width " +
                           std::to_string(view.width));
  // Positions are ints throughout: the byte count of the plane must be one too.
  if (static_cast<long long>(view.height) * view.stride > INT_MAX)
    throw InvalidViewError("luma view: height x stride overflows the byte count");
}

}  // namespace Aztec

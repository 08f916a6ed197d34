#pragma once
// Range-tested element access. Every vector read or write in the decoder goes through
// these so that a bad index raises std::out_of_range with the fixed text instead of
// reading or writing outside the storage.

#include <concepts>
#include <cstddef>
#include <stdexcept>
#include <type_traits>

namespace Aztec {

inline constexpr const char* kSubscriptMessage = "invalid vector<T> subscript";
inline constexpr const char* kBoolSubscriptMessage = "invalid vector<bool> subscript";

[[noreturn]] void throwSubscript();
[[noreturn]] void throwBoolSubscript();

// Element i of a random-access container (std::vector, std::array, std::deque).
// A negative index fails like one past the end.
template <class Container, std::integral Index>
decltype(auto) at(Container& v, Index i) {
  bool bad;
  if constexpr (std::is_signed_v<Index>) {
    bad = i < 0 || static_cast<std::make_unsigned_t<Index>>(i) >= v.size();
  } else {
    bad = i >= v.size();
  }
  if (bad) {
    if constexpr (std::is_same_v<typename std::remove_const_t<Container>::value_type, bool>) {
      throwBoolSubscript();
    } else {
      throwSubscript();
    }
  }
  return v[static_cast<std::size_t>(i)];
}

}  // namespace Aztec

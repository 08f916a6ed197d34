// Arbitrary bit strings through the text decoder: only bytes or the documented overflow.
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "symbol/high_level_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Aztec::BitRing bits(size * 8);
  for (std::size_t i = 0; i < size * 8; ++i) bits.set(static_cast<long long>(i), (data[i / 8] >> (7 - i % 8)) & 1);
  try {
    std::vector<std::uint8_t> out = Aztec::decodeHighLevel(&bits);
    // Every byte of output costs at least 4 input bits... except the two-byte codes; the
    // buffer bound is what holds.
    if (out.size() > 2 * (bits.size() / 6)) __builtin_trap();
  } catch (const std::out_of_range&) {
    // The working buffer overflowed: the one documented failure.
  }
  return 0;
}

// Arbitrary bit strings through the text decoder: bytes within the working buffer, or the
// documented overflow (std::out_of_range); no other exception.
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "symbol/high_level_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Aztec::BitRing bits(size * 8);
  for (std::size_t i = 0; i < size * 8; ++i)
    bits.set(static_cast<long long>(i), (data[i / 8] >> (7 - i % 8)) & 1);
  try {
    std::vector<std::uint8_t> out = Aztec::decodeHighLevel(&bits);
    // Bytes are written into a buffer of 2 x (n / 6); more is the documented overflow below.
    if (out.size() > 2 * (bits.size() / 6)) __builtin_trap();
    // Fewer bits than the shortest code give nothing.
    if (bits.size() < 5 && !out.empty()) __builtin_trap();
  } catch (const std::out_of_range&) {
    // The working buffer overflowed: the one documented failure.
  }
  return 0;
}

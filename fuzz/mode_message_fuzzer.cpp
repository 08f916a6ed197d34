// Arbitrary rings through the mode-message reader: true with sane fields, or false.
#include <cstddef>
#include <cstdint>

#include "symbol/mode_message.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  Aztec::SymbolCandidate candidate;
  candidate.symbolType = data[0] % 4;  // 1 and 2 are real, 0 and 3 must be refused
  const std::size_t ringBits = candidate.symbolType == 1 ? 40 : 56;
  Aztec::BitRing ring(ringBits);
  for (std::size_t i = 0; i < ringBits; ++i) {
    const std::size_t byte = 1 + i / 8;
    ring.set(static_cast<long long>(i), byte < size && ((data[byte] >> (i % 8)) & 1));
  }
  if (Aztec::decodeModeMessage(candidate, ring)) {
    const int maxLayers = candidate.symbolType == 1 ? 4 : 32;
    if (candidate.layers < 1 || candidate.layers > maxLayers) __builtin_trap();
    if (candidate.rotation < 0 || candidate.rotation > 3) __builtin_trap();
    if (candidate.dataCodewords < 1 || candidate.codewordSize < 6 || candidate.symbolSize < 15) __builtin_trap();
  }
  return 0;
}

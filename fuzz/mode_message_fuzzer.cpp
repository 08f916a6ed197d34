// Arbitrary rings through the mode-message reader: false, or true with fields in range and the
// layer parameters of the table; never an exception, never true for a symbol type other than 1 or 2.
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
  if (!Aztec::decodeModeMessage(candidate, ring)) return 0;  // never throws
  if (candidate.symbolType != 1 && candidate.symbolType != 2) __builtin_trap();
  const bool compact = candidate.symbolType == 1;
  if (candidate.layers < 1 || candidate.layers > (compact ? 4 : 32)) __builtin_trap();
  if (candidate.dataCodewords < 1 || candidate.dataCodewords > (compact ? 64 : 2048)) __builtin_trap();
  if (candidate.rotation < 0 || candidate.rotation > 3) __builtin_trap();
  // The layer parameters are the table's for the layer count read.
  const Aztec::ModeParameters& p =
      compact ? Aztec::compactParameters(candidate.layers) : Aztec::fullRangeParameters(candidate.layers);
  if (candidate.codewordSize != p.codewordSize || candidate.totalCodewords != p.totalCodewords ||
      candidate.symbolSize != p.symbolSize || candidate.leadingBits != p.leadingBits)
    __builtin_trap();
  return 0;
}

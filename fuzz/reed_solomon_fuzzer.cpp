// Arbitrary codewords and check counts over each field: a count or a listed exception.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "reedsolomon/exceptions.h"
#include "reedsolomon/generic_gf.h"
#include "reedsolomon/reed_solomon_decoder.h"

using namespace Aztec::ReedSolomon;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const GenericGF* fields[] = {&GF16, &GF64, &GF256, &GF1024, &GF4096};
  const GenericGF* field = fields[data[0] % 5];
  const int checkCount = static_cast<int>(data[1]) - 8;  // also negative and zero counts
  std::vector<int> received;
  for (std::size_t i = 2; i + 1 < size; i += 2) {
    received.push_back(((data[i] << 8) | data[i + 1]) % field->size());
  }
  std::vector<int> original = received;
  try {
    ReedSolomonDecoder decoder(field);
    int corrected = decoder.decode(received, checkCount);
    if (received.size() != original.size()) __builtin_trap();
    if (checkCount < 1 && (corrected != static_cast<int>(original.size()) || received != original)) __builtin_trap();
    for (int v : received)
      if (v < 0 || v >= field->size()) __builtin_trap();
  } catch (const ReedSolomonException&) {
  } catch (const IllegalArgumentException&) {
  } catch (const ArithmeticException&) {
  } catch (const std::out_of_range&) {
  }
  return 0;
}

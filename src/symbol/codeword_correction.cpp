#include "symbol/codeword_correction.h"

#include <vector>

#include "common/checked_access.h"
#include "reedsolomon/exceptions.h"
#include "reedsolomon/generic_gf.h"
#include "reedsolomon/reed_solomon_decoder.h"
#include "symbol/mode_message.h"

namespace Aztec {

std::atomic<int> lastErrorCount{0};

namespace {

const ReedSolomon::GenericGF* fieldForCodewordSize(int codewordSize) {
  switch (codewordSize) {
    case 6: return &ReedSolomon::GF64;
    case 8: return &ReedSolomon::GF256;
    case 10: return &ReedSolomon::GF1024;
    default: return &ReedSolomon::GF4096;
  }
}

}  // namespace

std::optional<BitRing> correctDataBits(const BitRing& raw, const SymbolCandidate& candidate) {
  const int dataCodewords = candidate.dataCodewords;
  const int codewordSize = candidate.codewordSize;
  if (dataCodewords < 1 || codewordSize < 1) return std::nullopt;

  const ReedSolomon::GenericGF* field = fieldForCodewordSize(codewordSize);
  std::vector<int> words = readCodewords(raw, candidate.leadingBits, candidate.totalCodewords, codewordSize);
  if (static_cast<long long>(words.size()) < dataCodewords) return std::nullopt;

  const int checkCount = candidate.totalCodewords - dataCodewords;
  int corrected = 0;
  try {
    ReedSolomon::ReedSolomonDecoder decoder(field);
    corrected = decoder.decode(words, checkCount);
  } catch (const ReedSolomon::ReedSolomonException& e) {
    throw ReedSolomon::ReedSolomonException(e.what());
  }
  lastErrorCount.store(corrected, std::memory_order_relaxed);

  BitRing out(static_cast<std::size_t>(codewordSize) * static_cast<std::size_t>(dataCodewords));
  std::vector<bool>& bits = out.bits();
  long long stuffed = 0;
  for (int i = 0; i < dataCodewords; ++i) {
    const int word = at(words, i);
    const long long base = static_cast<long long>(i) * codewordSize - stuffed;
    // A run of codewordSize - 1 equal bits makes the last bit a stuffed bit, or, when it
    // continues the run, an illegal all-zeros / all-ones codeword.
    bool previous = false;
    int run = 0;
    for (int j = 0; j < codewordSize; ++j) {
      const int shift = codewordSize - 1 - j;
      const bool bit = shift < 31 && ((word >> shift) & 1) != 0;
      if (j == codewordSize - 1 && run == codewordSize - 1) {
        if (bit == previous) throw ReedSolomon::IllegalSymbolException("Illegal series of bits");
        ++stuffed;
        break;
      }
      at(bits, base + j) = bit;
      run = bit == previous ? run + 1 : 1;
      previous = bit;
    }
  }
  return out;
}

}  // namespace Aztec

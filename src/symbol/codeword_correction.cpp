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
    case 6:
      return &ReedSolomon::GF64;
    case 8:
      return &ReedSolomon::GF256;
    case 10:
      return &ReedSolomon::GF1024;
    default:
      return &ReedSolomon::GF4096;
  }
}

}  // namespace

std::optional<CorrectedCodewords> correctCodewords(const BitRing& raw, const SymbolCandidate& candidate) {
  const int dataCodewords = candidate.dataCodewords;
  const int codewordSize = candidate.codewordSize;
  if (dataCodewords < 1 || codewordSize < 1) return std::nullopt;

  const ReedSolomon::GenericGF* field = fieldForCodewordSize(codewordSize);
  CorrectedCodewords result;
  result.words = readCodewords(raw, candidate.leadingBits, candidate.totalCodewords, codewordSize);
  if (static_cast<long long>(result.words.size()) < dataCodewords) return std::nullopt;

  const int checkCount = candidate.totalCodewords - dataCodewords;
  try {
    ReedSolomon::ReedSolomonDecoder decoder(field);
    result.corrected = decoder.decode(result.words, checkCount);
  } catch (const ReedSolomon::ReedSolomonException& e) {
    throw ReedSolomon::ReedSolomonException(e.what());
  }
  return result;
}

BitRing unstuffCodewords(const std::vector<int>& words, int dataCodewords, int codewordSize,
                         bool keepFullLength) {
  const std::size_t fullLength =
      dataCodewords > 0 && codewordSize > 0
          ? static_cast<std::size_t>(codewordSize) * static_cast<std::size_t>(dataCodewords)
          : 0;
  BitRing out(fullLength);
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
  if (!keepFullLength) bits.resize(fullLength - static_cast<std::size_t>(stuffed));
  return out;
}

std::optional<BitRing> correctDataBits(const BitRing& raw, const SymbolCandidate& candidate) {
  std::optional<CorrectedCodewords> corrected = correctCodewords(raw, candidate);
  if (!corrected) return std::nullopt;
  lastErrorCount.store(corrected->corrected, std::memory_order_relaxed);
  return unstuffCodewords(corrected->words, candidate.dataCodewords, candidate.codewordSize, true);
}

}  // namespace Aztec

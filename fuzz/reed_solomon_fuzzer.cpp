// The Reed-Solomon decoder over each Aztec field, two ways chosen by the first byte:
//  - arbitrary words and check counts (also zero and negative): a count or a listed exception,
//    never a value outside the field, never more changed positions than the count;
//  - real codewords (made by the tests' independent encoder) with at most checkCount / 2
//    corrupted words at chosen positions: corrected exactly, with the right count.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "reedsolomon/exceptions.h"
#include "reedsolomon/generic_gf.h"
#include "reedsolomon/reed_solomon_decoder.h"
#include "synth/rs_encoder.h"

using namespace Aztec::ReedSolomon;

namespace {

const GenericGF* const kFields[] = {&GF16, &GF64, &GF256, &GF1024, &GF4096};
const AztecTest::RsField kEncoderFields[] = {AztecTest::kRsGF16, AztecTest::kRsGF64, AztecTest::kRsGF256,
                                             AztecTest::kRsGF1024, AztecTest::kRsGF4096};

class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  unsigned next16() {
    unsigned v = 0;
    for (int k = 0; k < 2; ++k) v = (v << 8) | (pos_ < size_ ? data_[pos_++] : 0u);
    return v;
  }
  unsigned next8() { return pos_ < size_ ? data_[pos_++] : 0u; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

void arbitraryWord(const GenericGF& field, const std::uint8_t* data, std::size_t size) {
  const int checkCount = static_cast<int>(data[1]) - 8;  // also negative and zero counts
  std::vector<int> received;
  for (std::size_t i = 2; i + 1 < size; i += 2)
    received.push_back(((data[i] << 8) | data[i + 1]) % field.size());
  const std::vector<int> original = received;
  try {
    const int corrected = ReedSolomonDecoder(&field).decode(received, checkCount);
    if (received.size() != original.size()) __builtin_trap();
    if (checkCount < 1 && (corrected != static_cast<int>(original.size()) || received != original))
      __builtin_trap();
    if (checkCount >= 1) {
      std::size_t changed = 0;
      for (std::size_t i = 0; i < received.size(); ++i) changed += received[i] != original[i];
      if (changed > static_cast<std::size_t>(corrected)) __builtin_trap();
      if (corrected == 0 && changed != 0) __builtin_trap();
    }
    for (int v : received)
      if (v < 0 || v >= field.size()) __builtin_trap();
  } catch (const ReedSolomonException&) {
  } catch (const IllegalArgumentException&) {
  } catch (const ArithmeticException&) {
  } catch (const std::out_of_range&) {
  }
}

void correctableWord(int fieldIndex, const std::uint8_t* data, std::size_t size) {
  const GenericGF& field = *kFields[fieldIndex];
  const AztecTest::RsEncoder encoder(kEncoderFields[fieldIndex]);
  Reader in(data + 1, size - 1);
  // A block no longer than the field allows (size - 1 words), kept short for speed.
  const int maxLength = std::min(field.size() - 1, 200);
  const int checkCount = 1 + static_cast<int>(in.next8()) % (maxLength - 1);
  const int dataCount = 1 + static_cast<int>(in.next8()) % (maxLength - checkCount);
  std::vector<int> message(static_cast<std::size_t>(dataCount));
  for (int& v : message) v = static_cast<int>(in.next16()) % field.size();
  const std::vector<int> codeword = encoder.encode(message, checkCount);
  const int length = static_cast<int>(codeword.size());

  std::vector<int> received = codeword;
  const int wanted = static_cast<int>(in.next8()) % (checkCount / 2 + 1);
  int errors = 0;
  for (int k = 0; k < wanted; ++k) {
    const int position = static_cast<int>(in.next16()) % length;
    if (received[position] != codeword[position]) continue;  // keep positions distinct
    received[position] ^= 1 + static_cast<int>(in.next16()) % (field.size() - 1);
    ++errors;
  }
  const int corrected = ReedSolomonDecoder(&field).decode(received, checkCount);  // must not throw
  if (corrected != errors || received != codeword) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int fieldIndex = (data[0] & 0x7F) % 5;
  if (data[0] & 0x80) {
    correctableWord(fieldIndex, data, size);
  } else {
    arbitraryWord(*kFields[fieldIndex], data, size);
  }
  return 0;
}

#include "reader/text_stream.h"

#include <cstddef>

#include "symbol/mode_walker.h"

namespace Aztec::detail {
namespace {

// Only the bits the symbol holds: an action whose argument does not fit ends the stream.
class EndingBits {
 public:
  explicit EndingBits(const std::vector<bool>& bits) : bits_(bits) {}
  bool has(int k) const { return pos_ + static_cast<std::size_t>(k) <= bits_.size(); }
  // Callers test has(k) first.
  int read(int k) {
    int value = 0;
    for (int i = 0; i < k; ++i) value = (value << 1) | (bits_[pos_++] ? 1 : 0);
    return value;
  }
  std::optional<int> argument(int k) { return has(k) ? std::optional<int>(read(k)) : std::nullopt; }

 private:
  const std::vector<bool>& bits_;
  std::size_t pos_ = 0;
};

class Tokens {
 public:
  void put(int byte) { stream.tokens.push_back({TextToken::Kind::Byte, byte}); }
  void latched(int codeIndex, int action) {
    if (codeIndex == 1 && action == ModeTables::ML) openedWithMixedLatch_ = true;
    if (codeIndex == 2 && openedWithMixedLatch_ && action == ModeTables::UL)
      stream.structuredAppendMarker = true;
  }
  // FLG(0) is FNC1, FLG(1..6) an ECI designator of that many digits, FLG(7) reserved.
  WalkStep flag(EndingBits& bits) {
    const auto n = bits.argument(3);
    if (!n) return WalkStep::End;
    if (*n == 7) return WalkStep::Malformed;
    if (*n == 0) {
      stream.tokens.push_back({TextToken::Kind::Fnc1, 0});
      return WalkStep::Go;
    }
    int eci = 0;
    for (int i = 0; i < *n; ++i) {
      const auto code = bits.argument(4);
      if (!code) return WalkStep::Malformed;
      const int digit = *code - 2;  // DIGIT codes 2..11 are '0'..'9'
      if (digit < 0 || digit > 9) return WalkStep::Malformed;
      eci = eci * 10 + digit;
    }
    stream.tokens.push_back({TextToken::Kind::Eci, eci});
    return WalkStep::Go;
  }

  TextStream stream;

 private:
  bool openedWithMixedLatch_ = false;
};

}  // namespace

std::optional<TextStream> decodeTextStream(const std::vector<bool>& bits) {
  EndingBits in(bits);
  Tokens out;
  if (!walkModes(in, out)) return std::nullopt;
  return std::move(out.stream);
}

}  // namespace Aztec::detail

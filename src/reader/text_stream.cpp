#include "reader/text_stream.h"

#include <cstddef>

#include "symbol/mode_tables.h"

namespace Aztec {
namespace {

using namespace ModeTables;

class Reader {
 public:
  explicit Reader(const std::vector<bool>& bits) : bits_(bits) {}
  bool has(int k) const { return pos_ + static_cast<std::size_t>(k) <= bits_.size(); }
  // Callers test has(k) first.
  int read(int k) {
    int value = 0;
    for (int i = 0; i < k; ++i) value = (value << 1) | (bits_[pos_++] ? 1 : 0);
    return value;
  }

 private:
  const std::vector<bool>& bits_;
  std::size_t pos_ = 0;
};

}  // namespace

std::optional<TextStream> decodeTextStream(const std::vector<bool>& bits) {
  TextStream out;
  Reader in(bits);
  Mode current = Mode::Upper;
  Mode latched = Mode::Upper;
  int width = 5;
  int latchedWidth = 5;
  int codes = 0;
  bool openedWithMixedLatch = false;
  const auto putByte = [&out](int b) { out.tokens.push_back({TextToken::Kind::Byte, b}); };

  while (in.has(width)) {
    const int value = entryOf(current, in.read(width));
    ++codes;
    // A shift lasts exactly one code.
    const int rememberedWidth = latchedWidth;
    current = latched;
    width = rememberedWidth;

    if (value >= 0) {
      putByte(value);
      continue;
    }
    switch (value) {
      case CRLF:
        putByte(13);
        putByte(10);
        break;
      case DOT_SP:
        putByte(46);
        putByte(32);
        break;
      case COM_SP:
        putByte(44);
        putByte(32);
        break;
      case COL_SP:
        putByte(58);
        putByte(32);
        break;
      case LL:
      case ML:
      case DL:
      case UL:
      case PL:
        if (codes == 1 && value == ML) openedWithMixedLatch = true;
        if (codes == 2 && openedWithMixedLatch && value == UL) out.structuredAppendMarker = true;
        current = latched = latchTarget(value);
        width = latchedWidth = widthOf(latched);
        break;
      case PS:
      case US:
        current = value == PS ? Mode::Punct : Mode::Upper;
        width = 5;
        break;
      case BS: {
        // Padding of ones can start a binary shift that has no room left: the stream ends.
        if (!in.has(5)) return out;
        int count = in.read(5);
        if (count == 0) {
          if (!in.has(11)) return out;
          count = in.read(11) + 31;
        }
        for (int i = 0; i < count && in.has(8); ++i) putByte(in.read(8));
        break;
      }
      case FLG: {
        if (!in.has(3)) return out;
        const int n = in.read(3);
        if (n == 7) return std::nullopt;  // reserved
        if (n == 0) {
          out.tokens.push_back({TextToken::Kind::Fnc1, 0});
          break;
        }
        int eci = 0;
        for (int i = 0; i < n; ++i) {
          if (!in.has(4)) return std::nullopt;
          const int digit = in.read(4) - 2;  // DIGIT codes 2..11 are '0'..'9'
          if (digit < 0 || digit > 9) return std::nullopt;
          eci = eci * 10 + digit;
        }
        out.tokens.push_back({TextToken::Kind::Eci, eci});
        break;
      }
      default:
        return std::nullopt;  // no other action exists in the tables
    }
  }
  return out;
}

}  // namespace Aztec

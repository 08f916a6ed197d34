#include "symbol/high_level_decoder.h"

#include <array>
#include <cstddef>

#include "common/checked_access.h"
#include "symbol/mode_tables.h"

namespace Aztec {
namespace {

using namespace ModeTables;

int lookup(Mode mode, int code) {
  switch (mode) {
    case Mode::Upper:
      return at(UPPER, code);
    case Mode::Lower:
      return at(LOWER, code);
    case Mode::Mixed:
      return at(MIXED, code);
    case Mode::Punct:
      return at(PUNCT, code);
    case Mode::Digit:
      return at(DIGIT, code);
  }
  return FLG;
}

class BitReader {
 public:
  explicit BitReader(const std::vector<bool>& bits) : bits_(bits), n_(static_cast<long long>(bits.size())) {}

  long long size() const { return n_; }
  long long pos = 0;

  // k bits at pos, most significant first, wrapping past the end of the stream.
  int read(int k) {
    int value = 0;
    for (int i = 0; i < k; ++i) {
      long long index = pos % n_;
      value = (value << 1) | (at(bits_, index) ? 1 : 0);
      ++pos;
    }
    return value;
  }

 private:
  const std::vector<bool>& bits_;
  long long n_;
};

class Output {
 public:
  explicit Output(std::size_t capacity) : buffer_(capacity, 0) {}
  // Range-tested: a message longer than the buffer ends the decoding with std::out_of_range.
  void put(int byte) {
    at(buffer_, count_) = static_cast<std::uint8_t>(byte);
    ++count_;
  }
  std::vector<std::uint8_t> take() {
    buffer_.resize(count_);
    return std::move(buffer_);
  }

 private:
  std::vector<std::uint8_t> buffer_;
  std::size_t count_ = 0;
};

}  // namespace

std::vector<std::uint8_t> decodeHighLevel(const BitRing* bits) {
  static const std::vector<bool> kEmpty;
  BitReader in(bits != nullptr ? bits->bits() : kEmpty);
  const long long n = in.size();
  Output out(static_cast<std::size_t>(2 * (n / 6)));

  Mode current = Mode::Upper;
  Mode latched = Mode::Upper;
  int width = 5;
  int latchedWidth = 5;

  while (in.pos <= n - width) {
    const int value = lookup(current, in.read(width));
    // A shift lasts exactly one code: fall back to the latched mode before acting.
    const int rememberedWidth = latchedWidth;
    current = latched;

    if (value >= 0) {
      out.put(value);
      width = rememberedWidth;
      continue;
    }
    switch (value) {
      case CRLF:
        out.put(13);
        out.put(10);
        width = rememberedWidth;
        break;
      case DOT_SP:
        out.put(46);
        out.put(32);
        width = rememberedWidth;
        break;
      case COM_SP:
        out.put(44);
        out.put(32);
        width = rememberedWidth;
        break;
      case COL_SP:
        out.put(58);
        out.put(32);
        width = rememberedWidth;
        break;
      case LL:
      case ML:
      case DL:
      case UL:
      case PL: {
        const Mode target = latchTarget(value);
        current = latched = target;
        width = latchedWidth = widthOf(target);
        break;
      }
      case PS:
      case US:
        current = value == PS ? Mode::Punct : Mode::Upper;
        width = 5;
        break;
      case BS: {
        // The count is read even past the end of the stream (wrapping); no byte follows then.
        int count = in.read(5);
        if (count == 0) count = in.read(11) + 31;
        for (int i = 0; i < count; ++i) {
          if (in.pos > n - 8) break;
          out.put(in.read(8));
        }
        width = rememberedWidth;
        break;
      }
      default:
        // FLG(n) and anything unknown: its argument bits are decoded as ordinary codes.
        width = rememberedWidth;
        break;
    }
  }
  return out.take();
}

}  // namespace Aztec

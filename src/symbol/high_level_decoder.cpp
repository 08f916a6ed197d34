#include "symbol/high_level_decoder.h"

#include <array>
#include <cstddef>

#include "common/checked_access.h"

namespace Aztec {
namespace {

// Actions of the mode tables; characters are the non-negative entries.
constexpr int PS = -112;     // shift to PUNCT for one code
constexpr int US = -117;     // shift to UPPER for one code
constexpr int LL = -76;      // latch to LOWER
constexpr int ML = -77;      // latch to MIXED
constexpr int DL = -68;      // latch to DIGIT
constexpr int UL = -85;      // latch to UPPER
constexpr int PL = -80;      // latch to PUNCT
constexpr int BS = -98;      // binary shift
constexpr int CRLF = -49;    // 13, 10
constexpr int DOT_SP = -50;  // ". "
constexpr int COM_SP = -51;  // ", "
constexpr int COL_SP = -52;  // ": "
constexpr int FLG = -70;     // FLG(n): deliberately ignored

using Table32 = std::array<int, 32>;
using Table16 = std::array<int, 16>;

constexpr Table32 UPPER = {PS, 32, 65, 66, 67, 68, 69, 70, 71, 72, 73, 74, 75, 76, 77, 78,
                           79, 80, 81, 82, 83, 84, 85, 86, 87, 88, 89, 90, LL, ML, DL, BS};
constexpr Table32 LOWER = {PS,  32,  97,  98,  99,  100, 101, 102, 103, 104, 105,
                           106, 107, 108, 109, 110, 111, 112, 113, 114, 115, 116,
                           117, 118, 119, 120, 121, 122, US,  ML,  DL,  BS};
constexpr Table32 MIXED = {PS, 32, 1,  2,  3,  4,  5,  6,   7,   8,   9,   10,  11,  12, 13, 27,
                           28, 29, 30, 31, 64, 92, 94, 95, 96, 124, 126, 127, LL, UL, PL, BS};
constexpr Table32 PUNCT = {FLG, 13, CRLF, DOT_SP, COM_SP, COL_SP, 33, 34, 35, 36, 37,
                           38,  39, 40,   41,     42,     43,     44, 45, 46, 47, 58,
                           59,  60, 61,   62,     63,     91,     93, 123, 125, UL};
constexpr Table16 DIGIT = {PS, 32, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 44, 46, UL, US};

enum class Mode { Upper, Lower, Mixed, Punct, Digit };

int lookup(Mode mode, int code) {
  switch (mode) {
    case Mode::Upper: return at(UPPER, code);
    case Mode::Lower: return at(LOWER, code);
    case Mode::Mixed: return at(MIXED, code);
    case Mode::Punct: return at(PUNCT, code);
    case Mode::Digit: return at(DIGIT, code);
  }
  return FLG;
}

int widthOf(Mode mode) { return mode == Mode::Digit ? 4 : 5; }

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
      case CRLF: out.put(13); out.put(10); width = rememberedWidth; break;
      case DOT_SP: out.put(46); out.put(32); width = rememberedWidth; break;
      case COM_SP: out.put(44); out.put(32); width = rememberedWidth; break;
      case COL_SP: out.put(58); out.put(32); width = rememberedWidth; break;
      case LL:
      case ML:
      case DL:
      case UL:
      case PL: {
        const Mode target = value == LL   ? Mode::Lower
                            : value == ML ? Mode::Mixed
                            : value == DL ? Mode::Digit
                            : value == UL ? Mode::Upper
                                          : Mode::Punct;
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

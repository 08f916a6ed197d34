#pragma once
// The character-mode state machine shared by the exact decoder's text and the whole-frame reader's
// text stream. The two differ only in how the bit stream ends and in what FLG(n) does, so those
// come in as the two parameters:
//
//   Bits:  bool has(int k)                   k more bits before the end
//          int read(int k)                   k bits, most significant first
//          std::optional<int> argument(int k) the k argument bits of an action; nothing ends the walk
//   Sink:  void put(int byte)
//          void latched(int codeIndex, int action)  every latch, with the 1-based index of its code
//          WalkStep flag(Bits& bits)          FLG(n): reads its own argument from `bits`

#include "symbol/mode_tables.h"

namespace Aztec {

enum class WalkStep { Go, End, Malformed };

// Walks every code of `bits` into `sink`; false when the sink called the stream malformed.
template <class Bits, class Sink>
bool walkModes(Bits& bits, Sink& sink) {
  using namespace ModeTables;
  // Two-byte PUNCT codes, in table order CRLF, ". ", ", ", ": ".
  static constexpr unsigned char kPairs[4][2] = {{13, 10}, {46, 32}, {44, 32}, {58, 32}};
  Mode current = Mode::Upper;
  Mode latched = Mode::Upper;
  int codes = 0;
  // A shifted mode always has the width of its table (PUNCT and UPPER are both 5 bits wide).
  while (bits.has(widthOf(current))) {
    const int value = entryOf(current, bits.read(widthOf(current)));
    ++codes;
    // A shift lasts exactly one code: fall back to the latched mode before acting.
    current = latched;
    if (value >= 0) {
      sink.put(value);
      continue;
    }
    switch (value) {
      case CRLF:
      case DOT_SP:
      case COM_SP:
      case COL_SP: {
        const auto& pair = kPairs[CRLF - value];
        sink.put(pair[0]);
        sink.put(pair[1]);
        break;
      }
      case LL:
      case ML:
      case DL:
      case UL:
      case PL:
        sink.latched(codes, value);
        current = latched = latchTarget(value);
        break;
      case PS:
        current = Mode::Punct;
        break;
      case US:
        current = Mode::Upper;
        break;
      case BS: {
        const auto shortCount = bits.argument(5);
        if (!shortCount) return true;
        int count = *shortCount;
        if (count == 0) {
          const auto longCount = bits.argument(11);
          if (!longCount) return true;
          count = *longCount + 31;
        }
        for (int i = 0; i < count && bits.has(8); ++i) sink.put(bits.read(8));
        break;
      }
      default:  // FLG(n), the only other action of the tables
        switch (sink.flag(bits)) {
          case WalkStep::Go:
            break;
          case WalkStep::End:
            return true;
          case WalkStep::Malformed:
            return false;
        }
        break;
    }
  }
  return true;
}

}  // namespace Aztec

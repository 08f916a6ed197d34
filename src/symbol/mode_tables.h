#pragma once
// The five character-mode tables of the high-level encoding, shared by the exact decoder and the
// whole-frame reader. A non-negative entry is a character (one byte); a negative one an action.

#include <array>
#include <cstddef>

namespace Aztec::ModeTables {

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
constexpr int FLG = -70;     // FLG(n)

using Table32 = std::array<int, 32>;
using Table16 = std::array<int, 16>;

inline constexpr Table32 UPPER = {PS, 32, 65, 66, 67, 68, 69, 70, 71, 72, 73, 74, 75, 76, 77, 78,
                                  79, 80, 81, 82, 83, 84, 85, 86, 87, 88, 89, 90, LL, ML, DL, BS};
inline constexpr Table32 LOWER = {PS,  32,  97,  98,  99,  100, 101, 102, 103, 104, 105,
                                  106, 107, 108, 109, 110, 111, 112, 113, 114, 115, 116,
                                  117, 118, 119, 120, 121, 122, US,  ML,  DL,  BS};
inline constexpr Table32 MIXED = {PS, 32, 1,  2,  3,  4,  5,  6,  7,  8,   9,   10,  11, 12, 13, 27,
                                  28, 29, 30, 31, 64, 92, 94, 95, 96, 124, 126, 127, LL, UL, PL, BS};
inline constexpr Table32 PUNCT = {FLG, 13, CRLF, DOT_SP, COM_SP, COL_SP, 33, 34,  35,  36, 37,
                                  38,  39, 40,   41,     42,     43,     44, 45,  46,  47, 58,
                                  59,  60, 61,   62,     63,     91,     93, 123, 125, UL};
inline constexpr Table16 DIGIT = {PS, 32, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 44, 46, UL, US};

enum class Mode { Upper, Lower, Mixed, Punct, Digit };

// Code width of a mode: DIGIT codes are 4 bits, all others 5.
constexpr int widthOf(Mode mode) {
  return mode == Mode::Digit ? 4 : 5;
}

// The entry of `code` in the table of `mode`; `code` must be below the table's size.
constexpr int entryOf(Mode mode, int code) {
  switch (mode) {
    case Mode::Upper:
      return UPPER[static_cast<std::size_t>(code)];
    case Mode::Lower:
      return LOWER[static_cast<std::size_t>(code)];
    case Mode::Mixed:
      return MIXED[static_cast<std::size_t>(code)];
    case Mode::Punct:
      return PUNCT[static_cast<std::size_t>(code)];
    case Mode::Digit:
      return DIGIT[static_cast<std::size_t>(code)];
  }
  return FLG;
}

// The mode a latch action leads to.
constexpr Mode latchTarget(int action) {
  return action == LL   ? Mode::Lower
         : action == ML ? Mode::Mixed
         : action == DL ? Mode::Digit
         : action == UL ? Mode::Upper
                        : Mode::Punct;
}

}  // namespace Aztec::ModeTables

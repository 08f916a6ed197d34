#pragma once
// The one UTF-8 encoder of the project: message text, the tools' Latin-1 output and the tests
// all write code points through it.

#include <string>

namespace Aztec {

// Appends code point `cp` (at most U+10FFFF) in its shortest UTF-8 form.
inline void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
    return;
  }
  char units[4];
  int n;
  if (cp < 0x800) {
    units[0] = static_cast<char>(0xC0 | (cp >> 6));
    n = 2;
  } else if (cp < 0x10000) {
    units[0] = static_cast<char>(0xE0 | (cp >> 12));
    n = 3;
  } else {
    units[0] = static_cast<char>(0xF0 | (cp >> 18));
    n = 4;
  }
  // Continuation bytes carry six bits each, the last one the lowest six.
  for (int i = n - 1; i >= 1; --i, cp >>= 6) units[i] = static_cast<char>(0x80 | (cp & 0x3F));
  out.append(units, static_cast<std::size_t>(n));
}

// Each byte as the Latin-1 character of the same value.
template <class Bytes>
std::string latin1ToUtf8(const Bytes& bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const auto b : bytes) appendUtf8(out, static_cast<unsigned char>(b));
  return out;
}

}  // namespace Aztec

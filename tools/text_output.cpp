#include "text_output.h"

#include "common/utf8.h"

namespace AztecTools {

namespace {

// Length of the valid UTF-8 sequence starting at i, or 0.
std::size_t utf8Length(const std::string& s, std::size_t i) {
  auto at = [&](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
  std::uint8_t b = at(i);
  std::size_t n;
  std::uint32_t cp;
  if (b < 0x80) return 1;
  if (b >= 0xC2 && b <= 0xDF)
    n = 2, cp = b & 0x1F;
  else if (b >= 0xE0 && b <= 0xEF)
    n = 3, cp = b & 0x0F;
  else if (b >= 0xF0 && b <= 0xF4)
    n = 4, cp = b & 0x07;
  else
    return 0;
  if (i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((at(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (at(i + k) & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not valid UTF-8.
  if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
    return 0;
  return n;
}

}  // namespace

std::string latin1ToUtf8(const std::vector<std::uint8_t>& bytes) {
  return Aztec::latin1ToUtf8(bytes);
}

std::string toHex(const std::vector<std::uint8_t>& bytes, const char* separator) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) out += separator;
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
  return out;
}

std::string jsonString(const std::string& text) {
  static const char digits[] = "0123456789abcdef";
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    auto b = static_cast<std::uint8_t>(text[i]);
    switch (b) {
      case '"':
        out += "\\\"";
        ++i;
        continue;
      case '\\':
        out += "\\\\";
        ++i;
        continue;
      case '\n':
        out += "\\n";
        ++i;
        continue;
      case '\r':
        out += "\\r";
        ++i;
        continue;
      case '\t':
        out += "\\t";
        ++i;
        continue;
      default:
        break;
    }
    if (b < 0x20 || b == 0x7F) {
      out += "\\u00";
      out += digits[b >> 4];
      out += digits[b & 15];
      ++i;
    } else if (std::size_t n = utf8Length(text, i)) {
      out.append(text, i, n);
      i += n;
    } else {
      Aztec::appendUtf8(out, b);  // read as Latin-1
      ++i;
    }
  }
  out += '"';
  return out;
}

}  // namespace AztecTools

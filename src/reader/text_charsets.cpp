#include "reader/text_charsets.h"

#include <cstddef>

namespace Aztec {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void appendCodePoint(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Upper halves of the single-byte sets that differ from ISO-8859-1 in a few places or in one
// linear run; 0 marks an unassigned byte.
char32_t iso8859_5(std::uint8_t b) {
  if (b == 0xA0) return 0xA0;
  if (b == 0xAD) return 0xAD;
  if (b == 0xF0) return 0x2116;
  if (b == 0xFD) return 0xA7;
  return 0x0400 + (b - 0xA0);  // 0xA1..0xFF -> U+0401..U+045F around the exceptions above
}

char32_t iso8859_9(std::uint8_t b) {
  switch (b) {
    case 0xD0: return 0x011E;
    case 0xDD: return 0x0130;
    case 0xDE: return 0x015E;
    case 0xF0: return 0x011F;
    case 0xFD: return 0x0131;
    case 0xFE: return 0x015F;
    default: return b;
  }
}

char32_t iso8859_11(std::uint8_t b) {
  if (b == 0xA0) return 0xA0;
  if ((b >= 0xA1 && b <= 0xDA) || (b >= 0xDF && b <= 0xFB)) return 0x0E00 + (b - 0xA0);
  return 0;
}

char32_t iso8859_15(std::uint8_t b) {
  switch (b) {
    case 0xA4: return 0x20AC;
    case 0xA6: return 0x0160;
    case 0xA8: return 0x0161;
    case 0xB4: return 0x017D;
    case 0xB8: return 0x017E;
    case 0xBC: return 0x0152;
    case 0xBD: return 0x0153;
    case 0xBE: return 0x0178;
    default: return b;
  }
}

void appendLatin1(std::string& out, const std::vector<std::uint8_t>& bytes) {
  for (std::uint8_t b : bytes) appendCodePoint(out, b);
}

void appendSingleByte(std::string& out, const std::vector<std::uint8_t>& bytes, char32_t (*upper)(std::uint8_t)) {
  for (std::uint8_t b : bytes) {
    const char32_t cp = b < 0xA0 ? b : upper(b);
    appendCodePoint(out, cp == 0 ? kReplacement : cp);
  }
}

// Strict UTF-8 (no overlongs, surrogates or values past U+10FFFF); false leaves `out` unchanged.
bool appendUtf8(std::string& out, const std::vector<std::uint8_t>& bytes) {
  std::string text;
  const std::size_t n = bytes.size();
  for (std::size_t i = 0; i < n;) {
    const std::uint8_t b = bytes[i];
    int extra = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (b < 0x80) {
      cp = b;
    } else if ((b & 0xE0) == 0xC0) {
      extra = 1, cp = b & 0x1F, minimum = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      extra = 2, cp = b & 0x0F, minimum = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      extra = 3, cp = b & 0x07, minimum = 0x10000;
    } else {
      return false;
    }
    if (extra > 0 && i + static_cast<std::size_t>(extra) >= n) return false;
    for (int k = 1; k <= extra; ++k) {
      const std::uint8_t c = bytes[i + static_cast<std::size_t>(k)];
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    appendCodePoint(text, cp);
    i += 1 + static_cast<std::size_t>(extra);
  }
  out += text;
  return true;
}

bool appendUtf16BigEndian(std::string& out, const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() % 2 != 0) return false;
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    char32_t unit = static_cast<char32_t>(bytes[i] << 8 | bytes[i + 1]);
    if (unit >= 0xDC00 && unit <= 0xDFFF) return false;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 3 >= bytes.size()) return false;
      const char32_t low = static_cast<char32_t>(bytes[i + 2] << 8 | bytes[i + 3]);
      if (low < 0xDC00 || low > 0xDFFF) return false;
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    }
    appendCodePoint(text, unit);
  }
  out += text;
  return true;
}

}  // namespace

bool isMappedEci(int eci) {
  switch (eci) {
    case -1: case 1: case 3: case 7: case 11: case 13: case 17:
    case 25: case 26: case 27: case 170: case 899:
      return true;
    default:
      return false;
  }
}

void appendAsUtf8(std::string& out, const std::vector<std::uint8_t>& bytes, int eci) {
  switch (eci) {
    case 7: appendSingleByte(out, bytes, iso8859_5); return;
    case 11: appendSingleByte(out, bytes, iso8859_9); return;
    case 13: appendSingleByte(out, bytes, iso8859_11); return;
    case 17: appendSingleByte(out, bytes, iso8859_15); return;
    case 25:
      if (!appendUtf16BigEndian(out, bytes)) appendLatin1(out, bytes);
      return;
    case 26:
      if (!appendUtf8(out, bytes)) appendLatin1(out, bytes);
      return;
    default:
      // ASCII sets only differ from ISO-8859-1 in bytes they do not define; keeping those as
      // ISO-8859-1 loses nothing.
      appendLatin1(out, bytes);
      return;
  }
}

}  // namespace Aztec

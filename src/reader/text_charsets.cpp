#include "reader/text_charsets.h"

#include <cerrno>
#include <cstddef>

#include "common/utf8.h"

// The C library's converter reads the multi-byte sets; where it has none (MinGW) they fall back
// to ISO-8859-1 like any set that is not mapped.
#if __has_include(<iconv.h>)
#include <iconv.h>
#define AZTEC_HAVE_ICONV 1
#endif

namespace Aztec::detail {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Generated from Python's codecs rather than typed in, so a slipped digit cannot creep in.
#include "reader/text_charset_tables.inc"

// Upper half (0x80..0xFF) of the single-byte set `eci` names, or null if it is not one of them.
const char16_t* upperHalf(int eci) {
  switch (eci) {
    case 0:
    case 2:
      return kCp437;
    case 4:
      return kIso8859_2;
    case 5:
      return kIso8859_3;
    case 6:
      return kIso8859_4;
    case 7:
      return kIso8859_5;
    case 8:
      return kIso8859_6;
    case 9:
      return kIso8859_7;
    case 10:
      return kIso8859_8;
    case 11:
      return kIso8859_9;
    case 12:
      return kIso8859_10;
    case 13:
      return kIso8859_11;
    case 15:
      return kIso8859_13;
    case 16:
      return kIso8859_14;
    case 17:
      return kIso8859_15;
    case 18:
      return kIso8859_16;
    case 21:
      return kWindows1250;
    case 22:
      return kWindows1251;
    case 23:
      return kWindows1252;
    case 24:
      return kWindows1256;
    default:
      return nullptr;
  }
}

void appendLatin1(std::string& out, const std::vector<std::uint8_t>& bytes) {
  out += latin1ToUtf8(bytes);
}

void appendSingleByte(std::string& out, const std::vector<std::uint8_t>& bytes, const char16_t* upper) {
  for (std::uint8_t b : bytes) {
    // 0 only means unassigned in the table; a NUL byte below it stays NUL.
    const char32_t cp = b < 0x80 ? b : upper[b - 0x80];
    appendUtf8(out, cp == 0 && b != 0 ? kReplacement : cp);
  }
}

// Strict UTF-8 (no overlongs, surrogates or values past U+10FFFF); false leaves `out` unchanged.
bool appendWellFormedUtf8(std::string& out, const std::vector<std::uint8_t>& bytes) {
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
    appendUtf8(text, cp);
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
    appendUtf8(text, unit);
  }
  out += text;
  return true;
}

// The converter's name for the multi-byte set `eci`, or null if it is not one of them.
const char* multiByteName(int eci) {
  switch (eci) {
    case 20:
      return "SHIFT_JIS";
    case 28:
      return "BIG5";
    case 29:
      return "EUC-CN";  // GB 2312 as it is written in bytes
    case 30:
      return "EUC-KR";
    case 31:
      return "GBK";
    case 32:
      return "GB18030";
    default:
      return nullptr;
  }
}

// The one call into the converter. An invalid sequence becomes U+FFFD and reading goes on at its
// next byte; one cut short by the end of the data becomes U+FFFD and ends the text. False (and
// `out` unchanged) when the converter does not know the set.
bool appendConverted(std::string& out, const std::vector<std::uint8_t>& bytes, const char* charset) {
#ifdef AZTEC_HAVE_ICONV
  const iconv_t cd = iconv_open("UTF-8", charset);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string text;
  // iconv takes a non-const pointer but only reads through it; it never goes past inLeft bytes.
  char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
  std::size_t inLeft = bytes.size();
  char buffer[256];
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t done = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    text.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (done != static_cast<std::size_t>(-1)) break;
    const int error = errno;
    if (error == E2BIG) continue;
    appendUtf8(text, kReplacement);
    if (error == EINVAL) break;
    ++in;
    --inLeft;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(cd);
  out += text;
  return true;
#else
  (void)out, (void)bytes, (void)charset;
  return false;
#endif
}

bool converterKnows(const char* charset) {
#ifdef AZTEC_HAVE_ICONV
  const iconv_t cd = iconv_open("UTF-8", charset);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(cd);
  return true;
#else
  (void)charset;
  return false;
#endif
}

}  // namespace

bool isMappedEci(int eci) {
  switch (eci) {
    case -1:
    case 1:
    case 3:
    case 25:
    case 26:
    case 27:
    case 170:
    case 899:
      return true;
    default:
      if (const char* charset = multiByteName(eci)) return converterKnows(charset);
      return upperHalf(eci) != nullptr;
  }
}

void appendAsUtf8(std::string& out, const std::vector<std::uint8_t>& bytes, int eci) {
  if (const char16_t* upper = upperHalf(eci)) {
    appendSingleByte(out, bytes, upper);
    return;
  }
  if (const char* charset = multiByteName(eci)) {
    if (!appendConverted(out, bytes, charset)) appendLatin1(out, bytes);
    return;
  }
  switch (eci) {
    case 25:
      if (!appendUtf16BigEndian(out, bytes)) appendLatin1(out, bytes);
      return;
    case 26:
      if (!appendWellFormedUtf8(out, bytes)) appendLatin1(out, bytes);
      return;
    default:
      // ASCII sets only differ from ISO-8859-1 in bytes they do not define; keeping those as
      // ISO-8859-1 loses nothing.
      appendLatin1(out, bytes);
      return;
  }
}

}  // namespace Aztec::detail

#pragma once
// Message bytes to UTF-8 text by ECI character set: single-byte sets from tables, multi-byte sets
// through the C library's converter (iconv).

#include <cstdint>
#include <string>
#include <vector>

namespace Aztec::detail {

// Appends `bytes` read in the character set of `eci` (-1: no ECI given, ISO-8859-1) as UTF-8.
// Mapped: ECI 0 and 2 (CP437), 1 and 3 (ISO-8859-1), 4 to 13 (ISO-8859-2 to -11),
// 15 to 18 (ISO-8859-13 to -16), 21 to 24 (Windows-1250, -1251, -1252, -1256), 25 (UTF-16BE),
// 26 (UTF-8), 27 and 170 (ASCII), 899 (binary, as ISO-8859-1), and where the C library converts
// them the multi-byte sets 20 (Shift JIS), 28 (Big5), 29 (GB 2312), 30 (EUC-KR), 31 (GBK) and
// 32 (GB 18030). A byte a single-byte set leaves unassigned, and an invalid multi-byte sequence,
// becomes U+FFFD. Any other set, and a UTF-8 / UTF-16 segment that is not well formed, are read
// as ISO-8859-1 so that no byte is lost from the text; the bytes themselves are always kept
// unchanged.
void appendAsUtf8(std::string& out, const std::vector<std::uint8_t>& bytes, int eci);

// Whether appendAsUtf8 maps `eci` itself rather than falling back to ISO-8859-1.
bool isMappedEci(int eci);

}  // namespace Aztec::detail

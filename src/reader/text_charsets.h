#pragma once
// Message bytes to UTF-8 text by ECI character set, without any library beyond the standard one.

#include <cstdint>
#include <string>
#include <vector>

namespace Aztec {

// Appends `bytes` read in the character set of `eci` (-1: no ECI given, ISO-8859-1) as UTF-8.
// Mapped: ECI 1 and 3 (ISO-8859-1), 7 (ISO-8859-5), 11 (ISO-8859-9), 13 (ISO-8859-11),
// 17 (ISO-8859-15), 25 (UTF-16BE), 26 (UTF-8), 27 and 170 (ASCII), 899 (binary, as ISO-8859-1).
// Every other set, and a UTF-8 / UTF-16 segment that is not well formed, is read as ISO-8859-1
// so that no byte is lost from the text; the bytes themselves are always kept unchanged.
void appendAsUtf8(std::string& out, const std::vector<std::uint8_t>& bytes, int eci);

// Whether appendAsUtf8 maps `eci` itself rather than falling back to ISO-8859-1.
bool isMappedEci(int eci);

}  // namespace Aztec

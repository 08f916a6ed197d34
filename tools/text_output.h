#pragma once
// Text forms of decoded bytes for the command line: Latin-1 to UTF-8, hex, JSON strings.

#include <cstdint>
#include <string>
#include <vector>

namespace AztecTools {

// Each byte is the Latin-1 character of the same value, written as UTF-8.
std::string latin1ToUtf8(const std::vector<std::uint8_t>& bytes);

// Two lowercase hex digits per byte, joined by `separator` (none by default).
std::string toHex(const std::vector<std::uint8_t>& bytes, const char* separator = "");

// A JSON string literal, quotes included. The input is taken as UTF-8 where it is valid;
// any byte that is not part of a valid sequence is read as Latin-1 so the output is
// always valid UTF-8.
std::string jsonString(const std::string& text);

}  // namespace AztecTools

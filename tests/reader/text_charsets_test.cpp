// The single-byte ECI tables against glibc's iconv, which shares no source with the generator
// (Python's codecs): a wrong table entry or a set filed under the wrong ECI shows up here.

#include "reader/text_charsets.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// One byte through iconv; a byte iconv rejects is unassigned, which the reader writes as U+FFFD.
std::string iconvByte(iconv_t cd, std::uint8_t byte) {
  char in[1] = {static_cast<char>(byte)};
  char out[8];
  char* inPtr = in;
  char* outPtr = out;
  std::size_t inLeft = 1, outLeft = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) return "\xEF\xBF\xBD";
  return std::string(out, outPtr);
}

TEST(TextCharsets, SingleByteSetsMatchIconvForEveryByte) {
  const std::vector<std::pair<int, const char*>> sets = {
      {0, "CP437"},         {2, "CP437"},         {4, "ISO-8859-2"},    {5, "ISO-8859-3"},
      {6, "ISO-8859-4"},    {7, "ISO-8859-5"},    {8, "ISO-8859-6"},    {9, "ISO-8859-7"},
      {10, "ISO-8859-8"},   {11, "ISO-8859-9"},   {12, "ISO-8859-10"},  {13, "ISO-8859-11"},
      {15, "ISO-8859-13"},  {16, "ISO-8859-14"},  {17, "ISO-8859-15"},  {18, "ISO-8859-16"},
      {21, "WINDOWS-1250"}, {22, "WINDOWS-1251"}, {23, "WINDOWS-1252"}, {24, "WINDOWS-1256"},
  };
  for (const auto& [eci, name] : sets) {
    SCOPED_TRACE(testing::Message() << "ECI " << eci << " " << name);
    EXPECT_TRUE(Aztec::detail::isMappedEci(eci));
    const iconv_t cd = iconv_open("UTF-8", name);
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    for (int b = 0; b < 256; ++b) {
      std::string text;
      Aztec::detail::appendAsUtf8(text, {static_cast<std::uint8_t>(b)}, eci);
      EXPECT_EQ(text, iconvByte(cd, static_cast<std::uint8_t>(b))) << "byte 0x" << std::hex << b;
    }
    iconv_close(cd);
  }
}

}  // namespace

// Invalid multi-byte sequences: U+FFFD for the bad byte, reading goes on at the next one; a
// sequence cut short by the end of the data is one U+FFFD. Nothing past the data is read (the
// bytes sit at the very end of their own allocation, where the address sanitizer watches).
TEST(TextCharsets, InvalidMultiByteSequencesBecomeReplacementCharacters) {
  const std::string bad = "\xEF\xBF\xBD";
  struct Case {
    int eci;
    std::vector<std::uint8_t> bytes;
    std::string text;
  };
  const Case cases[] = {
      {20, {'A', 0x81}, "A" + bad},                                  // Shift JIS lead byte at the end
      {20, {0x88, 0x9F, 0xFD, 'B'}, "\xE4\xBA\x9C" + bad + "B"},     // 0xFD is no Shift JIS byte
      {28, {0xA4, 0x40, 0xA4}, "\xE4\xB8\x80" + bad},                // Big5
      {29, {0xB0, 'C', 0xB0, 0xA1}, bad + "C\xE5\x95\x8A"},          // GB 2312 lead before ASCII
      {30, {0xB0, 0xA1, 0xFF}, "\xEA\xB0\x80" + bad},                // EUC-KR
      {31, {0x81, 0x40, 0x81}, "\xE4\xB8\x82" + bad},                // GBK
      {32, {0x81, 0x30, 0x81, 0x30, 0x81, 0x30}, "\xC2\x80" + bad},  // GB 18030 four-byte form cut short
      {32, {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "ECI " << c.eci << ", " << c.bytes.size() << " bytes");
    EXPECT_TRUE(Aztec::detail::isMappedEci(c.eci));
    std::string text = "x";
    Aztec::detail::appendAsUtf8(text, c.bytes, c.eci);
    EXPECT_EQ(text, "x" + c.text);
  }
}

#include <gtest/gtest.h>

#include "frame_input.h"
#include "text_output.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(TextOutput, Latin1BytesBecomeUtf8HexAndJson) {
  Bytes bytes = {'A', 0x00, 0x7F, 0x80, 0xB0, 0xFF};
  EXPECT_EQ(AztecTools::latin1ToUtf8(bytes), std::string("A\0\x7F\xC2\x80\xC2\xB0\xC3\xBF", 9));
  EXPECT_EQ(AztecTools::toHex(bytes), "41007f80b0ff");  // nothing dropped after the zero byte
  EXPECT_EQ(AztecTools::toHex(bytes, " "), "41 00 7f 80 b0 ff");
  // JSON strings: escapes, and valid UTF-8 whatever the input.
  EXPECT_EQ(AztecTools::jsonString("a\"b\\c\nd\re\tf"), "\"a\\\"b\\\\c\\nd\\re\\tf\"");
  EXPECT_EQ(AztecTools::jsonString(std::string("\x01\x00\x1f\x7f", 4)), "\"\\u0001\\u0000\\u001f\\u007f\"");
  EXPECT_EQ(AztecTools::jsonString("\xC3\xA6 \xE2\x82\xAC \xF0\x9F\x98\x80"),
            "\"\xC3\xA6 \xE2\x82\xAC \xF0\x9F\x98\x80\"");
  // Lone, overlong, surrogate and cut-off sequences are read as Latin-1 bytes.
  EXPECT_EQ(AztecTools::jsonString("\xC0\xAF"), "\"\xC3\x80\xC2\xAF\"");
  EXPECT_EQ(AztecTools::jsonString("\xED\xA0\x80"), "\"\xC3\xAD\xC2\xA0\xC2\x80\"");
  EXPECT_EQ(AztecTools::jsonString("x\xE2\x82"), "\"x\xC3\xA2\xC2\x82\"");
}

TEST(FrameInput, ParseSizeAcceptsOnlyWxHAndColourBecomesLuminance) {
  int w = 0, h = 0;
  EXPECT_TRUE(AztecTools::parseSize("640x480", w, h));
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  for (const char* bad : {"", "640", "x480", "640x", "0x480", "640x0", "-1x5", "64 0x480", "640x480x2",
                          "99999x99999", "1234567890x1"})
    EXPECT_FALSE(AztecTools::parseSize(bad, w, h)) << bad;
  // A 2x1 binary PPM, pure red and pure white: luminance with fixed weights.
  std::string ppm = "P6 2 1 255\n";
  Bytes file(ppm.begin(), ppm.end());
  for (std::uint8_t v : {255, 0, 0, 255, 255, 255}) file.push_back(v);
  Velmora::Image::GrayBuf img = AztecTools::decodeImage(file);
  EXPECT_EQ(img.pixelAt(0, 0), (255 * 77) >> 8);
  EXPECT_EQ(img.pixelAt(1, 0), 255);
}

}  // namespace

// The entry's frame path given arbitrary bytes and sizes: the first eight bytes are width and
// height (int32 little-endian), the rest is the pixel array with its real length. The call
// must not throw, must not read past the array, answers nothing for a frame that does not fit
// its array, and answers text only as the core decoder's bytes, cut before the first zero byte
// and widened byte by byte.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "decoder/decoder.h"
#include "frame_reader.h"
#include "image/gray_buf.h"

namespace {

// Sizes up to 512 pass unchanged (so seed frames read as written); larger or very negative
// ones are mostly folded into a small range so that mutated headers still give frames that fit
// their array, while one header bit keeps them raw so zero, negative and huge sizes reach the
// entry too.
std::int32_t frameSide(std::int32_t raw, bool keepRaw) {
  if ((raw >= -16 && raw <= 512) || keepRaw) return raw;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(raw) % 257u);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 8) return 0;
  std::int32_t width, height;
  std::memcpy(&width, data, 4);
  std::memcpy(&height, data + 4, 4);
  const bool keepRaw = ((data[3] ^ data[7]) & 1) != 0;
  width = frameSide(width, keepRaw);
  height = frameSide(height, keepRaw);

  const std::uint8_t* pixels = data + 8;
  const auto length = static_cast<std::uint32_t>(size - 8);
  static const KalvaroWindows81::Detail::DecoderFactory factory = [] {
    return KalvaroWindows81::Detail::makeCoreDecoder();
  };
  HSTRING result = KalvaroWindows81::Detail::readFrame(factory, pixels, length, width, height);
  UINT32 units = 0;
  const char16_t* text = WindowsGetStringRawBuffer(result, &units);
  const std::u16string got(text, units);
  WindowsDeleteString(result);

  const bool fits = KalvaroWindows81::Detail::frameFitsArray(pixels, length, width, height);
  if (!fits) {
    if (!got.empty()) __builtin_trap();
    return 0;
  }

  // A decoded frame, once more through the core decoder directly: the entry's text is its bytes
  // cut before the first zero and widened one to one. (Only then: a second decode of every
  // frame would halve the execution rate.)
  if (got.empty()) return 0;
  std::string expected;
  try {
    Aztec::Decoder decoder;
    std::string status;
    if (decoder.decode(Velmora::Image::GrayBuf::fromBytes(pixels, width, height), status) != Aztec::NotRead)
      expected = decoder.resultText();
  } catch (const std::exception&) {
    expected.clear();
  }
  expected = expected.substr(0, expected.find('\0'));
  if (got.size() != expected.size()) __builtin_trap();
  for (std::size_t i = 0; i < got.size(); ++i)
    if (got[i] != static_cast<char16_t>(static_cast<unsigned char>(expected[i]))) __builtin_trap();
  return 0;
}

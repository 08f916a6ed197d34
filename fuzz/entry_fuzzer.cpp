// The entry's frame path given arbitrary bytes and sizes: the first eight bytes choose width
// and height (small, zero, negative or huge), the rest is the pixel array with its real length.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "frame_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 8) return 0;
  std::int32_t width, height;
  std::memcpy(&width, data, 4);
  std::memcpy(&height, data + 4, 4);
  // Mostly small frames so the search runs; the raw values still reach the entry sometimes.
  if ((data[0] & 0xC0) != 0xC0) {
    width %= 97;
    height %= 97;
  }
  const std::uint8_t* pixels = data + 8;
  const auto length = static_cast<std::uint32_t>(size - 8);
  static const KalvaroWindows81::Detail::DecoderFactory factory = [] {
    return KalvaroWindows81::Detail::makeCoreDecoder();
  };
  HSTRING result = KalvaroWindows81::Detail::readFrame(factory, pixels, length, width, height);
  WindowsDeleteString(result);
  return 0;
}

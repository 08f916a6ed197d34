// The whole-frame reader given arbitrary frames, strides, regions and options. Header: width
// and height (uint16 little-endian), stride padding, option bits, region bits; the rest is the
// pixel plane. Views that fit the input are read and every result must be well formed; views
// the reader must refuse (null data, non-positive sizes, stride below width) must raise
// InvalidViewError without reading anything.
#include <aztec/reader.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

namespace {

bool validUtf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return false;
    i += n;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 8) return 0;
  const int width = data[0] | data[1] << 8;
  int height = data[2] | data[3] << 8;
  const int stride = width + (data[4] & 7);
  const std::uint8_t flags = data[5];
  const std::uint8_t* pixels = data + 8;
  const std::size_t length = size - 8;

  Aztec::ReaderOptions options;
  options.tryInverted = (flags & 1) == 0;
  options.readRunes = (flags & 2) == 0;
  options.maxSymbols = (flags & 4) ? (flags >> 6) : 16;
  if (flags & 8) {
    // A region anywhere, partly or wholly outside the frame too.
    options.regionX = static_cast<std::int8_t>(data[6]) * 4;
    options.regionY = static_cast<std::int8_t>(data[7]) * 4;
    options.regionWidth = (data[6] & 0x0F) * 16;
    options.regionHeight = (data[7] & 0x0F) * 16;
  }
  const Aztec::WholeFrameReader reader(options);

  // Views that must be refused, whatever the data.
  if (flags & 16) {
    const Aztec::LumaView bad[] = {{nullptr, width, height, stride},
                                   {pixels, -width - 1, height, stride},
                                   {pixels, width, 0, stride},
                                   {pixels, width + 1, height, width}};
    for (const Aztec::LumaView& v : bad) {
      try {
        reader.read(v);
        __builtin_trap();
      } catch (const Aztec::InvalidViewError&) {
      }
    }
    return 0;
  }

  // Only the rows the input holds: the view must never promise more than the caller has.
  if (stride <= 0) return 0;
  const std::size_t rows = length / static_cast<std::size_t>(stride);
  if (static_cast<std::size_t>(height) > rows) height = static_cast<int>(rows);
  if (width == 0 || height == 0) return 0;
  const auto results = reader.read(Aztec::LumaView{pixels, width, height, stride});
  if (options.maxSymbols >= 0 && results.size() > static_cast<std::size_t>(options.maxSymbols))
    __builtin_trap();
  for (const Aztec::ReadResult& r : results) {
    if (!validUtf8(r.text)) __builtin_trap();
    if (r.layers < 0 || r.layers > 32 || r.correctedCodewords < 0 || r.correctedCodewords > r.checkCodewords)
      __builtin_trap();
    for (const Aztec::Point2D& p : r.corners)
      if (!std::isfinite(p.x) || !std::isfinite(p.y)) __builtin_trap();
  }
  return 0;
}

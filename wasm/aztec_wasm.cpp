// The WebAssembly face of the whole-frame reader: a plain C ABI that aztec-reader.mjs wraps.
// One input buffer and one result buffer live for the module's lifetime and only grow, so a
// camera loop allocates nothing per frame outside the reader itself.

#include <aztec/reader.h>
#include <malloc.h>

#include <cstdint>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> input;   // filled by JavaScript: luminance or RGBA
std::vector<std::uint8_t> luma;    // RGBA reduced to luminance
std::vector<std::uint8_t> output;  // the results, laid out as aztec-reader.mjs parses them
std::string lastError;

constexpr int kFlagTryInverted = 1;
constexpr int kFlagReadRunes = 2;
constexpr int kFlagRgba = 4;

void put32(std::int32_t value) {
  const std::size_t at = output.size();
  output.resize(at + 4);
  std::memcpy(output.data() + at, &value, 4);
}

void putDouble(double value) {
  const std::size_t at = output.size();
  output.resize(at + 8);
  std::memcpy(output.data() + at, &value, 8);
}

void putBytes(const void* data, std::size_t size) {
  output.insert(output.end(), static_cast<const std::uint8_t*>(data),
                static_cast<const std::uint8_t*>(data) + size);
}

// Per symbol: 16 int32 (sizes, flags, counts), 8 doubles (corners), then the message bytes,
// the UTF-8 text and the structured-append ID, padded to 8 bytes so the next doubles align.
void putResult(const Aztec::ReadResult& r) {
  const std::string id = r.structuredAppend ? r.structuredAppend->id : std::string();
  put32(static_cast<std::int32_t>(r.bytes.size()));
  put32(static_cast<std::int32_t>(r.text.size()));
  put32(static_cast<std::int32_t>(id.size()));
  put32((r.gs1 ? 1 : 0) | (r.readerInitialisation ? 2 : 0) | (r.mirrored ? 4 : 0) | (r.inverted ? 8 : 0) |
        (r.structuredAppend ? 16 : 0));
  put32(static_cast<std::int32_t>(r.format));
  put32(r.layers);
  put32(r.dataCodewords);
  put32(r.checkCodewords);
  put32(r.correctedCodewords);
  put32(r.rotation);
  put32(r.structuredAppend ? r.structuredAppend->index : 0);
  put32(r.structuredAppend ? r.structuredAppend->count : 0);
  for (int pad = 0; pad < 4; ++pad) put32(0);
  for (const Aztec::Point2D& p : r.corners) {
    putDouble(p.x);
    putDouble(p.y);
  }
  putBytes(r.bytes.data(), r.bytes.size());
  putBytes(r.text.data(), r.text.size());
  putBytes(id.data(), id.size());
  output.resize((output.size() + 7) & ~std::size_t{7});
}

}  // namespace

extern "C" {

// A buffer of at least `size` bytes for the next frame; 0 when memory runs out. The same
// buffer comes back while it is big enough.
std::uint8_t* aztec_input(int size) {
  if (size < 0) return nullptr;
  try {
    if (input.size() < static_cast<std::size_t>(size)) input.resize(static_cast<std::size_t>(size));
  } catch (const std::exception&) {
    return nullptr;
  }
  return input.data();
}

// Reads the frame in the input buffer: a luminance plane, or with kFlagRgba 4 bytes per pixel
// `stride` bytes apart. Returns the number of symbols (their records at aztec_output()), or -1
// with a message at aztec_error().
int aztec_read(int width, int height, int stride, int flags, int maxSymbols, int regionX, int regionY,
               int regionWidth, int regionHeight) {
  output.clear();
  lastError.clear();
  try {
    Aztec::LumaView view{input.data(), width, height, stride};
    if (flags & kFlagRgba) {
      if (width <= 0 || height <= 0 || stride / 4 < width)
        throw Aztec::InvalidViewError("bad RGBA frame size");
      // 64-bit sums: size_t is 32 bits here.
      const std::uint64_t need = std::uint64_t(height - 1) * std::uint64_t(stride) + std::uint64_t(width) * 4;
      if (need > input.size()) throw Aztec::InvalidViewError("RGBA frame larger than the input buffer");
      luma.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
      for (int y = 0; y < height; ++y) {
        const std::uint8_t* src =
            input.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride);
        std::uint8_t* dst = luma.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        for (int x = 0; x < width; ++x, src += 4)
          dst[x] = static_cast<std::uint8_t>((77 * src[0] + 150 * src[1] + 29 * src[2]) >> 8);
      }
      view = {luma.data(), width, height, width};
    } else {
      Aztec::validateView(view);
      const std::uint64_t need = std::uint64_t(height - 1) * std::uint64_t(stride) + std::uint64_t(width);
      if (need > input.size()) throw Aztec::InvalidViewError("frame larger than the input buffer");
    }
    Aztec::ReaderOptions options;
    options.tryInverted = (flags & kFlagTryInverted) != 0;
    options.readRunes = (flags & kFlagReadRunes) != 0;
    options.maxSymbols = maxSymbols;
    options.regionX = regionX;
    options.regionY = regionY;
    options.regionWidth = regionWidth;
    options.regionHeight = regionHeight;
    const std::vector<Aztec::ReadResult> results = Aztec::WholeFrameReader(options).read(view);
    for (const Aztec::ReadResult& r : results) putResult(r);
    return static_cast<int>(results.size());
  } catch (const std::exception& e) {
    lastError = e.what();
  } catch (...) {
    lastError = "unknown error";
  }
  output.clear();
  return -1;
}

const std::uint8_t* aztec_output() {
  return output.data();
}

const char* aztec_error() {
  return lastError.c_str();
}

// Bytes of the heap in use, so a test can see that thousands of reads leave nothing behind.
int aztec_heap_used() {
  return static_cast<int>(mallinfo().uordblks);
}

}  // extern "C"

#include "frame_input.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO  // every image comes in memory, with its size known
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_BMP
#define STBI_ONLY_PNM  // TGA and the like are left out: their sniffing accepts too much
#define STBI_MAX_DIMENSIONS 32768
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#endif
#include <stb/stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace AztecTools {

namespace {

// Binary PGM/PPM: the pixel bytes the header promises, or 0 when it is not such a file.
// The image library fills a short file's missing pixels with whatever memory held.
unsigned long long pnmPixelBytes(const std::vector<std::uint8_t>& bytes, std::size_t& headerEnd) {
  if (bytes.size() < 2 || bytes[0] != 'P' || (bytes[1] != '5' && bytes[1] != '6')) return 0;
  const unsigned long long channels = bytes[1] == '5' ? 1 : 3;
  std::size_t i = 2;
  unsigned long long field[3] = {0, 0, 0};
  for (auto& value : field) {
    for (;;) {  // white space and comments up to the next number
      if (i >= bytes.size()) throw InputError("truncated PGM/PPM header");
      if (bytes[i] == '#') {
        while (i < bytes.size() && bytes[i] != '\n') ++i;
      } else if (bytes[i] == ' ' || (bytes[i] >= '\t' && bytes[i] <= '\r')) {
        ++i;
      } else {
        break;
      }
    }
    std::size_t start = i;
    while (i < bytes.size() && bytes[i] >= '0' && bytes[i] <= '9' && i - start < 9)
      value = value * 10 + (bytes[i++] - '0');
    if (i == start) throw InputError("bad PGM/PPM header");
  }
  headerEnd = i + 1;  // one white-space byte ends the header
  return field[0] * field[1] * channels * (field[2] > 255 ? 2 : 1);
}

}  // namespace

Velmora::Image::GrayBuf decodeImage(const std::vector<std::uint8_t>& bytes) {
  if (bytes.empty()) throw InputError("empty file");
  if (bytes.size() > 0x7fffffffULL) throw InputError("file too large");
  const int length = static_cast<int>(bytes.size());
  int w = 0, h = 0, channels = 0;
  if (!stbi_info_from_memory(bytes.data(), length, &w, &h, &channels))
    throw InputError("not a readable image (PNG, JPEG, BMP, PGM expected)");
  std::size_t headerEnd = 0;
  if (unsigned long long need = pnmPixelBytes(bytes, headerEnd); need > 0 && bytes.size() < headerEnd + need)
    throw InputError(
        "truncated PGM/PPM: " + std::to_string(bytes.size() - std::min(bytes.size(), headerEnd)) +
        " pixel bytes, " + std::to_string(need) + " needed");
  if (w <= 0 || h <= 0 || static_cast<long long>(w) * h > kMaxPixels) throw InputError("image too large");
  std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
      stbi_load_from_memory(bytes.data(), length, &w, &h, &channels, 1), stbi_image_free);
  if (!pixels) throw InputError(std::string("cannot decode image: ") + stbi_failure_reason());
  return Velmora::Image::GrayBuf::fromBytes(pixels.get(), w, h);
}

bool parseSize(const std::string& text, int& width, int& height) {
  long long value[2] = {0, 0};
  int part = 0;
  std::size_t digits = 0;
  for (char ch : text) {
    if ((ch == 'x' || ch == 'X') && part == 0 && digits > 0) {
      part = 1;
      digits = 0;
    } else if (ch >= '0' && ch <= '9' && digits < 9) {
      value[part] = value[part] * 10 + (ch - '0');
      ++digits;
    } else {
      return false;
    }
  }
  if (part != 1 || digits == 0 || value[0] <= 0 || value[1] <= 0 || value[0] * value[1] > kMaxPixels)
    return false;
  width = static_cast<int>(value[0]);
  height = static_cast<int>(value[1]);
  return true;
}

}  // namespace AztecTools

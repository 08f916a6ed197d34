#pragma once
// Turns image files and headerless luminance planes into frames for the decoder.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "image/gray_buf.h"

namespace AztecTools {

// A file that cannot be turned into a frame; what() is a one-line reason without the name.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Largest frame accepted, so a forged header cannot ask for gigabytes and w * h stays an int.
constexpr long long kMaxPixels = 1LL << 28;

// Reads the whole file; InputError when it cannot be opened or read.
std::vector<std::uint8_t> readFileBytes(const std::string& path);

// PNG, JPEG, BMP, binary PGM/PPM: colour becomes luminance with the integer weights
// (77 R + 150 G + 29 B) >> 8. InputError for anything else, a truncated or oversized image.
Velmora::Image::GrayBuf decodeImage(const std::vector<std::uint8_t>& bytes);

// The first width * height bytes as a luminance plane, row by row; a longer file is fine
// (planar camera formats keep luminance first), a shorter one is an InputError.
Velmora::Image::GrayBuf rawPlane(const std::vector<std::uint8_t>& bytes, int width, int height);

// "640x480" -> true and the two numbers; false for anything else or a size out of range.
bool parseSize(const std::string& text, int& width, int& height);

}  // namespace AztecTools

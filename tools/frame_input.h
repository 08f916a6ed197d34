#pragma once
// Turns image files into frames for the decoder.

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

// PNG, JPEG, BMP, binary PGM/PPM: colour becomes luminance with the integer weights
// (77 R + 150 G + 29 B) >> 8. InputError for anything else, a truncated or oversized image.
Velmora::Image::GrayBuf decodeImage(const std::vector<std::uint8_t>& bytes);

// "640x480" -> true and the two numbers; false for anything else or a size out of range.
bool parseSize(const std::string& text, int& width, int& height);

}  // namespace AztecTools

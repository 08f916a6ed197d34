// Decodes the Aztec symbol in one image file with the installed core.
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include <cstdio>
#include <string>

#include "decoder/decoder.h"

int main(int argc, char** argv) {
  int w = 0, h = 0, channels = 0;
  unsigned char* pixels = argc == 2 ? stbi_load(argv[1], &w, &h, &channels, 1) : nullptr;  // 1 = luminance
  if (!pixels) return std::fprintf(stderr, "usage: consumer IMAGE (a readable PNG/JPEG/BMP)\n"), 2;
  Velmora::Image::GrayBuf frame = Velmora::Image::GrayBuf::fromBytes(pixels, w, h);
  stbi_image_free(pixels);

  Aztec::Decoder decoder;
  std::string status;
  bool read = decoder.decode(frame, status) == Aztec::DataRead;
  std::printf("%s\n", read ? decoder.resultText().c_str() : status.c_str());
  return read ? 0 : 1;
}

// Reads every Aztec symbol in one image file with the installed library.
#define STB_IMAGE_IMPLEMENTATION
#include <aztec/reader.h>
#include <stb/stb_image.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  int w = 0, h = 0, channels = 0;
  unsigned char* pixels = argc == 2 ? stbi_load(argv[1], &w, &h, &channels, 1) : nullptr;  // 1 = luminance
  if (!pixels) return std::fprintf(stderr, "usage: consumer IMAGE (a readable PNG/JPEG/BMP)\n"), 2;

  const Aztec::WholeFrameReader reader;
  const std::vector<Aztec::ReadResult> symbols = reader.read({pixels, w, h, w});
  stbi_image_free(pixels);
  for (const Aztec::ReadResult& symbol : symbols) std::printf("%s\n", symbol.text.c_str());
  return symbols.empty() ? 1 : 0;
}

// Prepares the Windows client's input on Linux: each image as a raw luminance plane, and the
// answer the Linux component (the shared library, loaded as a host loads it) gives for it.
//
//   export-windows-frames OUT_DIR IMAGE...
//
// Writes OUT_DIR/<image name>.luma and OUT_DIR/frames.txt with one line per image: the .luma
// file, width, height and the answer as UTF-16 units in hex ("-" for the empty string).

#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "frame_input.h"
#include "support/component_loader.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: export-windows-frames OUT_DIR IMAGE...\n");
    return 2;
  }
  try {
    const std::string dir = argv[1];
    AztecTest::Component component;
    IInspectable* reader = component.activate();
    std::ofstream list(dir + "/frames.txt");
    for (int i = 2; i < argc; ++i) {
      std::ifstream file(argv[i], std::ios::binary);
      const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
      if (!file.good() && !file.eof()) throw std::runtime_error(std::string("cannot read ") + argv[i]);
      const auto image = AztecTools::decodeImage(bytes);
      std::vector<std::uint8_t> pixels;
      for (int y = 0; y < image.height(); ++y)
        pixels.insert(pixels.end(), image.row(y), image.row(y) + image.width());

      std::string name = argv[i];
      name = name.substr(name.find_last_of('/') + 1) + ".luma";
      std::ofstream(dir + "/" + name, std::ios::binary)
          .write(reinterpret_cast<const char*>(pixels.data()), static_cast<std::streamsize>(pixels.size()));

      const auto answer = component.read(reader, pixels, image.width(), image.height());
      if (answer.hr != S_OK) throw std::runtime_error(name + ": readAztecCamera failed");
      std::string units;
      char unit[8];
      for (char16_t c : answer.text) {
        std::snprintf(unit, sizeof unit, "%04x", static_cast<unsigned>(c));
        units += unit;
      }
      list << name << ' ' << image.width() << ' ' << image.height() << ' ' << (units.empty() ? "-" : units)
           << '\n';
    }
    reader->Release();
    if (!list.flush()) throw std::runtime_error("cannot write " + dir + "/frames.txt");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "export-windows-frames: %s\n", e.what());
    return 1;
  }
  return 0;
}

// make-samples: writes the bundled sample frames (real symbols made by libzint, rendered like
// camera frames) and the list of what each should read as.
// Usage: make-samples OUTPUT_DIR

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#endif
#include <stb/stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

#include "synth/symbol_frames.h"
#include "text_output.h"

namespace {

struct Sample {
  std::string file;
  std::string what;
  std::string message;  // Latin-1 bytes
  AztecTest::SymbolKind kind;
  int layers;
  AztecTest::RenderOptions render;
};

std::vector<Sample> samples() {
  std::vector<Sample> list;
  // Small frames keep the committed PNGs small; the noise is what costs bytes.
  {
    Sample s{"compact-ticket.png",           "upright", "TKT 4471-0923 ZONE B SEAT 14C",
             AztecTest::SymbolKind::Compact, 0,         {}};
    s.render.moduleSize = 7.0;
    s.render.blurSigma = 0.8;
    s.render.noiseSigma = 3.0;
    s.render.seed = 11;
    s.render.width = 480;
    s.render.height = 360;
    list.push_back(s);
  }
  {
    Sample s{"full-range-boarding.png",
             "upright, slightly off centre",
             "BOARDING PASS / Flight VL2217 OSL-AMS / 18MAR 07:45 / Gate D12 / Seat 23A / "
             "NORDAHL/INGRID MS / Ref 7QK4ZP / Seq 0142",
             AztecTest::SymbolKind::FullRange,
             0,
             {}};
    s.render.moduleSize = 5.0;
    s.render.centerX = 250.0;
    s.render.centerY = 176.0;
    s.render.blurSigma = 0.9;
    s.render.noiseSigma = 3.0;
    s.render.seed = 12;
    s.render.width = 480;
    s.render.height = 360;
    list.push_back(s);
  }
  {
    Sample s{"rotated-mirrored.png",
             "mirrored, then turned 90 degrees clockwise, tilted 6 degrees",
             "Mirror image, turned 90\xB0: \xC6r\xF8sk\xF8"
             "bing 5970",
             AztecTest::SymbolKind::Compact,
             0,
             {}};
    s.render.moduleSize = 6.5;
    s.render.rotation = 1;
    s.render.mirrored = true;
    s.render.tiltDegrees = 6.0;
    s.render.blurSigma = 1.0;
    s.render.noiseSigma = 3.0;
    s.render.seed = 13;
    s.render.width = 480;
    s.render.height = 360;
    list.push_back(s);
  }
  {
    Sample s{"upside-down-order.png",
             "turned 180 degrees, tilted 12 degrees",
             "ORDER 2024-000187 TOTAL 1249.50 EUR PAID",
             AztecTest::SymbolKind::FullRange,
             0,
             {}};
    s.render.moduleSize = 6.0;
    s.render.rotation = 2;
    s.render.tiltDegrees = 12.0;
    s.render.blurSigma = 1.1;
    s.render.noiseSigma = 3.0;
    s.render.seed = 14;
    s.render.width = 480;
    s.render.height = 360;
    list.push_back(s);
  }
  return list;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make-samples OUTPUT_DIR\n";
    return 2;
  }
  const std::string dir = argv[1];
  stbi_write_png_compression_level = 9;
  std::string table;
  std::string expected;
  for (const Sample& s : samples()) {
    AztecTest::SymbolRequest request;
    request.message.assign(s.message.begin(), s.message.end());
    request.kind = s.kind;
    request.layers = s.layers;
    AztecTest::EncodedSymbol symbol = AztecTest::encodeSymbol(request);
    Velmora::Image::GrayBuf frame = AztecTest::renderSymbol(symbol, s.render);

    std::vector<std::uint8_t> plane;
    for (int y = 0; y < frame.height(); ++y)
      for (int x = 0; x < frame.width(); ++x) plane.push_back(frame.pixelAt(x, y));
    const std::string path = dir + "/" + s.file;
    if (!stbi_write_png(path.c_str(), frame.width(), frame.height(), 1, plane.data(), frame.width())) {
      std::cerr << "make-samples: cannot write " << path << "\n";
      return 1;
    }

    const std::string text = AztecTools::latin1ToUtf8(request.message);
    table += "| `" + s.file + "` | " + (symbol.compact ? "compact, " : "full-range, ") +
             std::to_string(symbol.layers) + " layers, " + std::to_string(symbol.size) + "x" +
             std::to_string(symbol.size) + " modules; " + s.what + " | `" + text + "` |\n";
    expected += "samples/" + s.file + ": " + text + "\n";
    std::cout << path << ": " << (symbol.compact ? "compact " : "full-range ") << symbol.layers
              << " layers\n";
  }

  std::ofstream readme(dir + "/README.md");
  readme << "# Sample frames\n\n"
            "Camera-like 480x360 grayscale frames of real Aztec symbols (made by libzint, rendered with\n"
            "blur, noise and the turns listed). Written by the `make-samples` program\n"
            "(`tools/make_samples.cpp`); regenerate with\n\n"
            "```sh\ncmake --build build/default --target make-samples && build/default/tools/make-samples "
            "samples\n```\n\n"
            "`aztec-read samples/*.png` prints each file's message, exactly as in `expected-output.txt`\n"
            "(bytes above 0x7F are Latin-1 characters, shown in UTF-8).\n\n"
            "| file | symbol | message |\n|---|---|---|\n"
         << table;
  std::ofstream out(dir + "/expected-output.txt");
  out << expected;
  if (!readme || !out) {
    std::cerr << "make-samples: cannot write the lists in " << dir << "\n";
    return 1;
  }
  return 0;
}

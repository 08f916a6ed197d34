// Writes the entry fuzzer's seed frames: small frames holding real libzint symbols (and one
// without a symbol), each checked to decode as intended before it is written. Input layout of
// the entry fuzzer: width and height as int32 little-endian, then width x height pixels.
//
//   fuzz_make_entry_seeds <output directory>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "decoder/decoder.h"
#include "synth/symbol_frames.h"

namespace {

using AztecTest::EncodedSymbol;
using AztecTest::RenderOptions;
using AztecTest::SymbolKind;

struct Seed {
  std::string name;
  Velmora::Image::GrayBuf frame;
  int expectedStatus;
  std::vector<std::uint8_t> expectedBytes;  // only for DataRead
};

RenderOptions frameOf(int side, double moduleSize, int rotation = 0, bool mirrored = false) {
  RenderOptions o;
  o.width = o.height = side;
  o.moduleSize = moduleSize;
  o.rotation = rotation;
  o.mirrored = mirrored;
  return o;
}

Seed readable(std::string name, const EncodedSymbol& symbol, const RenderOptions& options) {
  return {std::move(name), AztecTest::renderSymbol(symbol, options), Aztec::DataRead, symbol.message};
}

std::vector<std::uint8_t> serialise(const Velmora::Image::GrayBuf& frame) {
  std::vector<std::uint8_t> out;
  auto put32 = [&](std::int32_t v) {
    for (int i = 0; i < 4; ++i)
      out.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i)));
  };
  put32(frame.width());
  put32(frame.height());
  for (int y = 0; y < frame.height(); ++y)
    for (int x = 0; x < frame.width(); ++x) out.push_back(frame.pixelAt(x, y));
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];

  std::vector<Seed> seeds;
  seeds.push_back(
      readable("compact1_64", AztecTest::encodeText("HELLO", SymbolKind::Compact, 1), frameOf(64, 3.0)));
  seeds.push_back(readable("compact2_rot1_80",
                           AztecTest::encodeText("Seat 12a, car 7", SymbolKind::Compact, 2),
                           frameOf(80, 3.0, 1)));
  seeds.push_back(readable("full1_mirrored_100",
                           AztecTest::encodeText("Paris 07:45", SymbolKind::FullRange, 1),
                           frameOf(100, 3.0, 0, true)));
  {
    AztecTest::SymbolRequest request;
    request.message = {'a', 0xE9, 0x00, 'z', 0xFF, 0x10};  // binary shift, a zero byte
    request.kind = SymbolKind::Compact;
    request.layers = 3;
    seeds.push_back(
        readable("compact3_binary_rot2_96", AztecTest::encodeSymbol(request), frameOf(96, 3.0, 2)));
  }
  seeds.push_back(readable("full3_rot3_120",
                           AztecTest::encodeText("0123456789 DIGITS and lower", SymbolKind::FullRange, 3),
                           frameOf(120, 3.5, 3)));
  {
    // Finder and mode message intact, the outermost layer inverted: found, data unreadable.
    EncodedSymbol symbol = AztecTest::encodeText("Damaged outer layer", SymbolKind::Compact, 2);
    std::vector<std::pair<int, int>> flips;
    for (int i = 0; i < symbol.size; ++i) {
      flips.push_back({0, i});
      flips.push_back({symbol.size - 1, i});
      flips.push_back({1, i});
      flips.push_back({symbol.size - 2, i});
    }
    AztecTest::flipModules(symbol, flips);
    seeds.push_back(
        {"compact2_unreadable_80", AztecTest::renderSymbol(symbol, frameOf(80, 3.0)), Aztec::Detected, {}});
  }
  {
    // No symbol: 4-pixel blocks of random gray, so the search has edges to follow and fails.
    std::vector<std::uint8_t> pixels(64 * 64);
    std::uint32_t state = 12345;
    for (int by = 0; by < 16; ++by)
      for (int bx = 0; bx < 16; ++bx) {
        state = state * 1664525u + 1013904223u;
        for (int y = 0; y < 4; ++y)
          for (int x = 0; x < 4; ++x)
            pixels[(by * 4 + y) * 64 + bx * 4 + x] = static_cast<std::uint8_t>(state >> 24);
      }
    seeds.push_back({"no_symbol_blocks_64",
                     Velmora::Image::GrayBuf::fromBytes(pixels.data(), 64, 64),
                     Aztec::NotRead,
                     {}});
  }

  int failures = 0;
  for (const Seed& seed : seeds) {
    Aztec::Decoder decoder;
    std::string status;
    const int got = decoder.decode(seed.frame, status);
    const bool ok = got == seed.expectedStatus &&
                    (got != Aztec::DataRead || decoder.decodedBytes() == seed.expectedBytes);
    std::printf("%-26s %dx%d status %d %s\n", seed.name.c_str(), seed.frame.width(), seed.frame.height(), got,
                ok ? "as intended" : "NOT AS INTENDED");
    if (!ok) {
      ++failures;
      continue;
    }
    const std::vector<std::uint8_t> bytes = serialise(seed.frame);
    std::ofstream out(dir + "/" + seed.name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      std::fprintf(stderr, "cannot write %s/%s\n", dir.c_str(), seed.name.c_str());
      ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}

#pragma once
// Frames for the repeated and concurrent decode tests, one or more per outcome: a symbol read,
// a symbol found whose data cannot be read, no symbol at all. Each frame carries the outcome it
// was made for, which the tests check before they rely on it.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "decoder/decoder.h"
#include "synth/symbol_frames.h"

namespace AztecTest {

struct OutcomeFrame {
  std::string name;
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;     // row by row, width x height bytes
  int intendedStatus = Aztec::NotRead;  // the Decoder's DecodeStatus
  std::vector<std::uint8_t> message;    // the bytes for DataRead, empty otherwise
};

// What readAztecCamera answers for decoded bytes: one UTF-16 unit per byte, cut before the
// first zero byte.
inline std::u16string entryText(const std::vector<std::uint8_t>& bytes) {
  std::u16string text;
  for (std::uint8_t b : bytes) {
    if (b == 0) break;
    text.push_back(b);
  }
  return text;
}

// side x side frames with modules of moduleSize pixels.
inline std::vector<OutcomeFrame> outcomeFrames(int side, double moduleSize) {
  auto rendered = [&](std::string name, const EncodedSymbol& symbol, int status, int rotation,
                      bool mirrored) {
    RenderOptions o{.width = side, .height = side, .moduleSize = moduleSize, .rotation = rotation};
    o.mirrored = mirrored;
    const Velmora::Image::GrayBuf image = renderSymbol(symbol, o);
    OutcomeFrame frame{std::move(name), side, side, {image.row(0), image.row(0) + side * side}, status, {}};
    if (status == Aztec::DataRead) frame.message = symbol.message;
    return frame;
  };

  std::vector<OutcomeFrame> frames;
  frames.push_back(rendered("compact read", encodeText("Thread 1 of 4", SymbolKind::Compact, 2),
                            Aztec::DataRead, 1, false));
  frames.push_back(rendered("full-range read", encodeText("Full range, mirrored", SymbolKind::FullRange, 2),
                            Aztec::DataRead, 0, true));
  // Bytes above 127 and a zero byte: the entry widens and cuts them.
  frames.push_back(rendered(
      "binary read",
      encodeSymbol({.message = {'x', 0xE9, 'y', 0x00, 'z'}, .kind = SymbolKind::Compact, .layers = 3}),
      Aztec::DataRead, 2, false));
  {
    // Finder and mode message intact, every third module of the outer layer inverted: far more
    // broken codewords than the check words can correct.
    EncodedSymbol symbol = encodeText("Damaged outer layer", SymbolKind::Compact, 2);
    std::vector<std::pair<int, int>> flips;
    const int n = symbol.size;
    for (int r = 0; r < n; ++r)
      for (int c = 0; c < n; ++c) {
        const bool outerLayer = r < 2 || c < 2 || r >= n - 2 || c >= n - 2;
        if (outerLayer && (r + c) % 3 == 0) flips.push_back({r, c});
      }
    flipModules(symbol, flips);
    frames.push_back(rendered("data unreadable", symbol, Aztec::Detected, 0, false));
  }
  {
    // No symbol: 4-pixel blocks of pseudo-random gray give the search edges to follow.
    OutcomeFrame frame{"no symbol", side, side, {}, Aztec::NotRead, {}};
    frame.pixels.resize(static_cast<std::size_t>(side) * side);
    std::uint32_t state = 2024;
    for (int by = 0; by < side; by += 4)
      for (int bx = 0; bx < side; bx += 4) {
        state = state * 1664525u + 1013904223u;
        for (int y = by; y < by + 4 && y < side; ++y)
          for (int x = bx; x < bx + 4 && x < side; ++x)
            frame.pixels[static_cast<std::size_t>(y) * side + x] = state >> 24;
      }
    frames.push_back(std::move(frame));
  }
  return frames;
}

}  // namespace AztecTest

#pragma once
// Helpers shared by the whole-frame reader's tests: frames in, texts out, module patterns.

#include <aztec/reader.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "synth/symbol_frames.h"

namespace AztecTest {

using Bytes = std::vector<std::uint8_t>;

inline Bytes bytesOf(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

inline std::string textOf(const Bytes& b) {
  return std::string(b.begin(), b.end());
}

inline double uniform(std::mt19937& g, double lo, double hi) {
  return lo + (hi - lo) * (g() / 4294967296.0);
}

inline Aztec::LumaView viewOf(const Velmora::Image::GrayBuf& img) {
  return {img.row(0), img.width(), img.height(), img.stride()};
}

inline std::vector<Aztec::ReadResult> readFrame(const Velmora::Image::GrayBuf& img,
                                                const Aztec::ReaderOptions& options = {},
                                                Aztec::ReadTrace* trace = nullptr) {
  return Aztec::WholeFrameReader(options).read(viewOf(img), trace);
}

// A module pattern drawn by the symbol renderer, so it gets the same geometry and optics.
template <class Dark>
EncodedSymbol pattern(int n, Dark dark) {
  EncodedSymbol e;
  e.size = n;
  e.modules.assign(n, std::vector<bool>(n));
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c) e.modules[r][c] = dark(r, c);
  return e;
}

}  // namespace AztecTest

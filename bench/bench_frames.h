#pragma once
// Frames for the benchmarks, made once outside the timed loops: plain frames without a symbol
// and real symbols (libzint, the test renderer) with a little blur and sensor noise.

#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "image/gray_buf.h"
#include "synth/symbol_frames.h"

namespace AztecBench {

struct Frame {
  Velmora::Image::GrayBuf image;
  std::vector<std::uint8_t> expected;  // empty: no symbol to read
};

inline Frame uniformFrame(int w, int h, std::uint8_t level = 128) {
  const std::vector<std::uint8_t> bytes(static_cast<std::size_t>(w) * h, level);
  return {Velmora::Image::GrayBuf::fromBytes(bytes.data(), w, h), {}};
}

// Every pixel drawn uniformly from 0..255.
inline Frame noiseFrame(int w, int h) {
  std::mt19937 rng(640480);
  std::uniform_int_distribution<int> level(0, 255);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(w) * h);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(level(rng));
  return {Velmora::Image::GrayBuf::fromBytes(bytes.data(), w, h), {}};
}

// The longest mixed-case text (up to `longest` characters) that the encoder fits into exactly
// `layers` layers, so that large symbols carry a full data block rather than padding.
inline AztecTest::EncodedSymbol filledSymbol(AztecTest::SymbolKind kind, int layers, int longest) {
  static const std::string alphabet = "Aztec Code 0123456789 Reader, benchmark text: ";
  for (int length = longest; length > 0; length = length * 9 / 10) {
    std::string text;
    for (int i = 0; i < length; ++i) text += alphabet[static_cast<std::size_t>(i) % alphabet.size()];
    try {
      return AztecTest::encodeText(text, kind, layers);
    } catch (const std::runtime_error&) {
      // too long for this size: shorter
    }
  }
  throw std::runtime_error("no text fits");
}

// The symbol upright in the middle of a w x h frame.
inline Frame symbolFrame(const AztecTest::EncodedSymbol& symbol, double moduleSize, int w, int h) {
  AztecTest::RenderOptions options;
  options.width = w;
  options.height = h;
  options.moduleSize = moduleSize;
  options.blurSigma = 0.6;
  options.noiseSigma = 4.0;
  return {AztecTest::renderSymbol(symbol, options), symbol.message};
}

}  // namespace AztecBench

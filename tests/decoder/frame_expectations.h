#pragma once
// Expectations for whole-frame decodes of libzint symbols: the text the exact decoder returns
// for a clean read and the number of codewords that the data path reads wrong.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "detect/detector.h"
#include "image/gray_buf.h"
#include "support/symbol_frames.h"
#include "symbol/codeword_correction.h"
#include "symbol/data_layers.h"
#include "symbol/high_level_decoder.h"
#include "symbol/mode_message.h"

namespace Aztec {

struct Outcome {
  int status = 0;
  std::string statusText;
  std::string text;
};

inline Outcome decodeFrame(const Velmora::Image::GrayBuf& frame) {
  Decoder decoder;
  Outcome out;
  out.status = decoder.decode(frame, out.statusText);
  out.text = decoder.resultText();
  return out;
}

// A mixed-mode text of about a third of what the symbol holds; made once per size.
inline const AztecTest::EncodedSymbol& fillerSymbol(bool compact, int layers) {
  static std::map<std::pair<bool, int>, AztecTest::EncodedSymbol> cache;
  auto [it, made] = cache.try_emplace({compact, layers});
  if (made) {
    const int chars = std::max(1, ((compact ? 88 : 112) * layers + 16 * layers * layers) / 18);
    static const std::string pattern = "Aztec 2026 Ticket#42 Berlin-Paris 07:45 seat 12A; ";
    std::string text;
    for (int i = 0; static_cast<int>(text.size()) < chars; ++i) text += pattern[i % pattern.size()];
    it->second = AztecTest::encodeText(
        text, compact ? AztecTest::SymbolKind::Compact : AztecTest::SymbolKind::FullRange, layers);
  }
  return it->second;
}

// The symbol centred in a 640 x 480 frame.
inline Velmora::Image::GrayBuf renderCentred(const AztecTest::EncodedSymbol& s, double module,
                                             int rotation = 0, bool mirrored = false, double tilt = 0) {
  AztecTest::RenderOptions o;
  o.moduleSize = module, o.rotation = rotation, o.mirrored = mirrored, o.tiltDegrees = tilt;
  return AztecTest::renderSymbol(s, o);
}

inline SymbolCandidate expectedCandidate(const AztecTest::EncodedSymbol& symbol, int rotation,
                                         bool mirrored) {
  SymbolCandidate c;
  c.symbolType = symbol.compact ? kCompact : kFullRange;
  const ModeParameters& p =
      symbol.compact ? compactParameters(symbol.layers) : fullRangeParameters(symbol.layers);
  c.layers = symbol.layers;
  c.dataCodewords = symbol.dataCodewords;
  c.codewordSize = p.codewordSize;
  c.totalCodewords = p.totalCodewords;
  c.symbolSize = p.symbolSize;
  c.leadingBits = p.leadingBits;
  c.rotation = rotation;
  c.mirrored = mirrored;
  return c;
}

// The encoder's matrix as a grid [column][row].
inline SampledGrid gridOf(const AztecTest::EncodedSymbol& symbol) {
  SampledGrid grid(symbol.size, std::vector<bool>(symbol.size));
  for (int y = 0; y < symbol.size; ++y)
    for (int x = 0; x < symbol.size; ++x) grid[x][y] = symbol.modules[y][x];
  return grid;
}

// The codewords the encoder wrote, read from its upright matrix (no wrap loss at rotation 0).
inline std::vector<int> trueCodewords(const AztecTest::EncodedSymbol& symbol) {
  SymbolCandidate c = expectedCandidate(symbol, 0, false);
  BitRing raw = extractDataBits(c, gridOf(symbol));
  return readCodewords(raw, c.leadingBits, c.totalCodewords, c.codewordSize);
}

// The clean read's text: the full-length data bits decoded (the message plus what padding and
// unstuffed zeros may form); checks that the unstuffed length alone gives the message.
inline std::string expectedText(const AztecTest::EncodedSymbol& symbol) {
  SymbolCandidate c = expectedCandidate(symbol, 0, false);
  BitRing raw = extractDataBits(c, gridOf(symbol));
  std::optional<BitRing> data = correctDataBits(raw, c);
  EXPECT_TRUE(data.has_value());
  if (!data) return {};
  // Stuffed bits: data codewords whose first codewordSize - 1 bits are equal.
  const std::vector<int> words = trueCodewords(symbol);
  int stuffed = 0;
  for (int i = 0; i < c.dataCodewords; ++i)
    stuffed += (words[i] >> 1) == 0 || (words[i] >> 1) == (1 << (c.codewordSize - 1)) - 1;
  BitRing exact(data->size() - stuffed);
  for (std::size_t i = 0; i < exact.size(); ++i)
    exact.set(static_cast<long long>(i), data->get(static_cast<long long>(i)));
  std::vector<std::uint8_t> exactBytes = decodeHighLevel(&exact);
  EXPECT_EQ(std::string(exactBytes.begin(), exactBytes.end()),
            std::string(symbol.message.begin(), symbol.message.end()));
  std::vector<std::uint8_t> full = decodeHighLevel(&*data);
  return std::string(full.begin(), full.end());
}

// Codewords that the data path reads wrong from this frame: the count the correction must report.
inline int wrongCodewords(const Velmora::Image::GrayBuf& frame, const AztecTest::EncodedSymbol& symbol) {
  Detector detector;
  detector.setImage(frame);
  SymbolCandidate c = detector.createCandidates().front();
  if (!detector.detect(c)) return -1;
  SampledGrid grid = detector.sampleDataGrid(c);
  BitRing raw = extractDataBits(c, grid);
  std::vector<int> seen = readCodewords(raw, c.leadingBits, c.totalCodewords, c.codewordSize);
  std::vector<int> truth = trueCodewords(symbol);
  int wrong = 0;
  for (std::size_t i = 0; i < truth.size(); ++i) wrong += seen.at(i) != truth[i];
  return wrong;
}

inline int errorCountOf(const std::string& statusText) {
  auto pos = statusText.find(" #err=");
  return pos == std::string::npos ? -1 : std::stoi(statusText.substr(pos + 6));
}

}  // namespace Aztec

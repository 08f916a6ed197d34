// Whole-frame decodes of real symbols made by libzint: detection reports what the encoder
// made, and the data path returns the message with the right correction count.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "detect/detector.h"
#include "symbol/codeword_correction.h"
#include "symbol/data_layers.h"
#include "symbol/high_level_decoder.h"
#include "symbol/mode_message.h"
#include "support/symbol_frames.h"

namespace Aztec {
namespace {

using AztecTest::EncodedSymbol;
using AztecTest::RenderOptions;
using AztecTest::SymbolKind;

struct FrameCase {
  bool compact = false;
  int layers = 0;
  double moduleSize = 0;
  int rotation = 0;
  bool mirrored = false;
  std::string name() const {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s%d_m%.1f_r%d%s", compact ? "C" : "F", layers, moduleSize, rotation,
                  mirrored ? "_mirrored" : "");
    return buf;
  }
};

// A message that fills roughly a third of the symbol's capacity with a mix of modes.
std::string messageFor(bool compact, int layers) {
  const int bits = (compact ? 88 : 112) * layers + 16 * layers * layers;
  const int chars = std::max(1, bits / 3 / 6);
  static const std::string pattern = "Aztec 2026 Ticket#42 Berlin-Paris 07:45 seat 12A; ";
  std::string text;
  for (int i = 0; static_cast<int>(text.size()) < chars; ++i) text += pattern[i % pattern.size()];
  return text;
}

const EncodedSymbol& symbolFor(bool compact, int layers) {
  static std::map<std::pair<bool, int>, EncodedSymbol> cache;
  auto key = std::make_pair(compact, layers);
  auto it = cache.find(key);
  if (it == cache.end()) {
    it = cache
             .emplace(key, AztecTest::encodeText(messageFor(compact, layers),
                                                 compact ? SymbolKind::Compact : SymbolKind::FullRange, layers))
             .first;
  }
  return it->second;
}

// Module sizes from 3 to 7 pixels, varied over the cases, as large as fits 640 x 480 with a
// quiet zone.
std::vector<FrameCase> centredCases() {
  std::vector<FrameCase> cases;
  auto add = [&](bool compact, int layers, int size) {
    for (int mirrored = 0; mirrored < 2; ++mirrored) {
      for (int rotation = 0; rotation < 4; ++rotation) {
        int module = 3 + (layers + rotation + 2 * mirrored) % 5;
        while (module > 3 && (size + 4) * module > 480) --module;
        if ((size + 2) * module > 480) continue;
        cases.push_back({compact, layers, static_cast<double>(module), rotation, mirrored != 0});
      }
    }
  };
  for (int layers = 1; layers <= 4; ++layers) add(true, layers, 11 + 4 * layers);
  for (int layers = 1; layers <= 32; ++layers) add(false, layers, symbolFor(false, layers).size);
  return cases;
}

struct Outcome {
  int status = 0;
  std::string statusText;
  std::string text;
};

Outcome decodeFrame(const Velmora::Image::GrayBuf& frame) {
  Decoder decoder;
  Outcome out;
  out.status = decoder.decode(frame, out.statusText);
  out.text = decoder.resultText();
  return out;
}

SymbolCandidate expectedCandidate(const EncodedSymbol& symbol, int rotation, bool mirrored) {
  SymbolCandidate c;
  c.symbolType = symbol.compact ? kCompact : kFullRange;
  const ModeParameters& p = symbol.compact ? compactParameters(symbol.layers) : fullRangeParameters(symbol.layers);
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
SampledGrid gridOf(const EncodedSymbol& symbol) {
  SampledGrid grid(symbol.size, std::vector<bool>(symbol.size));
  for (int y = 0; y < symbol.size; ++y)
    for (int x = 0; x < symbol.size; ++x) grid[x][y] = symbol.modules[y][x];
  return grid;
}

// The codewords the encoder wrote, read from its upright matrix (no wrap loss at rotation 0).
std::vector<int> trueCodewords(const EncodedSymbol& symbol) {
  SymbolCandidate c = expectedCandidate(symbol, 0, false);
  BitRing raw = extractDataBits(c, gridOf(symbol));
  return readCodewords(raw, c.leadingBits, c.totalCodewords, c.codewordSize);
}

// What the decoder should return for a clean read: the message, plus the character that the
// padding and the zeros left by unstuffing may form at the end of the full-length data bits.
// Checks on the way that decoding only the unstuffed length gives the message exactly.
std::string expectedText(const EncodedSymbol& symbol) {
  SymbolCandidate c = expectedCandidate(symbol, 0, false);
  BitRing raw = extractDataBits(c, gridOf(symbol));
  std::optional<BitRing> data = correctDataBits(raw, c);
  EXPECT_TRUE(data.has_value());
  if (!data) return {};
  // Stuffed bits: data codewords whose first codewordSize - 1 bits are equal.
  std::vector<int> words = trueCodewords(symbol);
  int stuffed = 0;
  for (int i = 0; i < c.dataCodewords; ++i) {
    int top = words[i] >> 1;
    if (top == 0 || top == (1 << (c.codewordSize - 1)) - 1) ++stuffed;
  }
  BitRing exact(data->size() - stuffed);
  for (std::size_t i = 0; i < exact.size(); ++i) exact.set(static_cast<long long>(i), data->get(static_cast<long long>(i)));
  std::vector<std::uint8_t> exactBytes = decodeHighLevel(&exact);
  EXPECT_EQ(std::string(exactBytes.begin(), exactBytes.end()),
            std::string(symbol.message.begin(), symbol.message.end()));
  std::vector<std::uint8_t> full = decodeHighLevel(&*data);
  return std::string(full.begin(), full.end());
}

// Codewords that the data path reads wrong from this frame: the count the correction must report.
int wrongCodewords(const Velmora::Image::GrayBuf& frame, const EncodedSymbol& symbol) {
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

int errorCountOf(const std::string& statusText) {
  auto pos = statusText.find(" #err=");
  return pos == std::string::npos ? -1 : std::stoi(statusText.substr(pos + 6));
}

Velmora::Image::GrayBuf render(const EncodedSymbol& symbol, const FrameCase& fc) {
  RenderOptions options;
  options.moduleSize = fc.moduleSize;
  options.rotation = fc.rotation;
  options.mirrored = fc.mirrored;
  return AztecTest::renderSymbol(symbol, options);
}

class CentredFrames : public ::testing::Test {};

// Every compact size and every full-range size that fits, at four rotations, mirrored and not.
TEST_F(CentredFrames, FoundSymbolsReportTheEncodersParametersAndMessage) {
  std::set<std::string> unfound, detectedOnly;
  int found = 0, fullFound = 0, fullTotal = 0;
  for (const FrameCase& fc : centredCases()) {
    SCOPED_TRACE(fc.name());
    const EncodedSymbol& symbol = symbolFor(fc.compact, fc.layers);
    Velmora::Image::GrayBuf frame = render(symbol, fc);
    Outcome out = decodeFrame(frame);
    if (!fc.compact) ++fullTotal;
    if (out.status == NotRead) {
      unfound.insert(fc.name());
      continue;
    }
    ++found;
    if (!fc.compact) ++fullFound;
    // Mirroring the picture and then turning it clockwise equals turning it anticlockwise and then
    // mirroring: once the reader undoes the mirror, the symbol stands turned the other way.
    const int rotation = fc.mirrored ? (4 - fc.rotation) % 4 : fc.rotation;
    const std::string report = Decoder::symbolInfo(expectedCandidate(symbol, rotation, fc.mirrored));
    EXPECT_EQ(out.status, DataRead) << out.statusText;
    if (out.status != DataRead) {
      detectedOnly.insert(fc.name());
      continue;
    }
    EXPECT_EQ(out.statusText.substr(0, 10 + report.size()), "Read data " + report);
    EXPECT_EQ(out.text, expectedText(symbol));
    EXPECT_EQ(errorCountOf(out.statusText), wrongCodewords(frame, symbol));
  }
  std::string list;
  for (const auto& n : unfound) list += n + " ";
  std::printf("found %d frames (%d of %d full-range); not found: %s\n", found, fullFound, fullTotal, list.c_str());
  list.clear();
  for (const auto& n : detectedOnly) list += n + " ";
  std::printf("found but data not read: %s\n", list.c_str());
  EXPECT_GE(fullFound * 100, fullTotal * 95) << list;
}

}  // namespace
}  // namespace Aztec

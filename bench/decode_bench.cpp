// Whole-frame decodes through Aztec::Decoder: frames without a symbol (the full search runs and
// fails), a compact symbol, full-range symbols up to the largest (32 layers, 151 modules) and a
// 720p frame. The frames are made once, outside the timed loop.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "image/gray_buf.h"
#include "support/symbol_frames.h"

namespace {

using AztecTest::SymbolKind;
using Velmora::Image::GrayBuf;

struct Frame {
  GrayBuf image;
  std::vector<std::uint8_t> expected;  // empty: no symbol to read
};

GrayBuf uniformFrame(int w, int h, std::uint8_t level) {
  const std::vector<std::uint8_t> bytes(static_cast<std::size_t>(w) * h, level);
  return GrayBuf::fromBytes(bytes.data(), w, h);
}

GrayBuf noiseFrame(int w, int h) {
  std::mt19937 rng(640480);
  std::uniform_int_distribution<int> level(0, 255);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(w) * h);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(level(rng));
  return GrayBuf::fromBytes(bytes.data(), w, h);
}

// The longest mixed-case text (up to `longest` characters) that the encoder fits into exactly
// `layers` layers, so that the large symbols carry a full data block rather than padding.
AztecTest::EncodedSymbol filledSymbol(SymbolKind kind, int layers, int longest) {
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

Frame symbolFrame(SymbolKind kind, int layers, int longest, double moduleSize, int w, int h) {
  const AztecTest::EncodedSymbol symbol = filledSymbol(kind, layers, longest);
  AztecTest::RenderOptions options;
  options.width = w;
  options.height = h;
  options.moduleSize = moduleSize;
  options.blurSigma = 0.6;
  options.noiseSigma = 4.0;
  return {AztecTest::renderSymbol(symbol, options), symbol.message};
}

enum FrameId { kUniform, kNoise, kCompact2, kFull5, kFull15, kFull32, kHd15 };

const Frame& frame(FrameId id) {
  static std::map<FrameId, Frame> frames;
  auto it = frames.find(id);
  if (it != frames.end()) return it->second;
  Frame f;
  switch (id) {
    case kUniform: f.image = uniformFrame(640, 480, 128); break;
    case kNoise: f.image = noiseFrame(640, 480); break;
    case kCompact2: f = symbolFrame(SymbolKind::Compact, 2, 18, 6.0, 640, 480); break;
    case kFull5: f = symbolFrame(SymbolKind::FullRange, 5, 300, 5.0, 640, 480); break;
    case kFull15: f = symbolFrame(SymbolKind::FullRange, 15, 1200, 4.0, 640, 480); break;
    case kFull32: f = symbolFrame(SymbolKind::FullRange, 32, 4000, 3.0, 640, 480); break;
    case kHd15: f = symbolFrame(SymbolKind::FullRange, 15, 1200, 6.0, 1280, 720); break;
  }
  return frames.emplace(id, std::move(f)).first->second;
}

void BM_Decode(benchmark::State& state) {
  const Frame& f = frame(static_cast<FrameId>(state.range(0)));
  const int wanted = f.expected.empty() ? Aztec::NotRead : Aztec::DataRead;
  std::string status;
  for (auto _ : state) {
    Aztec::Decoder decoder;  // one per frame, as the component entry does
    const int result = decoder.decode(f.image, status);
    benchmark::DoNotOptimize(result);
    if (result != wanted || (wanted == Aztec::DataRead && decoder.decodedBytes() != f.expected)) {
      state.SkipWithError(("unexpected outcome: " + status).c_str());
      break;
    }
  }
  state.counters["bytes"] = static_cast<double>(f.expected.size());
}

BENCHMARK(BM_Decode)->Name("Decode/640x480_uniform")->Arg(kUniform)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Decode)->Name("Decode/640x480_noise")->Arg(kNoise)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Decode)->Name("Decode/640x480_compact_L2")->Arg(kCompact2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Decode)->Name("Decode/640x480_full_L5")->Arg(kFull5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Decode)->Name("Decode/640x480_full_L15")->Arg(kFull15)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Decode)->Name("Decode/640x480_full_L32_151mod")->Arg(kFull32)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Decode)->Name("Decode/1280x720_full_L15")->Arg(kHd15)->Unit(benchmark::kMicrosecond);

}  // namespace

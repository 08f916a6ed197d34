// Whole-frame reads through Aztec::WholeFrameReader: one symbol in a 640x480 and in a 1920x1080
// frame, and both sizes without a symbol (uniform and noise), where the full search runs and
// finds nothing. The frames are made once, outside the timed loop.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "image/gray_buf.h"
#include "reader/whole_frame_reader.h"
#include "support/symbol_frames.h"

namespace {

using AztecTest::SymbolKind;
using Velmora::Image::GrayBuf;

struct Frame {
  GrayBuf image;
  std::vector<std::uint8_t> expected;  // empty: no symbol to read
};

Frame plainFrame(int w, int h, bool noise) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(w) * h, 128);
  if (noise) {
    std::mt19937 rng(640480);
    std::uniform_int_distribution<int> level(0, 255);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(level(rng));
  }
  return {GrayBuf::fromBytes(bytes.data(), w, h), {}};
}

Frame symbolFrame(SymbolKind kind, int layers, const std::string& text, double moduleSize, int w, int h) {
  const AztecTest::EncodedSymbol symbol = AztecTest::encodeText(text, kind, layers);
  AztecTest::RenderOptions options;
  options.width = w;
  options.height = h;
  options.moduleSize = moduleSize;
  options.blurSigma = 0.6;
  options.noiseSigma = 4.0;
  return {AztecTest::renderSymbol(symbol, options), symbol.message};
}

enum FrameId { kVgaSymbol, kHdSymbol, kVgaUniform, kVgaNoise, kHdUniform, kHdNoise };

const Frame& frame(FrameId id) {
  static std::map<FrameId, Frame> frames;
  auto it = frames.find(id);
  if (it != frames.end()) return it->second;
  Frame f;
  switch (id) {
    case kVgaSymbol: f = symbolFrame(SymbolKind::Compact, 3, "TKT 4471-0923 ZONE B SEAT 14C", 5.0, 640, 480); break;
    case kHdSymbol:
      f = symbolFrame(SymbolKind::FullRange, 6, "BOARDING PASS / Flight VL2217 OSL-AMS / 18MAR 07:45", 6.0, 1920, 1080);
      break;
    case kVgaUniform: f = plainFrame(640, 480, false); break;
    case kVgaNoise: f = plainFrame(640, 480, true); break;
    case kHdUniform: f = plainFrame(1920, 1080, false); break;
    case kHdNoise: f = plainFrame(1920, 1080, true); break;
  }
  return frames.emplace(id, std::move(f)).first->second;
}

void BM_Read(benchmark::State& state) {
  const Frame& f = frame(static_cast<FrameId>(state.range(0)));
  const Aztec::LumaView view{f.image.row(0), f.image.width(), f.image.height(), f.image.stride()};
  const Aztec::WholeFrameReader reader;
  for (auto _ : state) {
    const std::vector<Aztec::ReadResult> results = reader.read(view);
    benchmark::DoNotOptimize(results.data());
    const bool ok = f.expected.empty() ? results.empty() : results.size() == 1 && results[0].bytes == f.expected;
    if (!ok) {
      state.SkipWithError(("unexpected outcome: " + std::to_string(results.size()) + " symbols").c_str());
      break;
    }
  }
  state.counters["bytes"] = static_cast<double>(f.expected.size());
}

BENCHMARK(BM_Read)->Name("Read/640x480_compact_L3")->Arg(kVgaSymbol)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read)->Name("Read/1920x1080_full_L6")->Arg(kHdSymbol)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read)->Name("Read/640x480_uniform")->Arg(kVgaUniform)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read)->Name("Read/640x480_noise")->Arg(kVgaNoise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read)->Name("Read/1920x1080_uniform")->Arg(kHdUniform)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read)->Name("Read/1920x1080_noise")->Arg(kHdNoise)->Unit(benchmark::kMillisecond);

}  // namespace

// Whole-frame decodes through Aztec::Decoder: frames without a symbol (the full search runs and
// fails), a compact symbol, full-range symbols up to the largest (32 layers, 151 modules) and a
// 720p frame. The frames are made once, outside the timed loop.
#include <benchmark/benchmark.h>

#include <map>
#include <string>

#include "bench_frames.h"
#include "decoder/decoder.h"

namespace {

using AztecBench::filledSymbol;
using AztecBench::Frame;
using AztecBench::symbolFrame;
using AztecTest::SymbolKind;

enum FrameId { kUniform, kNoise, kCompact2, kFull5, kFull15, kFull32, kHd15 };

const Frame& frame(FrameId id) {
  static std::map<FrameId, Frame> frames;
  auto it = frames.find(id);
  if (it != frames.end()) return it->second;
  Frame f;
  switch (id) {
    case kUniform:
      f = AztecBench::uniformFrame(640, 480);
      break;
    case kNoise:
      f = AztecBench::noiseFrame(640, 480);
      break;
    case kCompact2:
      f = symbolFrame(filledSymbol(SymbolKind::Compact, 2, 18), 6.0, 640, 480);
      break;
    case kFull5:
      f = symbolFrame(filledSymbol(SymbolKind::FullRange, 5, 300), 5.0, 640, 480);
      break;
    case kFull15:
      f = symbolFrame(filledSymbol(SymbolKind::FullRange, 15, 1200), 4.0, 640, 480);
      break;
    case kFull32:
      f = symbolFrame(filledSymbol(SymbolKind::FullRange, 32, 4000), 3.0, 640, 480);
      break;
    case kHd15:
      f = symbolFrame(filledSymbol(SymbolKind::FullRange, 15, 1200), 6.0, 1280, 720);
      break;
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

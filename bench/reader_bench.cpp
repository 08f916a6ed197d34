// Whole-frame reads through Aztec::WholeFrameReader: one symbol in a 640x480 and in a 1920x1080
// frame, the largest full-range symbol (151 modules at 3 pixels) in 640x480, and both sizes
// without a symbol (uniform and noise), where the full search runs and finds nothing; frames made
// to look like finders (synthetic_frames.h) at both sizes.
#include <aztec/reader.h>
#include <benchmark/benchmark.h>

#include <map>
#include <string>

#include "bench_frames.h"
#include "synthetic_frames.h"

namespace {

using AztecBench::Frame;
using AztecBench::symbolFrame;
using AztecTest::SymbolKind;

Frame textFrame(SymbolKind kind, int layers, const std::string& text, double moduleSize, int w, int h) {
  return symbolFrame(AztecTest::encodeText(text, kind, layers), moduleSize, w, h);
}

enum FrameId { kVgaSymbol, kHdSymbol, kVgaUniform, kVgaNoise, kHdUniform, kHdNoise, kVgaFull32 };

const Frame& frame(FrameId id) {
  static std::map<FrameId, Frame> frames;
  auto it = frames.find(id);
  if (it != frames.end()) return it->second;
  Frame f;
  switch (id) {
    case kVgaSymbol:
      f = textFrame(SymbolKind::Compact, 3, "TKT 4471-0923 ZONE B SEAT 14C", 5.0, 640, 480);
      break;
    case kHdSymbol:
      f = textFrame(SymbolKind::FullRange, 6, "BOARDING PASS / Flight VL2217 OSL-AMS / 18MAR 07:45", 6.0,
                    1920, 1080);
      break;
    case kVgaUniform:
      f = AztecBench::uniformFrame(640, 480);
      break;
    case kVgaNoise:
      f = AztecBench::noiseFrame(640, 480);
      break;
    case kHdUniform:
      f = AztecBench::uniformFrame(1920, 1080);
      break;
    case kHdNoise:
      f = AztecBench::noiseFrame(1920, 1080);
      break;
    case kVgaFull32:
      f = symbolFrame(AztecBench::filledSymbol(SymbolKind::FullRange, 32, 4000), 3.0, 640, 480);
      break;
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
    const bool ok =
        f.expected.empty() ? results.empty() : results.size() == 1 && results[0].bytes == f.expected;
    if (!ok) {
      state.SkipWithError(("unexpected outcome: " + std::to_string(results.size()) + " symbols").c_str());
      break;
    }
  }
  state.counters["bytes"] = static_cast<double>(f.expected.size());
}

BENCHMARK(BM_Read)->Name("Read/640x480_compact_L3")->Arg(kVgaSymbol)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read)->Name("Read/1920x1080_full_L6")->Arg(kHdSymbol)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read)->Name("Read/640x480_full_L32_151mod")->Arg(kVgaFull32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read)->Name("Read/640x480_uniform")->Arg(kVgaUniform)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read)->Name("Read/640x480_noise")->Arg(kVgaNoise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read)->Name("Read/1920x1080_uniform")->Arg(kHdUniform)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read)->Name("Read/1920x1080_noise")->Arg(kHdNoise)->Unit(benchmark::kMillisecond);

// Finder-like frames: every one must read as nothing.
void BM_ReadFinderLike(benchmark::State& state) {
  static std::map<std::int64_t, AztecBench::NamedFrame> frames;
  auto it = frames.find(state.range(0));
  if (it == frames.end())
    it = frames
             .emplace(state.range(0),
                      AztecBench::finderLikeRecipes()[static_cast<std::size_t>(state.range(0))]())
             .first;
  const AztecBench::NamedFrame& f = it->second;
  state.SetLabel(f.name);
  const Aztec::LumaView view{f.pixels.data(), f.width, f.height, f.width};
  const Aztec::WholeFrameReader reader;
  for (auto _ : state) {
    const std::vector<Aztec::ReadResult> results = reader.read(view);
    benchmark::DoNotOptimize(results.data());
    if (!results.empty()) {
      state.SkipWithError("a symbol read in a frame without one");
      break;
    }
  }
}
BENCHMARK(BM_ReadFinderLike)
    ->Name("ReadFinderLike")
    ->DenseRange(0, static_cast<int>(AztecBench::finderLikeRecipes().size()) - 1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

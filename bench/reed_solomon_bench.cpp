// Reed-Solomon correction of the largest Aztec data block: 1664 twelve-bit codewords over
// GF(4096), a quarter of them check codewords.
#include <benchmark/benchmark.h>

#include <random>
#include <set>
#include <vector>

#include "reedsolomon/generic_gf.h"
#include "reedsolomon/reed_solomon_decoder.h"
#include "support/rs_encoder.h"

namespace {

constexpr int kTotal = 1664;
constexpr int kCheck = 416;

std::vector<int> makeCodeword() {
  std::mt19937 rng(1664);
  std::uniform_int_distribution<int> value(0, 4095);
  std::vector<int> data(kTotal - kCheck);
  for (int& v : data) v = value(rng);
  return AztecTest::RsEncoder(AztecTest::kRsGF4096).encode(data, kCheck);
}

std::vector<int> corrupted(const std::vector<int>& word, int errors) {
  std::mt19937 rng(static_cast<unsigned>(errors) * 7919u + 1u);
  std::uniform_int_distribution<int> position(0, kTotal - 1);
  std::uniform_int_distribution<int> value(1, 4095);
  std::vector<int> out = word;
  std::set<int> hit;
  while (static_cast<int>(hit.size()) < errors) {
    const int p = position(rng);
    if (hit.insert(p).second) out[p] ^= value(rng);
  }
  return out;
}

void BM_DecodeGF4096(benchmark::State& state) {
  const int errors = static_cast<int>(state.range(0));
  const std::vector<int> word = makeCodeword();
  const std::vector<int> received = corrupted(word, errors);
  const Aztec::ReedSolomon::ReedSolomonDecoder decoder(&Aztec::ReedSolomon::GF4096);
  std::vector<int> work;
  for (auto _ : state) {
    work = received;
    const int corrected = decoder.decode(work, kCheck);
    benchmark::DoNotOptimize(corrected);
    if (corrected != errors || work != word) {
      state.SkipWithError("block not corrected");
      break;
    }
  }
  state.counters["errors"] = errors;
}

// 0: the syndrome pass alone; 1: single error (no root search); then up to the full capacity.
BENCHMARK(BM_DecodeGF4096)->Arg(0)->Arg(1)->Arg(10)->Arg(52)->Arg(104)->Arg(208)->Unit(benchmark::kMicrosecond);

}  // namespace

// Reed-Solomon correction of the largest block each field carries in an Aztec symbol (a
// quarter check codewords), with no errors (the syndrome pass alone), one error (no root
// search) and up to the full capacity.
#include <benchmark/benchmark.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "reedsolomon/generic_gf.h"
#include "reedsolomon/reed_solomon_decoder.h"
#include "synth/rs_encoder.h"

namespace {

namespace RS = Aztec::ReedSolomon;

struct Block {
  const char* name;
  const RS::GenericGF* field;
  AztecTest::RsField encoderField;
  int total;
  int check;
};

// Mode message (full-range), full-range 2 layers, 8 layers, 22 layers and 32 layers.
const Block kBlocks[] = {
    {"GF16_10_6", &RS::GF16, AztecTest::kRsGF16, 10, 6},
    {"GF64_48_12", &RS::GF64, AztecTest::kRsGF64, 48, 12},
    {"GF256_240_60", &RS::GF256, AztecTest::kRsGF256, 240, 60},
    {"GF1024_1020_255", &RS::GF1024, AztecTest::kRsGF1024, 1020, 255},
    {"GF4096_1664_416", &RS::GF4096, AztecTest::kRsGF4096, 1664, 416},
};

std::vector<int> makeCodeword(const Block& b) {
  std::mt19937 rng(static_cast<unsigned>(b.total));
  std::uniform_int_distribution<int> value(0, b.field->size() - 1);
  std::vector<int> data(static_cast<std::size_t>(b.total - b.check));
  for (int& v : data) v = value(rng);
  return AztecTest::RsEncoder(b.encoderField).encode(data, b.check);
}

std::vector<int> corrupted(const Block& b, const std::vector<int>& word, int errors) {
  std::mt19937 rng(static_cast<unsigned>(errors) * 7919u + 1u);
  std::uniform_int_distribution<int> position(0, b.total - 1);
  std::uniform_int_distribution<int> value(1, b.field->size() - 1);
  std::vector<int> out = word;
  std::set<int> hit;
  while (static_cast<int>(hit.size()) < errors) {
    const int p = position(rng);
    if (hit.insert(p).second) out[static_cast<std::size_t>(p)] ^= value(rng);
  }
  return out;
}

void BM_Decode(benchmark::State& state, const Block& b, int errors) {
  const std::vector<int> word = makeCodeword(b);
  const std::vector<int> received = corrupted(b, word, errors);
  const RS::ReedSolomonDecoder decoder(b.field);
  std::vector<int> work;
  for (auto _ : state) {
    work = received;
    const int corrected = decoder.decode(work, b.check);
    benchmark::DoNotOptimize(corrected);
    if (corrected != errors || work != word) {
      state.SkipWithError("block not corrected");
      break;
    }
  }
  state.counters["errors"] = errors;
}

const bool kRegistered = [] {
  for (const Block& b : kBlocks) {
    const int capacity = b.check / 2;
    std::set<int> counts{0, 1, capacity / 4, capacity / 2, capacity};
    for (int errors : counts) {
      const std::string name = std::string("ReedSolomon/") + b.name + "/errors:" + std::to_string(errors);
      benchmark::RegisterBenchmark(name.c_str(), BM_Decode, b, errors)->Unit(benchmark::kMicrosecond);
    }
  }
  return true;
}();

}  // namespace

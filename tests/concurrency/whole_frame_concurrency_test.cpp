// One WholeFrameReader shared by several threads, over frames with one, two and no symbols,
// normal and inverted: every thread's answers equal the single-threaded ones. Run under
// ThreadSanitizer in CI as well.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/reader_helpers.h"

namespace {

using Velmora::Image::GrayBuf;

std::vector<GrayBuf> makeFrames() {
  using AztecTest::SymbolKind;
  const AztecTest::EncodedSymbol a = AztecTest::encodeText("TICKET 0042", SymbolKind::Compact);
  const AztecTest::EncodedSymbol b = AztecTest::encodeText("PASS 7 / ROW 12 / SEAT C", SymbolKind::FullRange);
  AztecTest::RenderOptions frame;
  frame.width = 200, frame.height = 120, frame.noiseSigma = 3;
  AztecTest::RenderOptions left = frame, right = frame;
  left.moduleSize = right.moduleSize = 3.0;
  left.centerX = 50, left.centerY = 60, left.angleDegrees = 20;
  right.centerX = 145, right.centerY = 60, right.angleDegrees = 250;
  AztecTest::RenderOptions inverted = left;
  inverted.dark = 230, inverted.light = 25;
  return {AztecTest::renderScene({{&a, left}, {&b, right}}, frame), AztecTest::renderSymbol(a, left),
          AztecTest::renderSymbol(b, inverted), AztecTest::renderScene({}, frame)};
}

std::vector<std::string> read(const Aztec::WholeFrameReader& reader, const GrayBuf& img) {
  std::vector<std::string> out;
  for (const Aztec::ReadResult& r : reader.read(AztecTest::viewOf(img)))
    out.push_back(AztecTest::textOf(r.bytes));
  return out;
}

TEST(WholeFrameConcurrency, SharedReaderAnswersAsOnOneThread) {
  const std::vector<GrayBuf> frames = makeFrames();
  const Aztec::WholeFrameReader reader;
  std::vector<std::vector<std::string>> expected;
  for (const GrayBuf& f : frames) expected.push_back(read(reader, f));
  ASSERT_EQ(expected[0].size(), 2u);
  ASSERT_EQ(expected[1].size(), 1u);
  ASSERT_EQ(expected[2].size(), 1u);
  ASSERT_TRUE(expected[3].empty());

  constexpr int kThreads = 4, kRounds = 3;
  std::atomic<int> ready{0}, mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      ready.fetch_add(1);
      while (ready.load() < kThreads) std::this_thread::yield();
      for (int step = 0; step < kRounds * static_cast<int>(frames.size()); ++step) {
        const int i = (step + t) % static_cast<int>(frames.size());
        if (read(reader, frames[i]) != expected[i]) mismatches.fetch_add(1);
      }
    });
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace

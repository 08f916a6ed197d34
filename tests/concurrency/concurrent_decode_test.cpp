// Frames of every outcome decoded on several threads at once (under ThreadSanitizer in CI too)
// through the component's shared and own readers, Aztec::Decoder reused and fresh, and one shared
// WholeFrameReader: each answer equals the single-threaded one. Ten thousand decodes through the
// Decoder and the entry leave the heap as it was, and nothing unfreed under LeakSanitizer (asan).

#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "decoder/decoder.h"
#include "image/gray_buf.h"
#include "support/component_loader.h"
#include "support/reader_helpers.h"
#include "symbol/codeword_correction.h"

// Present when a sanitizer runtime is linked in: its allocator, unlike glibc's, is invisible to
// mallinfo2.
extern "C" __attribute__((weak)) std::size_t __sanitizer_get_current_allocated_bytes();

namespace {

using namespace AztecTest;
using Velmora::Image::GrayBuf;

// Frames of every outcome: a symbol read, a symbol found whose data cannot be read, no symbol at
// all. Each frame carries the outcome it was made for, which the tests check before they rely on it.
struct OutcomeFrame {
  std::string name;
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;     // row by row, width x height bytes
  int intendedStatus = Aztec::NotRead;  // the Decoder's DecodeStatus
  std::vector<std::uint8_t> message;    // the bytes for DataRead, empty otherwise
  GrayBuf image{};                      // the pixels as the Decoder takes them
};

// What readAztecCamera answers for decoded bytes: one UTF-16 unit per byte, cut before the
// first zero byte.
std::u16string entryText(const std::vector<std::uint8_t>& bytes) {
  std::u16string text;
  for (std::uint8_t b : bytes) {
    if (b == 0) break;
    text.push_back(b);
  }
  return text;
}

// side x side frames with modules of moduleSize pixels.
std::vector<OutcomeFrame> outcomeFrames(int side, double moduleSize) {
  auto rendered = [&](std::string name, const EncodedSymbol& symbol, int status, int rotation,
                      bool mirrored) {
    RenderOptions o{.width = side, .height = side, .moduleSize = moduleSize, .rotation = rotation};
    o.mirrored = mirrored;
    const Velmora::Image::GrayBuf image = renderSymbol(symbol, o);
    OutcomeFrame frame{std::move(name), side, side, {image.row(0), image.row(0) + side * side}, status, {}};
    if (status == Aztec::DataRead) frame.message = symbol.message;
    return frame;
  };

  std::vector<OutcomeFrame> frames;
  frames.push_back(rendered("compact read", encodeText("Thread 1 of 4", SymbolKind::Compact, 2),
                            Aztec::DataRead, 1, false));
  frames.push_back(rendered("full-range read", encodeText("Full range, mirrored", SymbolKind::FullRange, 2),
                            Aztec::DataRead, 0, true));
  // Bytes above 127 and a zero byte: the entry widens and cuts them.
  frames.push_back(rendered(
      "binary read",
      encodeSymbol({.message = {'x', 0xE9, 'y', 0x00, 'z'}, .kind = SymbolKind::Compact, .layers = 3}),
      Aztec::DataRead, 2, false));
  {
    // Finder and mode message intact, every third module of the outer layer inverted: far more
    // broken codewords than the check words can correct.
    EncodedSymbol symbol = encodeText("Damaged outer layer", SymbolKind::Compact, 2);
    std::vector<std::pair<int, int>> flips;
    const int n = symbol.size;
    for (int r = 0; r < n; ++r)
      for (int c = 0; c < n; ++c) {
        const bool outerLayer = r < 2 || c < 2 || r >= n - 2 || c >= n - 2;
        if (outerLayer && (r + c) % 3 == 0) flips.push_back({r, c});
      }
    flipModules(symbol, flips);
    frames.push_back(rendered("data unreadable", symbol, Aztec::Detected, 0, false));
  }
  {
    // No symbol: 4-pixel blocks of pseudo-random gray give the search edges to follow.
    OutcomeFrame frame{"no symbol", side, side, {}, Aztec::NotRead, {}};
    frame.pixels.resize(static_cast<std::size_t>(side) * side);
    std::uint32_t state = 2024;
    for (int by = 0; by < side; by += 4)
      for (int bx = 0; bx < side; bx += 4) {
        state = state * 1664525u + 1013904223u;
        for (int y = by; y < by + 4 && y < side; ++y)
          for (int x = bx; x < bx + 4 && x < side; ++x)
            frame.pixels[static_cast<std::size_t>(y) * side + x] = state >> 24;
      }
    frames.push_back(std::move(frame));
  }
  for (OutcomeFrame& f : frames) f.image = GrayBuf::fromBytes(f.pixels.data(), side, side);
  return frames;
}

constexpr int kThreads = 4;
constexpr int kRounds = 6;  // each thread decodes every frame this many times

// 120 x 120 with 3-pixel modules: small for a sanitizer build, every outcome as intended.
const std::vector<OutcomeFrame>& frames() {
  static const std::vector<OutcomeFrame> all = outcomeFrames(120, 3.0);
  return all;
}
const int kSteps = kRounds * 5;

// Thread t visits the frames in an order of its own, so that different frames overlap in time.
int frameAt(int thread, int step, int count = static_cast<int>(frames().size())) {
  return (step + thread * 3) % count;
}

// Starts kThreads threads at once; thread t gets its worker from makeWorker(t) (on that thread)
// and calls it with every step and its frame index, kRounds times over `count` frames. Returns
// the answers per thread.
template <class Answer>
std::vector<std::vector<Answer>> onThreads(
    const std::function<std::function<Answer(int, int)>(int)>& makeWorker,
    int count = static_cast<int>(frames().size())) {
  testing::internal::CaptureStdout();  // every readAztecCamera call writes its trace
  std::atomic<int> waiting{0};
  std::vector<std::vector<Answer>> got(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      waiting.fetch_add(1);
      while (waiting.load() < kThreads) std::this_thread::yield();
      const std::function<Answer(int, int)> work = makeWorker(t);
      for (int step = 0; step < kRounds * count; ++step)
        got[t].push_back(work(step, frameAt(t, step, count)));
    });
  for (auto& thread : threads) thread.join();
  (void)testing::internal::GetCapturedStdout();
  return got;
}

class ComponentConcurrency : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NO_THROW(component_ = std::make_unique<Component>()); }
  void TearDown() override {
    if (component_) {
      EXPECT_EQ(component_->canUnloadNow(), S_OK) << "a reader or factory was not released";
    }
  }
  std::shared_ptr<AztecTest::AztecReaderDefault> activate() {
    return {component_->activate(), [](AztecTest::AztecReaderDefault* r) { r->Release(); }};
  }
  std::unique_ptr<Component> component_;
};

// Threads 0 and 2 share one reader; 1 and 3 activate their own at the same time (the factory is
// made and cached on the first request of this process). Every other call of thread 2 sends an
// array too short for its frame, with a positive or a negative width: the empty string.
TEST_F(ComponentConcurrency, SharedAndOwnReadersAnswerAsSingleThreadedAndRefuseBadSizes) {
  const auto shared = activate();
  auto refused = [](int t, int step) { return t == 2 && step % 2 == 1; };
  const auto got = onThreads<Component::Answer>([&](int t) {
    return [&, t, reader = t % 2 == 0 ? shared : activate()](int step, int i) {
      const OutcomeFrame& f = frames()[i];
      if (!refused(t, step)) return component_->read(reader.get(), f.pixels, f.width, f.height);
      const std::vector<std::uint8_t> shortArray(f.pixels.begin(), f.pixels.begin() + f.pixels.size() / 2);
      return component_->read(reader.get(), shortArray, step % 4 == 1 ? f.width : -f.width, f.height);
    };
  });
  std::vector<Component::Answer> expected;
  testing::internal::CaptureStdout();
  for (const auto reader = activate(); const OutcomeFrame& f : frames()) {
    expected.push_back(component_->read(reader.get(), f.pixels, f.width, f.height));
    EXPECT_EQ(expected.back(), (Component::Answer{S_OK, entryText(f.message)})) << f.name;
  }
  (void)testing::internal::GetCapturedStdout();
  const Component::Answer empty{S_OK, u""};
  for (int t = 0; t < kThreads; ++t)
    for (int step = 0; step < kSteps; ++step)
      EXPECT_EQ(got[t].at(step), refused(t, step) ? empty : expected[frameAt(t, step)])
          << "thread " << t << " step " << step;
}

struct CoreAnswer {
  int status = -1;
  std::vector<std::uint8_t> bytes;
  std::string report;  // the status text before " #err=" (the count is process-wide)
  std::string count;   // the text after it, empty when there is none
};

CoreAnswer decodeWith(Aztec::Decoder& decoder, int i) {
  CoreAnswer a;
  std::string text;
  a.status = decoder.decode(frames().at(i).image, text);
  a.bytes = decoder.decodedBytes();
  const std::size_t at = text.find(" #err=");
  a.report = text.substr(0, at);
  if (at != std::string::npos) a.count = text.substr(at + 6);
  return a;
}

// Even threads reuse one Decoder for every frame, odd ones make a fresh one per call (as the
// entry does). The threads run first, so that nothing of the decoder has been used in this
// process yet.
TEST(DecoderConcurrency, ReusedAndFreshDecodersAnswerAsSingleThreaded) {
  const auto got = onThreads<CoreAnswer>([](int t) -> std::function<CoreAnswer(int, int)> {
    if (t % 2 == 1) {
      return [](int, int i) {
        Aztec::Decoder decoder;
        return decodeWith(decoder, i);
      };
    }
    auto decoder = std::make_shared<Aztec::Decoder>();
    return [decoder](int, int i) { return decodeWith(*decoder, i); };
  });
  // Each frame on a fresh Decoder gives its intended outcome. A reused Decoder keeps state from
  // frame to frame that can change a later frame's answer, so each reusing thread's sequence is
  // replayed alone on one Decoder.
  std::set<std::string> counts;  // the correction counts that some decode leaves
  auto decodeCounted = [&counts](Aztec::Decoder& decoder, int i) {
    const CoreAnswer a = decodeWith(decoder, i);
    counts.insert(Aztec::Decoder::intToText(Aztec::lastErrorCount.load()));
    return a;
  };
  std::vector<CoreAnswer> fresh;
  for (std::size_t i = 0; i < frames().size(); ++i) {
    Aztec::Decoder decoder;
    fresh.push_back(decodeCounted(decoder, static_cast<int>(i)));
    EXPECT_EQ(fresh.back().status, frames()[i].intendedStatus) << frames()[i].name;
    EXPECT_EQ(fresh.back().bytes, frames()[i].message) << frames()[i].name;
  }
  std::vector<std::vector<CoreAnswer>> expected(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    Aztec::Decoder decoder;
    for (int step = 0; step < kSteps; ++step)
      expected[t].push_back(t % 2 == 1 ? fresh[frameAt(t, step)] : decodeCounted(decoder, frameAt(t, step)));
  }
  for (int t = 0; t < kThreads; ++t)
    for (int step = 0; step < kSteps; ++step) {
      SCOPED_TRACE(::testing::Message() << "thread " << t << " step " << step);
      const CoreAnswer &a = got[t].at(step), &e = expected[t][step];
      // Another thread's correction count may show, but only one that some decode produces.
      EXPECT_EQ(std::tie(a.status, a.bytes, a.report), std::tie(e.status, e.bytes, e.report));
      EXPECT_EQ(a.count.empty(), e.count.empty());
      EXPECT_TRUE(a.count.empty() || counts.count(a.count)) << a.count;
    }
}

// Frames with two symbols, one, one inverted and none.
TEST(WholeFrameConcurrency, SharedReaderAnswersAsOnOneThread) {
  const EncodedSymbol a = encodeText("TICKET 0042", SymbolKind::Compact);
  const EncodedSymbol b = encodeText("PASS 7 / ROW 12 / SEAT C", SymbolKind::FullRange);
  const RenderOptions frame{.width = 200, .height = 120, .noiseSigma = 3};
  RenderOptions left = frame, right = frame;
  left.moduleSize = right.moduleSize = 3.0, left.centerY = right.centerY = 60;
  left.centerX = 50, left.angleDegrees = 20, right.centerX = 145, right.angleDegrees = 250;
  RenderOptions inverted = left;
  inverted.dark = 230, inverted.light = 25;
  const GrayBuf scenes[] = {renderScene({{&a, left}, {&b, right}}, frame), renderSymbol(a, left),
                            renderSymbol(b, inverted), renderScene({}, frame)};
  const Aztec::WholeFrameReader reader;
  auto texts = [&](int, int i) {
    std::vector<std::string> out;
    for (const Aztec::ReadResult& r : reader.read(viewOf(scenes[i]))) out.push_back(textOf(r.bytes));
    return out;
  };
  const auto got = onThreads<std::vector<std::string>>([&](int) { return texts; }, 4);
  const std::vector<std::vector<std::string>> expected = {
      {"PASS 7 / ROW 12 / SEAT C", "TICKET 0042"}, {"TICKET 0042"}, {"PASS 7 / ROW 12 / SEAT C"}, {}};
  for (int t = 0; t < kThreads; ++t)
    for (int step = 0; step < kRounds * 4; ++step)
      EXPECT_EQ(got[t].at(step), expected[frameAt(t, step, 4)]) << "thread " << t << " step " << step;
}

// Bytes of heap in use now (freed blocks in a sanitizer's quarantine not counted).
std::size_t heapInUse() {
  if (__sanitizer_get_current_allocated_bytes != nullptr) return __sanitizer_get_current_allocated_bytes();
  return mallinfo2().uordblks;
}

TEST(RepeatedDecodes, TenThousandDecodesOfEveryOutcomeLeaveTheHeapAsItWas) {
  constexpr int kDecodes = 10000;
  constexpr int kWarmUp = 500;
  // A leak of a few hundred bytes per decode shows well above this over 9,500 decodes.
  constexpr std::size_t kTolerance = 1 << 20;

  // 160 x 160 with 3-pixel modules: every outcome as intended (checked below on every decode).
  const std::vector<OutcomeFrame> outcome = outcomeFrames(160, 3.0);
  std::unique_ptr<Component> component;
  ASSERT_NO_THROW(component = std::make_unique<Component>());
  AztecTest::AztecReaderDefault* reader = component->activate();

  std::vector<int> outcomes(3, 0);  // NotRead, Detected, DataRead seen through the Decoder
  int wrongAnswers = 0;
  std::size_t afterWarmUp = 0;
  testing::internal::CaptureStdout();  // every readAztecCamera call writes its trace
  for (int n = 0; n < kDecodes; ++n) {
    if (n == kWarmUp) afterWarmUp = heapInUse();
    const std::size_t i = static_cast<std::size_t>(n / 2) % outcome.size();
    if (n % 2 == 0) {
      Aztec::Decoder decoder;  // a new one per call, as the entry makes it
      std::string status;
      const int got = decoder.decode(outcome[i].image, status);
      ++outcomes.at(static_cast<std::size_t>(got));
      wrongAnswers += got != outcome[i].intendedStatus || decoder.decodedBytes() != outcome[i].message;
    } else {
      const Component::Answer a =
          component->read(reader, outcome[i].pixels, outcome[i].width, outcome[i].height);
      wrongAnswers += a.hr != S_OK || a.text != entryText(outcome[i].message);
    }
  }
  const std::size_t atEnd = heapInUse();
  (void)testing::internal::GetCapturedStdout();
  reader->Release();

  EXPECT_EQ(wrongAnswers, 0);
  for (int status : {Aztec::NotRead, Aztec::Detected, Aztec::DataRead})
    EXPECT_GT(outcomes[status], 0) << status;
  EXPECT_GT(afterWarmUp, 0u) << "no heap measure available";
  EXPECT_LE(atEnd, afterWarmUp + kTolerance) << "heap in use grew from " << afterWarmUp << " to " << atEnd
                                             << " bytes over " << kDecodes - kWarmUp << " decodes";
  EXPECT_EQ(component->canUnloadNow(), S_OK);
}

}  // namespace

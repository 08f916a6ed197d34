// Decodes on several threads at once, through the component (one shared AztecReader, one reader
// per thread) and through Aztec::Decoder directly, over frames of every outcome: each answer
// equals the single-threaded one. Run under ThreadSanitizer in CI as well.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "concurrency/component_loader.h"
#include "concurrency/outcome_frames.h"
#include "decoder/decoder.h"
#include "image/gray_buf.h"
#include "symbol/codeword_correction.h"

namespace {

using AztecTest::Component;
using AztecTest::OutcomeFrame;
using Velmora::Image::GrayBuf;

constexpr int kThreads = 4;
constexpr int kRounds = 6;  // each thread decodes every frame this many times

// 120 x 120 with 3-pixel modules: small for a sanitizer build, every outcome as intended.
const std::vector<OutcomeFrame>& frames() {
  static const std::vector<OutcomeFrame> all = AztecTest::outcomeFrames(120, 3.0);
  return all;
}
const std::vector<GrayBuf>& images() {
  static const std::vector<GrayBuf> all = [] {
    std::vector<GrayBuf> v;
    for (const OutcomeFrame& f : frames()) v.push_back(GrayBuf::fromBytes(f.pixels.data(), f.width, f.height));
    return v;
  }();
  return all;
}
const int kSteps = kRounds * 5;

// Thread t visits the frames in an order of its own, so that different frames overlap in time.
int frameAt(int thread, int step) { return (step + thread * 3) % static_cast<int>(frames().size()); }

// Starts kThreads threads at once; thread t gets its worker from makeWorker(t) (on that thread)
// and calls it with the frame index of every step. Returns the answers per thread.
template <class Answer>
std::vector<std::vector<Answer>> onThreads(const std::function<std::function<Answer(int)>(int)>& makeWorker) {
  EXPECT_EQ(static_cast<int>(frames().size()) * kRounds, kSteps);
  AztecTest::QuietStdout quiet;
  std::atomic<int> waiting{0};
  std::vector<std::vector<Answer>> got(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      waiting.fetch_add(1);
      while (waiting.load() < kThreads) std::this_thread::yield();
      const std::function<Answer(int)> work = makeWorker(t);
      for (int step = 0; step < kSteps; ++step) got[t].push_back(work(frameAt(t, step)));
    });
  for (auto& thread : threads) thread.join();
  return got;
}

class ComponentConcurrency : public ::testing::Test {
 protected:
  void SetUp() override {
    try {
      component_ = std::make_unique<Component>();
    } catch (const std::exception& e) {
      FAIL() << e.what();
    }
  }
  void TearDown() override {
    if (component_) {
      EXPECT_TRUE(component_->canUnloadNow()) << "a reader or factory was not released";
    }
  }
  std::shared_ptr<AztecTest::AztecReaderDefault> activate() {
    return {component_->activate(), [](AztecTest::AztecReaderDefault* r) { r->Release(); }};
  }
  std::function<Component::Answer(int)> reader(std::shared_ptr<AztecTest::AztecReaderDefault> r) {
    return [this, r](int i) { return component_->read(r.get(), frames()[i].pixels, frames()[i].width, frames()[i].height); };
  }
  // Every thread's answers against each frame once on this thread, checked against its outcome.
  void expectSingleThreadedAnswers(const std::vector<std::vector<Component::Answer>>& got) {
    std::vector<Component::Answer> expected;
    {
      AztecTest::QuietStdout quiet;
      const auto read = reader(activate());
      for (std::size_t i = 0; i < frames().size(); ++i) {
        expected.push_back(read(static_cast<int>(i)));
        EXPECT_EQ(expected.back().hr, S_OK) << frames()[i].name;
        EXPECT_EQ(expected.back().text, AztecTest::entryText(frames()[i].message)) << frames()[i].name;
      }
    }
    for (int t = 0; t < kThreads; ++t)
      for (int step = 0; step < kSteps; ++step)
        EXPECT_EQ(got[t].at(step), expected[frameAt(t, step)]) << "thread " << t << " step " << step;
  }
  std::unique_ptr<Component> component_;
};

TEST_F(ComponentConcurrency, OneReaderSharedByAllThreadsAnswersAsSingleThreaded) {
  const auto shared = reader(activate());
  expectSingleThreadedAnswers(onThreads<Component::Answer>([&](int) { return shared; }));
}

TEST_F(ComponentConcurrency, ReaderPerThreadActivatedConcurrentlyAnswersAsSingleThreaded) {
  // Activation races too: the factory is made and cached on the first request of this process.
  expectSingleThreadedAnswers(onThreads<Component::Answer>([&](int) { return reader(activate()); }));
}

TEST_F(ComponentConcurrency, ShortArraysAndBadSizesBesideRealFramesGiveTheEmptyString) {
  // On a shared reader, odd threads send arrays too short for their size, or a negative width.
  const auto shared = activate();
  const OutcomeFrame& real = frames()[0];
  const std::vector<std::uint8_t> shortArray(real.pixels.begin(), real.pixels.begin() + real.pixels.size() / 2);
  const auto got = onThreads<Component::Answer>([&](int t) {
    return [&, t, n = 0](int) mutable {
      if (t % 2 == 0) return component_->read(shared.get(), real.pixels, real.width, real.height);
      return component_->read(shared.get(), shortArray, n++ % 2 ? real.width : -real.width, real.height);
    };
  });
  for (int t = 0; t < kThreads; ++t)
    for (const Component::Answer& a : got[t])
      EXPECT_EQ(a, (Component::Answer{S_OK, t % 2 == 0 ? AztecTest::entryText(real.message) : u""})) << t;
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
  a.status = decoder.decode(images()[i], text);
  a.bytes = decoder.decodedBytes();
  const std::size_t at = text.find(" #err=");
  a.report = text.substr(0, at);
  if (at != std::string::npos) a.count = text.substr(at + 6);
  return a;
}

void expectSameAnswer(const CoreAnswer& a, const CoreAnswer& expected, const std::set<std::string>& counts) {
  EXPECT_EQ(a.status, expected.status);
  EXPECT_EQ(a.bytes, expected.bytes);
  EXPECT_EQ(a.report, expected.report);
  // Another thread's correction count may show, but only one that some decode produces.
  EXPECT_EQ(a.count.empty(), expected.count.empty());
  if (!a.count.empty()) {
    EXPECT_TRUE(counts.count(a.count)) << a.count;
  }
}

// Each frame on a fresh Decoder: the intended outcome; collects the counts any decode leaves.
std::vector<CoreAnswer> freshAnswers(std::set<std::string>& counts) {
  std::vector<CoreAnswer> out;
  for (std::size_t i = 0; i < frames().size(); ++i) {
    Aztec::Decoder decoder;
    out.push_back(decodeWith(decoder, static_cast<int>(i)));
    counts.insert(Aztec::Decoder::intToText(Aztec::lastErrorCount.load()));
    EXPECT_EQ(out.back().status, frames()[i].intendedStatus) << frames()[i].name;
    EXPECT_EQ(out.back().bytes, frames()[i].message) << frames()[i].name;
  }
  return out;
}

TEST(DecoderConcurrency, DecoderPerThreadAnswersAsTheSameSequenceSingleThreaded) {
  // The threads run first, so that nothing of the decoder has been used in this process yet.
  const auto got = onThreads<CoreAnswer>([](int) {
    auto decoder = std::make_shared<Aztec::Decoder>();  // one per thread, reused for every frame
    return [decoder](int i) { return decodeWith(*decoder, i); };
  });
  std::set<std::string> counts;
  freshAnswers(counts);
  // A reused Decoder keeps state from frame to frame that can change a later frame's answer, so
  // each thread's sequence is replayed alone on one Decoder.
  for (int t = 0; t < kThreads; ++t) {
    Aztec::Decoder decoder;
    for (int step = 0; step < kSteps; ++step) {
      SCOPED_TRACE(::testing::Message() << "thread " << t << " step " << step);
      const CoreAnswer expected = decodeWith(decoder, frameAt(t, step));
      counts.insert(Aztec::Decoder::intToText(Aztec::lastErrorCount.load()));
      expectSameAnswer(got[t].at(step), expected, counts);
    }
  }
}

TEST(DecoderConcurrency, FreshDecoderPerCallAnswersAsSingleThreaded) {
  const auto got = onThreads<CoreAnswer>([](int) {
    return [](int i) {
      Aztec::Decoder decoder;  // as the entry uses it
      return decodeWith(decoder, i);
    };
  });
  std::set<std::string> counts;
  const std::vector<CoreAnswer> expected = freshAnswers(counts);
  for (int t = 0; t < kThreads; ++t)
    for (int step = 0; step < kSteps; ++step) {
      SCOPED_TRACE(::testing::Message() << "thread " << t << " step " << step);
      expectSameAnswer(got[t].at(step), expected[frameAt(t, step)], counts);
    }
}

}  // namespace

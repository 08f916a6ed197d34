// Decodes running at the same time on several threads, through the component (one shared
// AztecReader, and one reader per thread) and through Aztec::Decoder directly, over frames of
// every outcome: each answer equals the single-threaded one. Run under ThreadSanitizer in CI
// (scripts/test.sh, tsan stage), where any data race between the calls fails the run.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
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

constexpr int kThreads = 4;
constexpr int kRounds = 6;  // each thread decodes every frame this many times

// Frames of 120 x 120 with 3-pixel modules: small for a sanitizer build, and every outcome
// comes out as intended (checked by the single-threaded runs).
const std::vector<OutcomeFrame>& frames() {
  static const std::vector<OutcomeFrame> all = AztecTest::outcomeFrames(120, 3.0);
  return all;
}

// Thread t visits the frames in an order of its own, so that different frames overlap in time.
int frameAt(int thread, int step) { return (step + thread * 3) % static_cast<int>(frames().size()); }

// Releases every thread at once so that the first calls overlap too.
class StartLine {
 public:
  void arriveAndWait() {
    waiting_.fetch_add(1);
    while (waiting_.load() < kThreads) std::this_thread::yield();
  }

 private:
  std::atomic<int> waiting_{0};
};

template <class Work>
void runThreads(Work work) {
  AztecTest::QuietStdout quiet;
  StartLine start;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      start.arriveAndWait();
      work(t);
    });
  for (auto& thread : threads) thread.join();
}

// ---- through the component ----

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
    if (component_) EXPECT_TRUE(component_->canUnloadNow()) << "a reader or factory was not released";
  }

  // Each frame once, on this thread alone; checked against the outcome it was made for.
  std::vector<Component::Answer> singleThreaded() {
    AztecTest::AztecReaderDefault* reader = component_->activate();
    AztecTest::QuietStdout quiet;
    std::vector<Component::Answer> answers;
    for (const OutcomeFrame& f : frames()) {
      answers.push_back(component_->read(reader, f.pixels, f.width, f.height));
      EXPECT_EQ(answers.back().hr, S_OK) << f.name;
      EXPECT_EQ(answers.back().text, AztecTest::entryText(f.message)) << f.name;
    }
    reader->Release();
    return answers;
  }

  std::unique_ptr<Component> component_;
};

TEST_F(ComponentConcurrency, OneReaderSharedByAllThreadsAnswersAsSingleThreaded) {
  const std::vector<Component::Answer> expected = singleThreaded();
  ASSERT_FALSE(HasFailure());

  AztecTest::AztecReaderDefault* shared = component_->activate();
  std::vector<std::vector<Component::Answer>> got(kThreads);
  runThreads([&](int t) {
    for (int step = 0; step < kRounds * static_cast<int>(frames().size()); ++step) {
      const OutcomeFrame& f = frames()[frameAt(t, step)];
      got[t].push_back(component_->read(shared, f.pixels, f.width, f.height));
    }
  });
  shared->Release();

  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(got[t].size(), kRounds * frames().size());
    for (std::size_t step = 0; step < got[t].size(); ++step) {
      const int i = frameAt(t, static_cast<int>(step));
      EXPECT_EQ(got[t][step], expected[i]) << "thread " << t << " step " << step << ": " << frames()[i].name;
    }
  }
}

TEST_F(ComponentConcurrency, ReaderPerThreadActivatedConcurrentlyAnswersAsSingleThreaded) {
  // Activation races too: the factory is made and cached on the first request of this process.
  std::vector<std::vector<Component::Answer>> got(kThreads);
  std::vector<std::string> errors(kThreads);
  runThreads([&](int t) {
    AztecTest::AztecReaderDefault* reader = nullptr;
    try {
      reader = component_->activate();
    } catch (const std::exception& e) {
      errors[t] = e.what();
      return;
    }
    for (int step = 0; step < kRounds * static_cast<int>(frames().size()); ++step) {
      const OutcomeFrame& f = frames()[frameAt(t, step)];
      got[t].push_back(component_->read(reader, f.pixels, f.width, f.height));
    }
    reader->Release();
  });
  for (int t = 0; t < kThreads; ++t) ASSERT_EQ(errors[t], "") << "thread " << t;

  const std::vector<Component::Answer> expected = singleThreaded();
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(got[t].size(), kRounds * frames().size());
    for (std::size_t step = 0; step < got[t].size(); ++step) {
      const int i = frameAt(t, static_cast<int>(step));
      EXPECT_EQ(got[t][step], expected[i]) << "thread " << t << " step " << step << ": " << frames()[i].name;
    }
  }
}

TEST_F(ComponentConcurrency, ShortArraysAndBadSizesBesideRealFramesGiveTheEmptyString) {
  // Frames that do not fit their array are refused without being read, while other threads
  // decode real frames on the same reader.
  AztecTest::AztecReaderDefault* shared = component_->activate();
  const OutcomeFrame& real = frames()[0];
  const std::vector<std::uint8_t> shortArray(real.pixels.begin(), real.pixels.begin() + real.pixels.size() / 2);
  std::vector<std::vector<Component::Answer>> got(kThreads);
  runThreads([&](int t) {
    for (int step = 0; step < 2 * kRounds; ++step) {
      if (t % 2 == 0)
        got[t].push_back(component_->read(shared, real.pixels, real.width, real.height));
      else
        got[t].push_back(component_->read(shared, shortArray, step % 2 ? real.width : -real.width, real.height));
    }
  });
  shared->Release();
  for (int t = 0; t < kThreads; ++t)
    for (const Component::Answer& a : got[t]) {
      EXPECT_EQ(a.hr, S_OK);
      EXPECT_EQ(a.text, t % 2 == 0 ? AztecTest::entryText(real.message) : u"") << "thread " << t;
    }
}

// ---- through the core Decoder ----

struct CoreAnswer {
  int status = -1;
  std::vector<std::uint8_t> bytes;
  std::string report;  // the status text without the error count, which is process-wide
  std::string count;   // the text after " #err=", empty when there is none
};

CoreAnswer decodeWith(Aztec::Decoder& decoder, const Velmora::Image::GrayBuf& frame) {
  CoreAnswer a;
  std::string text;
  a.status = decoder.decode(frame, text);
  a.bytes = decoder.decodedBytes();
  const std::size_t at = text.find(" #err=");
  a.report = text.substr(0, at);
  if (at != std::string::npos) a.count = text.substr(at + 6);
  return a;
}

TEST(DecoderConcurrency, DecoderPerThreadAnswersAsTheSameSequenceSingleThreaded) {
  std::vector<Velmora::Image::GrayBuf> images;
  for (const OutcomeFrame& f : frames()) images.push_back(Velmora::Image::GrayBuf::fromBytes(f.pixels.data(), f.width, f.height));
  const int steps = kRounds * static_cast<int>(images.size());

  // The threads run first, so that nothing of the decoder has been used in this process yet.
  std::vector<std::vector<CoreAnswer>> got(kThreads);
  runThreads([&](int t) {
    Aztec::Decoder decoder;  // one per thread, reused for every frame
    for (int step = 0; step < steps; ++step) got[t].push_back(decodeWith(decoder, images[frameAt(t, step)]));
  });

  // Each frame on a fresh Decoder gives the outcome it was made for.
  std::set<std::string> counts;  // what any single decode leaves in the process-wide count
  for (std::size_t i = 0; i < images.size(); ++i) {
    Aztec::Decoder decoder;
    const CoreAnswer a = decodeWith(decoder, images[i]);
    counts.insert(Aztec::Decoder::intToText(Aztec::lastErrorCount.load()));
    EXPECT_EQ(a.status, frames()[i].intendedStatus) << frames()[i].name;
    EXPECT_EQ(a.bytes, frames()[i].message) << frames()[i].name;
  }
  // A reused Decoder keeps its Detector's level image and full-range build count from frame to
  // frame, which can change what a later frame gives; so each thread's sequence is replayed on
  // one Decoder here, alone, and must come out the same.
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(got[t].size(), static_cast<std::size_t>(steps));
    Aztec::Decoder decoder;
    for (int step = 0; step < steps; ++step) {
      const int i = frameAt(t, step);
      const CoreAnswer expected = decodeWith(decoder, images[i]);
      counts.insert(Aztec::Decoder::intToText(Aztec::lastErrorCount.load()));
      const CoreAnswer& a = got[t][step];
      SCOPED_TRACE(::testing::Message() << "thread " << t << " step " << step << ": " << frames()[i].name);
      EXPECT_EQ(a.status, expected.status);
      EXPECT_EQ(a.bytes, expected.bytes);
      EXPECT_EQ(a.report, expected.report);
      // The count is the last correction's in the whole process, so another thread's may show.
      EXPECT_EQ(a.count.empty(), expected.count.empty());
      if (!a.count.empty()) EXPECT_TRUE(counts.count(a.count)) << a.count;
    }
  }
}

TEST(DecoderConcurrency, FreshDecoderPerCallAnswersAsSingleThreaded) {
  // As the entry uses it: a new Decoder for every frame, so no frame depends on another.
  std::vector<Velmora::Image::GrayBuf> images;
  for (const OutcomeFrame& f : frames()) images.push_back(Velmora::Image::GrayBuf::fromBytes(f.pixels.data(), f.width, f.height));
  const int steps = kRounds * static_cast<int>(images.size());
  std::vector<std::vector<CoreAnswer>> got(kThreads);
  runThreads([&](int t) {
    for (int step = 0; step < steps; ++step) {
      Aztec::Decoder decoder;
      got[t].push_back(decodeWith(decoder, images[frameAt(t, step)]));
    }
  });
  for (std::size_t i = 0; i < images.size(); ++i) {
    Aztec::Decoder decoder;
    const CoreAnswer expected = decodeWith(decoder, images[i]);
    EXPECT_EQ(expected.status, frames()[i].intendedStatus) << frames()[i].name;
    for (int t = 0; t < kThreads; ++t)
      for (int step = 0; step < steps; ++step) {
        if (frameAt(t, step) != static_cast<int>(i)) continue;
        const CoreAnswer& a = got[t][step];
        SCOPED_TRACE(::testing::Message() << "thread " << t << " step " << step << ": " << frames()[i].name);
        EXPECT_EQ(a.status, expected.status);
        EXPECT_EQ(a.bytes, expected.bytes);
        EXPECT_EQ(a.report, expected.report);
        EXPECT_EQ(a.count.empty(), expected.count.empty());
      }
  }
}

}  // namespace

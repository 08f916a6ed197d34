// Ten thousand decodes of every outcome (read, found but unreadable, not found), half through
// the core Decoder and half through the component's entry: the heap in use does not grow, and
// under LeakSanitizer (asan preset, detect_leaks=1) nothing is left unfreed at exit.

#include <gtest/gtest.h>
#include <malloc.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "concurrency/outcome_frames.h"
#include "decoder/decoder.h"
#include "image/gray_buf.h"
#include "support/component_loader.h"

// Present when a sanitizer runtime is linked in: its allocator, unlike glibc's, is invisible to
// mallinfo2.
extern "C" __attribute__((weak)) std::size_t __sanitizer_get_current_allocated_bytes();

namespace {

using AztecTest::Component;
using AztecTest::OutcomeFrame;

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
  const std::vector<OutcomeFrame> frames = AztecTest::outcomeFrames(160, 3.0);
  std::vector<Velmora::Image::GrayBuf> images;
  for (const OutcomeFrame& f : frames)
    images.push_back(Velmora::Image::GrayBuf::fromBytes(f.pixels.data(), f.width, f.height));
  std::unique_ptr<Component> component;
  ASSERT_NO_THROW(component = std::make_unique<Component>());
  AztecTest::AztecReaderDefault* reader = component->activate();

  std::vector<int> outcomes(3, 0);  // NotRead, Detected, DataRead seen through the Decoder
  int wrongAnswers = 0;
  std::size_t afterWarmUp = 0;
  testing::internal::CaptureStdout();  // every readAztecCamera call writes its trace
  for (int n = 0; n < kDecodes; ++n) {
    if (n == kWarmUp) afterWarmUp = heapInUse();
    const std::size_t i = static_cast<std::size_t>(n / 2) % frames.size();
    if (n % 2 == 0) {
      Aztec::Decoder decoder;  // a new one per call, as the entry makes it
      std::string status;
      const int got = decoder.decode(images[i], status);
      ++outcomes.at(static_cast<std::size_t>(got));
      wrongAnswers += got != frames[i].intendedStatus || decoder.decodedBytes() != frames[i].message;
    } else {
      const Component::Answer a =
          component->read(reader, frames[i].pixels, frames[i].width, frames[i].height);
      wrongAnswers += a.hr != S_OK || a.text != AztecTest::entryText(frames[i].message);
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

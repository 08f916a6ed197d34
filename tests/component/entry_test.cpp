// readAztecCamera's own behaviour at the boundary, with a stand-in decoder that returns chosen
// bytes or throws, reached through the AztecReader's ABI method.

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "aztec_reader.h"
#include "decoder/decoder.h"
#include "frame_reader.h"
#include "reedsolomon/exceptions.h"

namespace {

using KalvaroWindows81::AztecReader;
using KalvaroWindows81::Detail::FrameDecoder;

struct Script {
  int status = Aztec::DataRead;
  std::string bytes;
  std::function<void()> onDecode;      // may throw
  std::function<void()> onResultText;  // may throw
  // What the decoder saw.
  int decodeCalls = 0;
  int resultTextCalls = 0;
  std::vector<std::uint8_t> framePixels;
  int frameWidth = -1, frameHeight = -1;
};

class StandInDecoder final : public FrameDecoder {
 public:
  explicit StandInDecoder(Script& script) : script_(script) {}
  int decode(const Velmora::Image::GrayBuf& frame, std::string& statusText) override {
    std::printf("[decode]");  // shows where the trace falls relative to decoding
    ++script_.decodeCalls;
    script_.frameWidth = frame.width();
    script_.frameHeight = frame.height();
    for (int y = 0; y < frame.height(); ++y)
      for (int x = 0; x < frame.width(); ++x) script_.framePixels.push_back(frame.pixelAt(x, y));
    statusText = "status text that must not leak out";
    if (script_.onDecode) script_.onDecode();
    return script_.status;
  }
  std::string resultText() const override {
    ++script_.resultTextCalls;
    if (script_.onResultText) script_.onResultText();
    return script_.bytes;
  }

 private:
  Script& script_;
};

struct Outcome {
  HRESULT hr;
  bool isNull;
  std::u16string text;
  std::string stdoutText;
};

Outcome read(Script& script, std::vector<std::uint8_t> pixels = std::vector<std::uint8_t>(6, 7),
             INT32 width = 3, INT32 height = 2) {
  auto* reader = new AztecReader([&script] { return std::make_unique<StandInDecoder>(script); });
  HSTRING result = reinterpret_cast<HSTRING>(0x1);
  testing::internal::CaptureStdout();
  const HRESULT hr = reader->readAztecCamera(static_cast<UINT32>(pixels.size()), pixels.data(), width, height, &result);
  Outcome outcome{hr, result == nullptr, {}, testing::internal::GetCapturedStdout()};
  UINT32 length = 0;
  PCNZWCH text = WindowsGetStringRawBuffer(result, &length);
  outcome.text.assign(text, length);
  WindowsDeleteString(result);
  reader->Release();
  return outcome;
}

TEST(ReadAztecCamera, EachByteBecomesOneUtf16UnitUpToTheFirstZero) {
  Script script;
  script.bytes = "A\xE9\xFF\x7F\xC3\xA9";  // the last two are UTF-8 for U+00E9, yet not decoded
  const Outcome out = read(script);
  EXPECT_EQ(out.hr, S_OK);
  EXPECT_EQ(out.text, std::u16string(u"A\u00E9\u00FF\u007F\u00C3\u00A9"));
  script.bytes = std::string("ab\0cd", 5);
  EXPECT_EQ(read(script).text, u"ab");
  script.bytes = std::string("\0x", 2);
  EXPECT_TRUE(read(script).isNull);
}

TEST(ReadAztecCamera, TextIsFetchedOnlyAfterAFoundSymbol) {
  Script script;
  script.bytes = "text";
  script.status = Aztec::NotRead;
  EXPECT_TRUE(read(script).isNull);
  EXPECT_EQ(script.resultTextCalls, 0);
  script.status = Aztec::Detected;
  EXPECT_EQ(read(script).text, u"text");
  EXPECT_EQ(script.resultTextCalls, 1);
}

TEST(ReadAztecCamera, ExceptionsInsideDecodingGiveTheEmptyStringAndSok) {
  const std::vector<std::function<void()>> throwers = {
      [] { throw std::out_of_range("invalid vector<T> subscript"); },
      [] { throw std::bad_alloc(); },
      [] { throw Aztec::ReedSolomon::ReedSolomonException("Too many errors"); },
  };
  for (const auto& thrower : throwers) {
    Script inDecode;
    inDecode.bytes = "never returned";
    inDecode.onDecode = thrower;
    const Outcome a = read(inDecode);
    EXPECT_EQ(a.hr, S_OK);
    EXPECT_TRUE(a.isNull);
    EXPECT_EQ(a.stdoutText, "readAztecCamera[decode]");

    Script inResult;
    inResult.bytes = "never returned";
    inResult.onResultText = thrower;
    const Outcome b = read(inResult);
    EXPECT_EQ(b.hr, S_OK);
    EXPECT_TRUE(b.isNull);
  }
}

TEST(ReadAztecCamera, FailureOutsideDecodingIsReturnedAsItsHresult) {
  auto* reader = new AztecReader([]() -> std::unique_ptr<FrameDecoder> { throw std::bad_alloc(); });
  std::vector<std::uint8_t> pixels(4, 0);
  HSTRING result = reinterpret_cast<HSTRING>(0x1);
  testing::internal::CaptureStdout();
  EXPECT_EQ(reader->readAztecCamera(4, pixels.data(), 2, 2, &result), E_OUTOFMEMORY);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "the trace belongs to the decode step";
  EXPECT_EQ(result, nullptr);
  reader->Release();
}

TEST(ReadAztecCamera, TraceIsWrittenOnceBeforeDecodingAndTheFrameIsTheLeadingBytes) {
  Script script;
  script.bytes = "ok";
  // Longer than 3 x 2: only the first six bytes form the frame, row by row.
  const Outcome out = read(script, {1, 2, 3, 4, 5, 6, 7, 8}, 3, 2);
  EXPECT_EQ(out.stdoutText, "readAztecCamera[decode]");
  EXPECT_EQ(out.text, u"ok");
  EXPECT_EQ(script.decodeCalls, 1);
  EXPECT_EQ(script.frameWidth, 3);
  EXPECT_EQ(script.frameHeight, 2);
  EXPECT_EQ(script.framePixels, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6}));

  // A frame that does not fit is not decoded at all, but the call is still traced once.
  Script rejected;
  const Outcome none = read(rejected, {1, 2, 3, 4, 5}, 3, 2);
  EXPECT_EQ(none.stdoutText, "readAztecCamera");
  EXPECT_TRUE(none.isNull);
  EXPECT_EQ(rejected.decodeCalls, 0);
}

TEST(ReadAztecCamera, FrameMustFitItsArray) {
  using KalvaroWindows81::Detail::frameFitsArray;
  const std::uint8_t byte = 0;
  const std::uint8_t* p = &byte;  // never read: only the sizes are judged
  EXPECT_TRUE(frameFitsArray(p, 6, 3, 2));
  EXPECT_TRUE(frameFitsArray(p, 7, 3, 2));
  EXPECT_FALSE(frameFitsArray(p, 5, 3, 2));
  EXPECT_FALSE(frameFitsArray(nullptr, 6, 3, 2));
  EXPECT_FALSE(frameFitsArray(p, 16, -4, -4));
  EXPECT_FALSE(frameFitsArray(p, 16, 0, 16));
  EXPECT_FALSE(frameFitsArray(p, 16, 65536, 65536));  // 32-bit product would be 0
  // The image sizes itself with a 32-bit product, so larger areas are refused even when the
  // array could hold them.
  EXPECT_TRUE(frameFitsArray(p, UINT32_MAX, 1, INT32_MAX));
  EXPECT_FALSE(frameFitsArray(p, UINT32_MAX, 46341, 46341));
}

}  // namespace

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
  std::function<void()> onDecode, onResultText;  // may throw
  int resultTextCalls = 0;
  std::vector<std::uint8_t> framePixels;  // what the decoder saw, row by row
};

class StandInDecoder final : public FrameDecoder {
 public:
  explicit StandInDecoder(Script& script) : script_(script) {}
  int decode(const Velmora::Image::GrayBuf& frame, std::string& statusText) override {
    std::printf("[decode]");  // shows where the trace falls relative to decoding
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

Outcome read(Script& script, std::vector<std::uint8_t> pixels = std::vector<std::uint8_t>(6, 7)) {
  auto* reader = new AztecReader([&script] { return std::make_unique<StandInDecoder>(script); });
  HSTRING result = reinterpret_cast<HSTRING>(0x1);
  testing::internal::CaptureStdout();
  const HRESULT hr =
      reader->readAztecCamera(static_cast<UINT32>(pixels.size()), pixels.data(), 3, 2, &result);
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
  // Nothing found: the text is not even fetched. Detected: whatever the decoder holds.
  script.bytes = "text";
  script.status = Aztec::NotRead;
  script.resultTextCalls = 0;
  EXPECT_TRUE(read(script).isNull);
  EXPECT_EQ(script.resultTextCalls, 0);
  script.status = Aztec::Detected;
  EXPECT_EQ(read(script).text, u"text");
}

TEST(ReadAztecCamera, TraceOnceBeforeDecodingAndTheFrameIsTheLeadingBytes) {
  Script script;
  script.bytes = "ok";
  const Outcome out = read(script, {1, 2, 3, 4, 5, 6, 7, 8});  // longer than 3 x 2
  EXPECT_EQ(out.stdoutText, "readAztecCamera[decode]");
  EXPECT_EQ(out.text, u"ok");
  EXPECT_EQ(script.framePixels, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6}));
  // A frame that does not fit its array is not decoded at all, but the call is traced once.
  Script rejected;
  const Outcome none = read(rejected, {1, 2, 3, 4, 5});
  EXPECT_EQ(none.stdoutText, "readAztecCamera");
  EXPECT_TRUE(none.isNull);
  EXPECT_TRUE(rejected.framePixels.empty());
}

TEST(ReadAztecCamera, ExceptionsInsideDecodingGiveTheEmptyStringAndSok) {
  for (const std::function<void()>& thrower : std::vector<std::function<void()>>{
           [] { throw std::out_of_range("invalid vector<T> subscript"); }, [] { throw std::bad_alloc(); },
           [] { throw Aztec::ReedSolomon::ReedSolomonException("Too many errors"); }}) {
    for (bool inDecode : {true, false}) {
      Script script;
      script.bytes = "never returned";
      (inDecode ? script.onDecode : script.onResultText) = thrower;
      const Outcome out = read(script);
      EXPECT_EQ(out.hr, S_OK);
      EXPECT_TRUE(out.isNull);
      EXPECT_EQ(out.stdoutText, "readAztecCamera[decode]");
    }
  }
  // A failure outside the decode step (making the decoder) is returned as its HRESULT.
  auto* reader = new AztecReader([]() -> std::unique_ptr<FrameDecoder> { throw std::bad_alloc(); });
  std::vector<std::uint8_t> pixels(4, 0);
  HSTRING result = reinterpret_cast<HSTRING>(0x1);
  EXPECT_EQ(reader->readAztecCamera(4, pixels.data(), 2, 2, &result), E_OUTOFMEMORY);
  EXPECT_EQ(result, nullptr);
  reader->Release();
}

}  // namespace

// readAztecCamera's own behaviour at the boundary, with a stand-in decoder that returns chosen
// bytes or throws, reached through the AztecReader's ABI method.

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "aztec_reader.h"
#include "decoder/decoder.h"
#include "frame_reader.h"
#include "reedsolomon/exceptions.h"

namespace {

using KalvaroWindows81::AztecReader;
using KalvaroWindows81::Detail::FrameDecoder;

struct Script {
  explicit Script(std::string b = "", int s = Aztec::DataRead) : status(s), bytes(std::move(b)) {}
  int status;
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

// The HRESULT, then what was printed, then the text ("null" for a null string).
std::string read(Script& script, std::vector<std::uint8_t> pixels = std::vector<std::uint8_t>(6, 7)) {
  auto* reader = new AztecReader([&script] { return std::make_unique<StandInDecoder>(script); });
  HSTRING result = reinterpret_cast<HSTRING>(0x1);
  testing::internal::CaptureStdout();
  const HRESULT hr =
      reader->readAztecCamera(static_cast<UINT32>(pixels.size()), pixels.data(), 3, 2, &result);
  std::string out = std::to_string(hr) + " " + testing::internal::GetCapturedStdout() + " ";
  UINT32 length = 0;
  for (const char16_t* c = WindowsGetStringRawBuffer(result, &length); c != nullptr && length > 0; --length)
    out += std::to_string(*c++) + ",";
  WindowsDeleteString(result);
  reader->Release();
  return result == nullptr ? out + "null" : out;
}

// Each byte becomes one UTF-16 unit (no UTF-8 decode) up to the first zero; nothing found: the
// text is not even fetched; found and not read: whatever the decoder holds.
TEST(ReadAztecCamera, EachByteBecomesOneUtf16UnitUpToTheFirstZero) {
  const std::tuple<int, std::string, std::string, int> cases[] = {
      {Aztec::DataRead, "A\xE9\xFF\x7F\xC3\xA9", "0 readAztecCamera[decode] 65,233,255,127,195,169,", 1},
      {Aztec::DataRead, std::string("ab\0cd", 5), "0 readAztecCamera[decode] 97,98,", 1},
      {Aztec::DataRead, std::string("\0x", 2), "0 readAztecCamera[decode] null", 1},
      {Aztec::NotRead, "text", "0 readAztecCamera[decode] null", 0},
      {Aztec::Detected, "text", "0 readAztecCamera[decode] 116,101,120,116,", 1}};
  for (const auto& [status, bytes, expected, fetches] : cases) {
    Script script(bytes, status);
    EXPECT_EQ(read(script), expected);
    EXPECT_EQ(script.resultTextCalls, fetches);
  }
}

TEST(ReadAztecCamera, TraceOnceBeforeDecodingAndTheFrameIsTheLeadingBytes) {
  Script script("ok");
  EXPECT_EQ(read(script, {1, 2, 3, 4, 5, 6, 7, 8}),
            "0 readAztecCamera[decode] 111,107,");  // longer than 3 x 2
  EXPECT_EQ(script.framePixels, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6}));
  // A frame that does not fit its array is not decoded at all, but the call is traced once.
  Script rejected;
  EXPECT_EQ(read(rejected, {1, 2, 3, 4, 5}), "0 readAztecCamera null");
  EXPECT_TRUE(rejected.framePixels.empty());
}

TEST(ReadAztecCamera, ExceptionsInsideDecodingGiveTheEmptyStringAndSok) {
  for (const std::function<void()>& thrower : std::vector<std::function<void()>>{
           [] { throw std::bad_alloc(); },
           [] { throw Aztec::ReedSolomon::ReedSolomonException("Too many errors"); }})
    for (bool inDecode : {true, false}) {
      Script script("never returned");
      (inDecode ? script.onDecode : script.onResultText) = thrower;
      EXPECT_EQ(read(script), "0 readAztecCamera[decode] null");
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

#include "frame_reader.h"

#include <cstdio>
#include <exception>
#include <string_view>

#include "decoder/decoder.h"
#include "runtime/module.h"

namespace KalvaroWindows81::Detail {

namespace {

class CoreDecoder final : public FrameDecoder {
 public:
  int decode(const Velmora::Image::GrayBuf& frame, std::string& statusText) override {
    return decoder_.decode(frame, statusText);
  }
  std::string resultText() const override { return decoder_.resultText(); }

 private:
  Aztec::Decoder decoder_;
};

// Hosts watch for this marker once per call; no newline, as the original writes it.
void writeTrace() {
  std::printf("readAztecCamera");
}

HSTRING toRuntimeString(const std::string& bytes) {
  // Each byte becomes the code unit of the same value (Latin-1), not a UTF-8 decode.
  std::u16string wide(bytes.size(), u'\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) wide[i] = static_cast<unsigned char>(bytes[i]);
  // The text is treated as zero-terminated: anything from the first zero byte on is dropped.
  return AztecRuntime::makeString(std::u16string_view(wide).substr(0, wide.find(u'\0')));
}

}  // namespace

std::unique_ptr<FrameDecoder> makeCoreDecoder() {
  return std::make_unique<CoreDecoder>();
}

bool frameFitsArray(const std::uint8_t* pixels, std::uint32_t length, std::int32_t width,
                    std::int32_t height) noexcept {
  if (pixels == nullptr || width <= 0 || height <= 0) return false;
  const std::int64_t area = std::int64_t{width} * height;
  return area <= INT32_MAX && area <= std::int64_t{length};
}

HSTRING readFrame(const DecoderFactory& makeDecoder, const std::uint8_t* pixels, std::uint32_t length,
                  std::int32_t width, std::int32_t height) {
  if (!frameFitsArray(pixels, length, width, height)) {
    writeTrace();
    return nullptr;
  }
  auto decoder = makeDecoder();
  auto frame =
      std::make_unique<Velmora::Image::GrayBuf>(Velmora::Image::GrayBuf::fromBytes(pixels, width, height));
  std::string statusText;  // filled by the decoder, not returned
  std::string resultText;
  try {
    writeTrace();
    if (decoder->decode(*frame, statusText) != Aztec::NotRead) resultText = decoder->resultText();
  } catch (const std::exception&) {
    // A frame that breaks decoding is an unreadable frame, not a failed call.
  }
  frame.reset();
  decoder.reset();
  return toRuntimeString(resultText);
}

}  // namespace KalvaroWindows81::Detail

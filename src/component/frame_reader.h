#pragma once
// The body of readAztecCamera, apart from its runtime object: bytes in, runtime string out.
// The decoding step is passed in so the boundary's own behaviour can be exercised with chosen
// decoder outcomes; production always uses the core Decoder.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "image/gray_buf.h"
#include "runtime/abi.h"

namespace KalvaroWindows81::Detail {

// What the entry needs of a decoder (the core Decoder's own operations).
class FrameDecoder {
 public:
  virtual ~FrameDecoder() = default;
  // Returns a DecodeStatus; may throw.
  virtual int decode(const Velmora::Image::GrayBuf& frame, std::string& statusText) = 0;
  virtual std::string resultText() const = 0;
};

using DecoderFactory = std::function<std::unique_ptr<FrameDecoder>()>;

std::unique_ptr<FrameDecoder> makeCoreDecoder();

// True when the array exists and holds the whole width x height frame, with both sides
// positive and the area within the image type's 32-bit size.
bool frameFitsArray(const std::uint8_t* pixels, std::uint32_t length, std::int32_t width,
                    std::int32_t height) noexcept;

// Decodes one frame. A frame that does not fit its array gives the null string without being
// read. Exceptions of decoding give the null string; only failures outside it (making the
// decoder or the image, creating the string) propagate.
HSTRING readFrame(const DecoderFactory& makeDecoder, const std::uint8_t* pixels, std::uint32_t length,
                  std::int32_t width, std::int32_t height);

}  // namespace KalvaroWindows81::Detail

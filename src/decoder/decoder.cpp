#include "decoder/decoder.h"

#include <algorithm>
#include <cstdio>

#include "symbol/codeword_correction.h"

namespace Aztec {

Decoder::Decoder() : detector_(std::make_unique<Detector>()) {}

Decoder::~Decoder() = default;

int Decoder::decode(const Velmora::Image::GrayBuf& frame, std::string& statusText) {
  std::vector<std::uint8_t>().swap(decodedBytes_);  // empty and release the storage
  detector_->setImage(frame);
  std::vector<SymbolCandidate> candidates = detector_->createCandidates();
  SymbolCandidate& candidate = candidates.front();

  int status;
  if (detector_->detect(candidate)) {
    status = Detected;
    statusText = "Detected barcode area " + symbolInfo(candidate);
    std::optional<std::vector<std::uint8_t>> bytes = detector_->readData(candidate);
    if (bytes) {
      status = DataRead;
      statusText = "Read data " + symbolInfo(candidate) + "\n" +
                   " #err=" + intToText(lastErrorCount.load(std::memory_order_relaxed));
      decodedBytes_ = std::move(*bytes);
    }
  } else {
    status = NotRead;
    statusText = "Aztec code detected. The image quality does not allow for reading the data. " +
                 symbolInfo(candidate);
  }
  return status;
}

std::string Decoder::resultText() const {
  return std::string(decodedBytes_.begin(), decodedBytes_.end());
}

std::string Decoder::symbolInfo(const SymbolCandidate& candidate) {
  std::string info = "(";
  switch (candidate.symbolType) {
    case 1:
      info += "C";
      break;
    case 2:
      info += "F";
      break;
    default:
      info += "?";
      break;
  }
  info += " ";
  switch (candidate.rotation) {
    case 0:
      info += "0'";
      break;
    case 1:
      info += "90'";
      break;
    case 2:
      info += "180'";
      break;
    case 3:
      info += "270'";
      break;
    default:
      info += "?'";
      break;
  }
  if (candidate.mirrored) info += "M";
  info += " L: " + intToText(candidate.layers);
  // Signed 32-bit arithmetic as the report defines it; wrap instead of overflowing.
  const auto mul32 = [](long long a, long long b) {
    return static_cast<int>(static_cast<std::uint32_t>(a * b));
  };
  info += " D: " + intToText(mul32(candidate.dataCodewords, candidate.codewordSize));
  const int divisor = candidate.totalCodewords > 0 ? candidate.totalCodewords : 1;
  const int check = static_cast<int>(
      static_cast<std::uint32_t>(static_cast<long long>(candidate.totalCodewords) - candidate.dataCodewords));
  const int percent = mul32(check, 100);
  info += " ECC: " + intToText(percent / divisor);
  info += "%)";
  return info;
}

std::string Decoder::intToText(int value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%d", value);
  return buffer;
}

ExactDecodeResult decodeExact(const LumaView& view) {
  validateView(view);
  // The decoder's image holds rows back to back: a padded view is copied row by row.
  Velmora::Image::GrayBuf frame;
  if (view.stride == view.width) {
    frame = Velmora::Image::GrayBuf::fromBytes(view.data, view.width, view.height);
  } else {
    std::vector<std::uint8_t> packed(static_cast<std::size_t>(view.width) *
                                     static_cast<std::size_t>(view.height));
    for (int y = 0; y < view.height; ++y)
      std::copy_n(view.data + static_cast<std::size_t>(y) * static_cast<std::size_t>(view.stride), view.width,
                  packed.begin() + static_cast<std::ptrdiff_t>(y) * view.width);
    frame = Velmora::Image::GrayBuf::fromBytes(packed.data(), view.width, view.height);
  }
  Decoder decoder;
  ExactDecodeResult result;
  result.status = static_cast<DecodeStatus>(decoder.decode(frame, result.statusText));
  result.bytes = decoder.decodedBytes();
  result.text = decoder.resultText();
  return result;
}

}  // namespace Aztec

#pragma once
// Per-frame driver of the pipeline: hands the frame to its Detector, runs the search and the
// data path, keeps the decoded bytes and describes the outcome.

#include <aztec/exact_decoder.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "detect/detector.h"
#include "image/gray_buf.h"

namespace Aztec {

class Decoder {
 public:
  Decoder();
  ~Decoder();
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  // Decodes one frame. `statusText` is replaced with a one-line description of the outcome.
  // Exceptions of the stages below pass through with decodedBytes empty.
  int decode(const Velmora::Image::GrayBuf& frame, std::string& statusText);

  // The decoded bytes as characters of the same bit pattern; empty unless the last decode
  // answered DataRead.
  std::string resultText() const;
  const std::vector<std::uint8_t>& decodedBytes() const { return decodedBytes_; }

  // "(C 90' L: 2 D: 138 ECC: 42%)" and the like.
  static std::string symbolInfo(const SymbolCandidate& candidate);
  static std::string intToText(int value);

 private:
  std::unique_ptr<Detector> detector_;
  std::vector<std::uint8_t> decodedBytes_;
};

}  // namespace Aztec

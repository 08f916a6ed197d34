#pragma once
// The exact decoder: reads the one symbol near the middle of a frame, searching a fixed pattern
// of start points around the centre, and describes the outcome in a status text. It is the
// reference behaviour the runtime component returns; the whole-frame reader (<aztec/reader.h>)
// is what reads more frames.

#include <aztec/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace Aztec {

enum DecodeStatus : int {
  NotRead = 0,   // no symbol found at any search point
  Detected = 1,  // symbol found and its mode message read, data not read
  DataRead = 2,  // data read into the decoded bytes
};

struct ExactDecodeResult {
  DecodeStatus status = NotRead;
  std::string statusText;           // one-line description of the outcome
  std::vector<std::uint8_t> bytes;  // the decoded bytes; empty unless status is DataRead
  std::string text;                 // the same bytes as characters of the same bit pattern
};

// Decodes one frame with a fresh decoder (results never depend on earlier frames). Throws
// InvalidViewError for a view that cannot be read safely; exceptions of the decoding stages
// pass through with the frame unread.
ExactDecodeResult decodeExact(const LumaView& view);

}  // namespace Aztec

#pragma once
// Reads one frame with the whole-frame reader or the exact decoder and describes the outcome
// for the output writer. Never throws: a reader's exception becomes a failed report.

#include <string>

#include "image/gray_buf.h"
#include "output_writer.h"

namespace AztecTools {

struct ReadSettings {
  bool exact = false;    // the exact decoder on the symbol near the middle
  bool verbose = false;  // notes describing each symbol (or the decoder's status) and the trace
  std::string debugDir;  // not empty: a picture of the trace per frame goes there
};

FrameReport readFrame(const Velmora::Image::GrayBuf& frame, const ReadSettings& settings, FrameLabel label);

}  // namespace AztecTools

#pragma once
// aztec-read's view of the whole-frame reader's trace: the -v lines (counts and times per step,
// the candidates that got furthest) and the --debug picture of a frame.

#include <aztec/reader.h>

#include <string>
#include <vector>

#include "image/gray_buf.h"
#include "output_writer.h"

namespace AztecTools {

// -v lines: the steps with their counts and times, candidates per stage, and the candidates
// that got furthest (at most `shown`).
std::vector<std::string> traceNotes(const Aztec::ReadTrace& trace, std::size_t shown = 5);

// Makes `dir` (its parent must exist) and checks that files can be written in it; the error
// text when not.
std::optional<std::string> prepareDebugDir(const std::string& dir);

// The file the debug picture of a frame goes to: DIR/NAME.png, NAME the source's file name
// (with -frameN for a frame of a stream).
std::string debugImagePath(const std::string& dir, const FrameLabel& label);

// Writes the frame as an RGB PNG with the flat blocks shaded, each candidate marked in the
// colour of the stage it reached (its ring quadrilateral and sampled module centres drawn), and
// the corners of every symbol read. The error text when the file could not be written.
std::optional<std::string> writeDebugImage(const std::string& path, const Velmora::Image::GrayBuf& frame,
                                           const Aztec::ReadTrace& trace,
                                           const std::vector<Aztec::ReadResult>& results);

}  // namespace AztecTools

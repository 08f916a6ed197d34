// aztec-read: reads every Aztec symbol in each image file given with the whole-frame reader,
// or with --exact the symbol near the middle with the exact decoder.

#include <unistd.h>

#include <exception>
#include <iostream>

#include "cli_options.h"
#include "frame_input.h"
#include "frame_reading.h"
#include "output_writer.h"

namespace {

using namespace AztecTools;

struct Outcome {
  bool inputError = false;  // some input could not be turned into frames
  bool notRead = false;     // some input gave no message
};

// One input file: its frame, read and written.
void readInput(const Options& opt, const std::string& file, OutputWriter& writer, Outcome& outcome) {
  const FrameLabel label{file, std::nullopt, std::nullopt};
  Velmora::Image::GrayBuf frame;
  try {
    const std::vector<std::uint8_t> bytes = readFileBytes(file);
    frame = opt.rawSize ? rawPlane(bytes, opt.rawSize->first, opt.rawSize->second) : decodeImage(bytes);
  } catch (const std::exception& e) {
    writer.error(label, e.what());
    outcome.inputError = true;
    return;
  }
  const FrameReport report = readFrame(frame, {opt.exact, opt.verbose}, label);
  outcome.notRead = outcome.notRead || report.messages.empty();
  writer.write(report);
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  if (std::optional<int> status = parseArguments(argc, argv, opt)) return *status;

  WriterSettings ws;
  ws.format = opt.format;
  ws.prefixSource = opt.inputs.size() > 1;
  ws.time = opt.time;
  // On a terminal only, so redirected stderr stays the one-line-per-problem log.
  ws.progress = opt.inputs.size() > 1 && isatty(STDERR_FILENO);
  OutputWriter writer(ws);

  Outcome outcome;
  for (std::size_t n = 0; n < opt.inputs.size(); ++n) {
    writer.progress("[" + std::to_string(n + 1) + "/" + std::to_string(opt.inputs.size()) + "] " +
                    opt.inputs[n]);
    readInput(opt, opt.inputs[n], writer, outcome);
  }
  if (!writer.finish()) {
    std::cerr << "aztec-read: error writing output\n";
    return 2;
  }
  return outcome.inputError ? 2 : outcome.notRead ? 1 : 0;
}

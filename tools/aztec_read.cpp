// aztec-read: reads every Aztec symbol in images, directories of images and frame streams
// (Y4M, raw luminance) with the whole-frame reader, or with --exact the symbol near the middle
// of each frame with the exact decoder.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <new>

#include "cli_options.h"
#include "frame_input.h"
#include "frame_pipeline.h"
#include "frame_source.h"
#include "output_writer.h"
#include "trace_output.h"

namespace {

using namespace AztecTools;

// What the inputs gave, kept as their events come out of the pipeline in order.
class Tally {
 public:
  Tally(std::size_t inputs, OutputWriter& writer) : inputs_(inputs), writer_(writer) {}

  // Writes the event; false once --first has what it waits for.
  bool take(const PipelineEvent& e, const FrameReport* report, bool first) {
    if (e.input != current_) {  // events come input by input
      in_ = InputState{};
      current_ = e.input;
    }
    InputState& in = in_;
    if (report) {
      writer_.write(*report);
      ++in.frames;
      ++framesTotal_;
      in.stream = e.label.index.has_value();
      in.read = in.read || !report->messages.empty();
      showProgress(e);
      found_ = found_ || (first && !report->messages.empty());
      return !found_;
    }
    if (!e.error.empty()) {
      writer_.error(e.label, e.error);
      if (in.frames == 0) inputError_ = true;  // nothing of it could be read
      return true;
    }
    // The input's end.
    if (in.frames > 0 && !in.read) {
      notRead_ = true;
      if (in.stream)
        writer_.error(e.label, "no symbol read in " + std::to_string(in.frames) +
                                   (in.frames == 1 ? " frame" : " frames"));
    }
    return true;
  }

  // --first: 0 once a frame gave a message, whatever the inputs before it did.
  bool found() const { return found_; }
  int exitStatus() const {
    if (found_) return 0;
    return inputError_ ? 2 : notRead_ ? 1 : 0;
  }

 private:
  struct InputState {
    long long frames = 0;
    bool stream = false;
    bool read = false;
  };

  void showProgress(const PipelineEvent& e) {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastProgress_ < std::chrono::milliseconds(250)) return;
    lastProgress_ = now;
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.1f",
                  framesTotal_ / std::chrono::duration<double>(now - start_).count());
    std::string where =
        inputs_ > 1 ? "[" + std::to_string(e.input + 1) + "/" + std::to_string(inputs_) + "] " : "";
    writer_.progress(where + frameName(e.label) + ", " + rate + " frames/s");
  }

  std::size_t inputs_;
  OutputWriter& writer_;
  InputState in_;
  std::size_t current_ = static_cast<std::size_t>(-1);
  long long framesTotal_ = 0;
  bool inputError_ = false;
  bool notRead_ = false;
  bool found_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now(), lastProgress_ = start_;
};

// Directories become the frame files under them; a directory without any is an error.
std::vector<std::string> expandInputs(const std::vector<std::string>& given,
                                      std::vector<std::string>& emptyDirs) {
  std::vector<std::string> inputs;
  for (const std::string& name : given) {
    std::error_code ec;
    if (name == "-" || !std::filesystem::is_directory(name, ec)) {
      inputs.push_back(name);
      continue;
    }
    std::vector<std::string> files;
    try {
      files = frameFilesUnder(name);
    } catch (const InputError& e) {
      emptyDirs.push_back(name + ": " + e.what());
      continue;
    }
    if (files.empty()) emptyDirs.push_back(name + ": no image or Y4M file under it");
    inputs.insert(inputs.end(), files.begin(), files.end());
  }
  return inputs;
}

// Feeds one input's frames, then its error if any, then its end. False once stopped.
bool feedInput(const Options& opt, std::size_t index, const std::string& name, FramePipeline& pipeline) {
  FrameLabel where{name, std::nullopt, std::nullopt};
  try {
    std::unique_ptr<FrameSource> source = openSource(name, opt.rawSize);
    if (source->isStream()) where.index = 0;
    while (std::optional<SourceFrame> f = source->next()) {
      where.index = f->label.index ? *f->label.index + 1 : 0;
      if (!pipeline.submit({index, std::move(f->label), std::move(f->frame), {}})) return false;
    }
  } catch (const InputError& e) {
    if (!pipeline.submit({index, where, std::nullopt, e.what()})) return false;
  } catch (const std::bad_alloc&) {
    if (!pipeline.submit({index, where, std::nullopt, "out of memory"})) return false;
  }
  return pipeline.submit({index, {name, std::nullopt, std::nullopt}, std::nullopt, {}});
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  if (std::optional<int> status = parseArguments(argc, argv, opt)) return *status;
  if (!opt.debugDir.empty())
    if (std::optional<std::string> error = prepareDebugDir(opt.debugDir)) {
      std::cerr << "aztec-read: " << *error << "\n";
      return 2;
    }

  std::vector<std::string> emptyDirs;
  const std::vector<std::string> inputs = expandInputs(opt.inputs, emptyDirs);
  for (const std::string& line : emptyDirs) std::cerr << "aztec-read: " << line << "\n";

  WriterSettings ws;
  ws.format = opt.format;
  ws.prefixSource = inputs.size() > 1 || opt.inputs.size() > 1;
  ws.time = opt.time;
  ws.dedupeWindow = opt.dedupe;
  // On a terminal only, so redirected stderr stays the one-line-per-problem log.
  ws.progress = isatty(STDERR_FILENO);
  OutputWriter writer(ws);
  Tally tally(inputs.size(), writer);

  bool stoppedEarly = false;
  {
    FramePipeline pipeline(
        opt.threads, {opt.exact, opt.verbose, opt.debugDir},
        [&](const PipelineEvent& e, const FrameReport* r) { return tally.take(e, r, opt.first); });
    for (std::size_t n = 0; n < inputs.size() && !stoppedEarly; ++n)
      stoppedEarly = !feedInput(opt, n, inputs[n], pipeline);
    pipeline.finish();
  }
  if (!writer.finish()) {
    std::cerr << "aztec-read: error writing output\n";
    return 2;
  }
  if (!emptyDirs.empty() && !tally.found()) return 2;
  return tally.exitStatus();
}

#pragma once
// The one place aztec-read writes results: messages on stdout as text, hex, raw bytes or JSON
// lines; per-frame problems, -v notes, --time lines and the terminal progress line on stderr.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace AztecTools {

enum class OutputFormat { Text, Hex, Raw, Json };

// Where a frame came from.
struct FrameLabel {
  std::string source;                 // file name, "-" for standard input
  std::optional<long long> index;     // frame index, for frames of a stream
  std::optional<double> timeSeconds;  // when the stream gives a frame rate
};

// One message read from a frame, with the JSON keys that describe it.
struct MessageOut {
  std::vector<std::uint8_t> bytes;
  std::string jsonKeys;  // ",\"key\":value..." after the frame's own keys
};

// What reading one frame gave, in the terms the writer prints.
struct FrameReport {
  FrameLabel label;
  std::vector<MessageOut> messages;
  std::string emptyJsonKeys;       // keys of the JSON line of a frame without a message
  std::string problem;             // why nothing was read ("" when something was)
  bool failed = false;             // the reader threw: shown even with --json and in streams
  std::vector<std::string> notes;  // -v descriptions
  double readMs = 0;
};

struct WriterSettings {
  OutputFormat format = OutputFormat::Text;
  bool prefixSource = false;  // several inputs: lines start with the source name
  bool time = false;          // --time: a line per frame on stderr
  int dedupeWindow = 0;       // > 0: a message seen within that many frames is not printed again
  bool progress = false;      // a progress line on stderr (callers pass true on a terminal only)
};

class OutputWriter {
 public:
  explicit OutputWriter(const WriterSettings& settings) : settings_(settings) {}
  ~OutputWriter() { clearProgress(); }

  void write(const FrameReport& report);
  // A problem of an input rather than of a frame's content: "source[ frame N]: what".
  void error(const FrameLabel& label, const std::string& what);
  // "[done/total] name" for a list of files, "name: N frames, F frames/s" for a stream.
  void progress(const std::string& text);
  // Clears the progress line; false when stdout could not be written.
  bool finish();

 private:
  bool firstSighting(const std::vector<std::uint8_t>& bytes);
  void clearProgress();

  WriterSettings settings_;
  std::size_t progressShown_ = 0;
  long long clock_ = 0;  // frames written, the --dedupe time base
  std::map<std::vector<std::uint8_t>, long long> lastSeen_;
};

// "name" or "name frame N", as stderr lines name a frame.
std::string frameName(const FrameLabel& label);

}  // namespace AztecTools

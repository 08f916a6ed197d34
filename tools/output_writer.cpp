#include "output_writer.h"

#include <cmath>
#include <cstdio>
#include <iostream>

#include "text_output.h"

namespace AztecTools {

std::string frameName(const FrameLabel& label) {
  return label.index ? label.source + " frame " + std::to_string(*label.index) : label.source;
}

namespace {

std::string jsonLine(const FrameLabel& label, const std::string& keys) {
  std::string line = "{\"file\":" + jsonString(label.source);
  if (label.index) line += ",\"frame\":" + std::to_string(*label.index);
  if (label.timeSeconds) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", *label.timeSeconds);
    line += std::string(",\"timeSeconds\":") + buf;
  }
  return line + keys + "}\n";
}

}  // namespace

bool OutputWriter::firstSighting(const std::vector<std::uint8_t>& bytes) {
  if (settings_.dedupeWindow <= 0) return true;
  auto [it, inserted] = lastSeen_.try_emplace(bytes, clock_);
  const bool fresh = inserted || clock_ - it->second > settings_.dedupeWindow;
  it->second = clock_;
  // Forget what left the window so a long stream of changing messages stays small.
  if (lastSeen_.size() > 4096)
    std::erase_if(lastSeen_,
                  [&](const auto& entry) { return clock_ - entry.second > settings_.dedupeWindow; });
  return fresh;
}

void OutputWriter::write(const FrameReport& r) {
  clearProgress();
  const std::string name = frameName(r.label);
  for (const std::string& note : r.notes) std::cerr << name << ": " << note << "\n";
  if (settings_.time) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", r.readMs);
    std::cerr << name << ": read in " << buf << " ms\n";
  }

  // A stream's frames without a message are not news; a file's are.
  const bool stream = r.label.index.has_value();
  if (r.messages.empty()) {
    if (settings_.format == OutputFormat::Json && !stream) std::cout << jsonLine(r.label, r.emptyJsonKeys);
    if (r.failed || (!stream && settings_.format != OutputFormat::Json && !r.problem.empty()))
      std::cerr << "aztec-read: " << name << ": " << r.problem << "\n";
  }
  std::string prefix;
  if (settings_.prefixSource) prefix = r.label.source + ": ";
  if (stream) prefix += "frame " + std::to_string(*r.label.index) + ": ";
  for (const MessageOut& m : r.messages) {
    if (!firstSighting(m.bytes)) continue;
    switch (settings_.format) {
      case OutputFormat::Json:
        std::cout << jsonLine(r.label, m.jsonKeys);
        break;
      case OutputFormat::Raw:
        std::cout.write(reinterpret_cast<const char*>(m.bytes.data()),
                        static_cast<std::streamsize>(m.bytes.size()));
        break;
      case OutputFormat::Text:
        std::cout << prefix << latin1ToUtf8(m.bytes) << "\n";
        break;
      case OutputFormat::Hex:
        std::cout << prefix << toHex(m.bytes, " ") << "\n";
        break;
    }
  }
  ++clock_;
  std::cout.flush();
}

void OutputWriter::error(const FrameLabel& label, const std::string& what) {
  clearProgress();
  std::cout.flush();
  std::cerr << "aztec-read: " << frameName(label) << ": " << what << "\n";
}

void OutputWriter::progress(const std::string& text) {
  if (!settings_.progress) return;
  std::string line = text.size() > 70 ? text.substr(0, 67) + "..." : text;
  clearProgress();
  std::cerr << line << std::flush;
  progressShown_ = line.size();
}

void OutputWriter::clearProgress() {
  if (progressShown_ == 0) return;
  std::cerr << '\r' << std::string(progressShown_, ' ') << '\r' << std::flush;
  progressShown_ = 0;
}

bool OutputWriter::finish() {
  clearProgress();
  std::cout.flush();
  return static_cast<bool>(std::cout);
}

}  // namespace AztecTools

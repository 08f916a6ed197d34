#include "frame_reading.h"

#include <aztec/reader.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>

#include "decoder/decoder.h"
#include "text_output.h"
#include "trace_output.h"

namespace AztecTools {

namespace {

// Status texts end a line with "\n #err=N"; one line on stderr reads better.
std::string oneLine(std::string text) {
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return text;
}

std::string jsonNumber(double value) {
  if (!std::isfinite(value)) return "null";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", value);
  return buf;
}

const char* jsonBool(bool value) {
  return value ? "true" : "false";
}

std::string symbolJsonKeys(const Aztec::ReadResult& r) {
  std::string sa = "null";
  if (r.structuredAppend)
    sa = "{\"index\":" + std::to_string(r.structuredAppend->index) +
         ",\"count\":" + std::to_string(r.structuredAppend->count) +
         ",\"id\":" + jsonString(r.structuredAppend->id) + "}";
  std::string corners = "[";
  for (std::size_t i = 0; i < r.corners.size(); ++i)
    corners +=
        std::string(i ? "," : "") + "[" + jsonNumber(r.corners[i].x) + "," + jsonNumber(r.corners[i].y) + "]";
  corners += "]";
  return ",\"text\":" + jsonString(r.text) + ",\"bytesHex\":\"" + toHex(r.bytes) + "\"" +
         ",\"gs1\":" + jsonBool(r.gs1) + ",\"structuredAppend\":" + sa +
         ",\"readerInitialisation\":" + jsonBool(r.readerInitialisation) + ",\"format\":\"" +
         Aztec::toString(r.format) + "\"" + ",\"layers\":" + std::to_string(r.layers) +
         ",\"dataCodewords\":" + std::to_string(r.dataCodewords) +
         ",\"checkCodewords\":" + std::to_string(r.checkCodewords) +
         ",\"correctedCodewords\":" + std::to_string(r.correctedCodewords) +
         ",\"rotation\":" + std::to_string(r.rotation) + ",\"mirrored\":" + jsonBool(r.mirrored) +
         ",\"inverted\":" + jsonBool(r.inverted) + ",\"corners\":" + corners;
}

// Default: every symbol the whole-frame reader finds.
void readWholeFrame(const Velmora::Image::GrayBuf& frame, const ReadSettings& settings, FrameReport& report) {
  std::vector<Aztec::ReadResult> symbols;
  const bool tracing = settings.verbose || !settings.debugDir.empty();
  Aztec::ReadTrace trace;
  try {
    const Aztec::LumaView view{frame.row(0), frame.width(), frame.height(), frame.stride()};
    symbols = Aztec::WholeFrameReader().read(view, tracing ? &trace : nullptr);
  } catch (const std::exception& e) {
    report.failed = true;
    report.problem = "reader failed: " + oneLine(e.what());
  } catch (...) {
    report.failed = true;
    report.problem = "reader failed: unknown exception";
  }
  if (settings.verbose) {
    report.notes.push_back(std::to_string(symbols.size()) + (symbols.size() == 1 ? " symbol" : " symbols"));
    for (std::size_t i = 0; i < symbols.size(); ++i) {
      const Aztec::ReadResult& r = symbols[i];
      report.notes.push_back("symbol " + std::to_string(i + 1) + ": " + Aztec::toString(r.format) + ", " +
                             std::to_string(r.layers) + " layers, " + std::to_string(r.dataCodewords) +
                             " data + " + std::to_string(r.checkCodewords) + " check codewords, " +
                             std::to_string(r.correctedCodewords) + " corrected, rotation " +
                             std::to_string(r.rotation) + (r.mirrored ? ", mirrored" : "") +
                             (r.inverted ? ", inverted" : ""));
    }
  }
  if (settings.verbose)
    for (std::string& line : traceNotes(trace)) report.notes.push_back(std::move(line));
  if (!settings.debugDir.empty())
    if (auto error = writeDebugImage(debugImagePath(settings.debugDir, report.label), frame, trace, symbols))
      report.notes.push_back(*error);
  for (const Aztec::ReadResult& r : symbols) report.messages.push_back({r.bytes, symbolJsonKeys(r)});
  report.emptyJsonKeys = ",\"symbols\":0";
  if (symbols.empty() && !report.failed) report.problem = "no symbol read";
}

// --exact: the symbol near the middle, with the decoder's status.
void readExact(const Velmora::Image::GrayBuf& frame, const ReadSettings& settings, FrameReport& report) {
  Aztec::Decoder decoder;
  std::string statusText;
  int status = -1;
  std::optional<std::string> error;
  try {
    status = decoder.decode(frame, statusText);
  } catch (const std::exception& e) {
    error = e.what();
  } catch (...) {
    error = "unknown exception";
  }
  const std::vector<std::uint8_t>& message = decoder.decodedBytes();
  if (settings.verbose) report.notes.push_back(oneLine(statusText));
  const std::string keys = ",\"status\":" + (error ? std::string("null") : std::to_string(status)) +
                           ",\"statusText\":" + jsonString(statusText) +
                           ",\"text\":" + jsonString(latin1ToUtf8(message)) + ",\"bytesHex\":\"" +
                           toHex(message) + "\"" +
                           ",\"error\":" + (error ? jsonString(*error) : std::string("null"));
  if (status == Aztec::DataRead) {
    report.messages.push_back({message, keys});
    return;
  }
  report.emptyJsonKeys = keys;
  report.failed = error.has_value();
  report.problem = error                       ? "decoder failed: " + oneLine(*error)
                   : status == Aztec::Detected ? "symbol found but its data not read"
                                               : "no symbol read";
}

}  // namespace

FrameReport readFrame(const Velmora::Image::GrayBuf& frame, const ReadSettings& settings, FrameLabel label) {
  FrameReport report;
  report.label = std::move(label);
  const auto start = std::chrono::steady_clock::now();
  if (settings.exact)
    readExact(frame, settings, report);
  else
    readWholeFrame(frame, settings, report);
  report.readMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  return report;
}

}  // namespace AztecTools

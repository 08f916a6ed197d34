// aztec-read: reads every Aztec symbol in each image file given with the whole-frame reader,
// or with --exact the symbol near the middle with the exact decoder.

#include <aztec/reader.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "frame_input.h"
#include "text_output.h"

namespace {

const char kUsage[] =
    "Usage: aztec-read [OPTIONS] FILE...\n"
    "Reads every Aztec Code symbol in each frame and prints their messages, one per line.\n"
    "\n"
    "FILE is a PNG, JPEG, BMP or PGM image (colour is reduced to luminance), or with --size a\n"
    "headerless luminance plane, one byte per pixel, row by row.\n"
    "\n"
    "Options:\n"
    "  --size WxH   read every FILE as a raw W x H luminance plane (extra bytes are ignored)\n"
    "  --exact      decode only the symbol near the middle with the exact decoder\n"
    "  --hex        print the message bytes in hex\n"
    "  --raw        write the message bytes unchanged, nothing else\n"
    "  --json       one JSON object per line: per symbol file, text, bytesHex, gs1,\n"
    "               structuredAppend, readerInitialisation, format, layers, dataCodewords,\n"
    "               checkCodewords, correctedCodewords, rotation, mirrored, inverted, corners;\n"
    "               {file, symbols:0} for a file without one. With --exact one per file:\n"
    "               file, status, statusText, text, bytesHex, error\n"
    "  -v, --verbose  describe each symbol (with --exact: the decoder's status text) on stderr\n"
    "  --time       print each frame's read time on stderr (\"FILE: 1.234 ms\")\n"
    "  -h, --help   show this help\n"
    "\n"
    "Messages are shown byte by byte as Latin-1 characters, written as UTF-8. With several\n"
    "files each line starts with the file name.\n"
    "\n"
    "Exit status: 0 every file gave a symbol, 1 some file gave none, 2 usage or file error.\n";

enum class Format { Text, Hex, Raw, Json };

struct Options {
  Format format = Format::Text;
  bool verbose = false;
  bool exact = false;
  bool time = false;
  std::optional<std::pair<int, int>> rawSize;
  std::vector<std::string> files;
};

int usageError(const std::string& message) {
  std::cerr << "aztec-read: " << message << " (try --help)\n";
  return 2;
}

// Progress on a terminal only, so redirected stderr stays the one-line-per-problem log.
class Progress {
 public:
  explicit Progress(std::size_t total) : active_(total > 1 && isatty(STDERR_FILENO)), total_(total) {}
  void show(std::size_t index, const std::string& file) {
    if (!active_) return;
    std::string line = "[" + std::to_string(index + 1) + "/" + std::to_string(total_) + "] " + file;
    if (line.size() > 70) line = line.substr(0, 67) + "...";
    clear();
    std::cerr << line << std::flush;
    shown_ = line.size();
  }
  // Called before anything else is written, so results never share a line with it.
  void clear() {
    if (!active_ || shown_ == 0) return;
    std::cerr << '\r' << std::string(shown_, ' ') << '\r' << std::flush;
    shown_ = 0;
  }

 private:
  bool active_;
  std::size_t total_;
  std::size_t shown_ = 0;
};

// Runs `read` and, with --time, prints how long it took.
template <class F>
void timed(const Options& opt, const std::string& file, Progress& progress, F&& read) {
  const auto t0 = std::chrono::steady_clock::now();
  read();
  if (!opt.time) return;
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  progress.clear();
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", ms);
  std::cerr << file << ": " << text << " ms\n";
}

// Status texts end a line with "\n #err=N"; one line on stderr reads better.
std::string oneLine(std::string text) {
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return text;
}

const char* formatName(Aztec::SymbolFormat format) {
  switch (format) {
    case Aztec::SymbolFormat::Compact:
      return "compact";
    case Aztec::SymbolFormat::FullRange:
      return "full-range";
    case Aztec::SymbolFormat::Rune:
      return "rune";
  }
  return "unknown";
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

std::string symbolJson(const std::string& file, const Aztec::ReadResult& r) {
  std::string sa = "null";
  if (r.structuredAppend)
    sa = "{\"index\":" + std::to_string(r.structuredAppend->index) +
         ",\"count\":" + std::to_string(r.structuredAppend->count) +
         ",\"id\":" + AztecTools::jsonString(r.structuredAppend->id) + "}";
  std::string corners = "[";
  for (std::size_t i = 0; i < r.corners.size(); ++i)
    corners +=
        std::string(i ? "," : "") + "[" + jsonNumber(r.corners[i].x) + "," + jsonNumber(r.corners[i].y) + "]";
  corners += "]";
  return "{\"file\":" + AztecTools::jsonString(file) + ",\"text\":" + AztecTools::jsonString(r.text) +
         ",\"bytesHex\":\"" + AztecTools::toHex(r.bytes) + "\"" + ",\"gs1\":" + jsonBool(r.gs1) +
         ",\"structuredAppend\":" + sa + ",\"readerInitialisation\":" + jsonBool(r.readerInitialisation) +
         ",\"format\":\"" + formatName(r.format) + "\"" + ",\"layers\":" + std::to_string(r.layers) +
         ",\"dataCodewords\":" + std::to_string(r.dataCodewords) +
         ",\"checkCodewords\":" + std::to_string(r.checkCodewords) +
         ",\"correctedCodewords\":" + std::to_string(r.correctedCodewords) +
         ",\"rotation\":" + std::to_string(r.rotation) + ",\"mirrored\":" + jsonBool(r.mirrored) +
         ",\"inverted\":" + jsonBool(r.inverted) + ",\"corners\":" + corners + "}\n";
}

// Default mode: every symbol the whole-frame reader finds. True when there was at least one.
bool readWholeFrame(const Options& opt, const std::string& file, const Velmora::Image::GrayBuf& frame,
                    bool prefixName, Progress& progress) {
  std::vector<Aztec::ReadResult> symbols;
  std::optional<std::string> error;
  try {
    const Aztec::LumaView view{frame.row(0), frame.width(), frame.height(), frame.stride()};
    timed(opt, file, progress, [&] { symbols = Aztec::WholeFrameReader().read(view); });
  } catch (const std::exception& e) {
    error = e.what();
  } catch (...) {
    error = "unknown exception";
  }
  progress.clear();

  if (opt.verbose) {
    std::cerr << file << ": " << symbols.size() << (symbols.size() == 1 ? " symbol" : " symbols") << "\n";
    for (std::size_t i = 0; i < symbols.size(); ++i) {
      const Aztec::ReadResult& r = symbols[i];
      std::cerr << file << ": symbol " << i + 1 << ": " << formatName(r.format) << ", " << r.layers
                << " layers, " << r.dataCodewords << " data + " << r.checkCodewords << " check codewords, "
                << r.correctedCodewords << " corrected, rotation " << r.rotation
                << (r.mirrored ? ", mirrored" : "") << (r.inverted ? ", inverted" : "") << "\n";
    }
  }

  for (const Aztec::ReadResult& r : symbols) {
    switch (opt.format) {
      case Format::Json:
        std::cout << symbolJson(file, r);
        break;
      case Format::Raw:
        std::cout.write(reinterpret_cast<const char*>(r.bytes.data()),
                        static_cast<std::streamsize>(r.bytes.size()));
        break;
      case Format::Text:
      case Format::Hex:
        if (prefixName) std::cout << file << ": ";
        std::cout << (opt.format == Format::Hex ? AztecTools::toHex(r.bytes, " ")
                                                : AztecTools::latin1ToUtf8(r.bytes))
                  << "\n";
        break;
    }
  }
  if (symbols.empty()) {
    if (opt.format == Format::Json)
      std::cout << "{\"file\":" << AztecTools::jsonString(file) << ",\"symbols\":0}\n";
    if (error)
      std::cerr << "aztec-read: " << file << ": reader failed: " << oneLine(*error) << "\n";
    else if (opt.format != Format::Json)
      std::cerr << "aztec-read: " << file << ": no symbol read\n";
  }
  return !symbols.empty();
}
}  // namespace

int main(int argc, char** argv) {
  Options opt;
  bool formatGiven = false;
  bool onlyFiles = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (onlyFiles || a.empty() || a[0] != '-' || a == "-") {
      opt.files.push_back(a);
      continue;
    }
    Format f;
    if (a == "--") {
      onlyFiles = true;
      continue;
    } else if (a == "-h" || a == "--help") {
      std::cout << kUsage;
      return 0;
    } else if (a == "--exact") {
      opt.exact = true;
      continue;
    } else if (a == "--time") {
      opt.time = true;
      continue;
    } else if (a == "-v" || a == "--verbose") {
      opt.verbose = true;
      continue;
    } else if (a == "--size" || a.rfind("--size=", 0) == 0) {
      std::string value;
      if (a == "--size") {
        if (i + 1 >= argc) return usageError("--size needs a value such as 640x480");
        value = argv[++i];
      } else {
        value = a.substr(7);
      }
      int w = 0, h = 0;
      if (!AztecTools::parseSize(value, w, h))
        return usageError("bad --size '" + value + "', expected WxH such as 640x480");
      opt.rawSize = std::make_pair(w, h);
      continue;
    } else if (a == "--hex") {
      f = Format::Hex;
    } else if (a == "--raw") {
      f = Format::Raw;
    } else if (a == "--json") {
      f = Format::Json;
    } else {
      return usageError("unknown option '" + a + "'");
    }
    if (formatGiven && f != opt.format) return usageError("--hex, --raw and --json exclude each other");
    opt.format = f;
    formatGiven = true;
  }
  if (opt.files.empty()) return usageError("no input file");

  const bool prefixName = opt.files.size() > 1;
  bool anyFileError = false;
  bool anyNotRead = false;
  Progress progress(opt.files.size());

  for (std::size_t n = 0; n < opt.files.size(); ++n) {
    const std::string& file = opt.files[n];
    progress.show(n, file);

    Velmora::Image::GrayBuf frame;
    try {
      std::vector<std::uint8_t> bytes = AztecTools::readFileBytes(file);
      frame = opt.rawSize ? AztecTools::rawPlane(bytes, opt.rawSize->first, opt.rawSize->second)
                          : AztecTools::decodeImage(bytes);
    } catch (const std::exception& e) {
      progress.clear();
      std::cerr << "aztec-read: " << file << ": " << e.what() << "\n";
      anyFileError = true;
      continue;
    }

    if (!opt.exact) {
      const bool read = readWholeFrame(opt, file, frame, prefixName, progress);
      anyNotRead = anyNotRead || !read;
      std::cout.flush();
      continue;
    }

    Aztec::Decoder decoder;
    std::string statusText;
    int status = -1;
    std::optional<std::string> error;
    try {
      timed(opt, file, progress, [&] { status = decoder.decode(frame, statusText); });
    } catch (const std::exception& e) {
      error = e.what();
    } catch (...) {
      error = "unknown exception";
    }
    const std::vector<std::uint8_t>& message = decoder.decodedBytes();
    const bool read = status == Aztec::DataRead;
    anyNotRead = anyNotRead || !read;
    progress.clear();

    if (opt.verbose) std::cerr << file << ": " << oneLine(statusText) << "\n";

    switch (opt.format) {
      case Format::Json: {
        std::string line = "{\"file\":" + AztecTools::jsonString(file) +
                           ",\"status\":" + (error ? std::string("null") : std::to_string(status)) +
                           ",\"statusText\":" + AztecTools::jsonString(statusText) +
                           ",\"text\":" + AztecTools::jsonString(AztecTools::latin1ToUtf8(message)) +
                           ",\"bytesHex\":\"" + AztecTools::toHex(message) + "\"" +
                           ",\"error\":" + (error ? AztecTools::jsonString(*error) : std::string("null")) +
                           "}\n";
        std::cout << line;
        break;
      }
      case Format::Raw:
        if (read)
          std::cout.write(reinterpret_cast<const char*>(message.data()),
                          static_cast<std::streamsize>(message.size()));
        break;
      case Format::Text:
      case Format::Hex:
        if (read) {
          if (prefixName) std::cout << file << ": ";
          std::cout << (opt.format == Format::Hex ? AztecTools::toHex(message, " ")
                                                  : AztecTools::latin1ToUtf8(message))
                    << "\n";
        }
        break;
    }
    if (!read && opt.format != Format::Json) {
      if (error)
        std::cerr << "aztec-read: " << file << ": decoder failed: " << oneLine(*error) << "\n";
      else
        std::cerr << "aztec-read: " << file << ": "
                  << (status == Aztec::Detected ? "symbol found but its data not read" : "no symbol read")
                  << "\n";
    }
    std::cout.flush();
  }
  progress.clear();

  if (!std::cout) {
    std::cerr << "aztec-read: error writing output\n";
    return 2;
  }
  return anyFileError ? 2 : anyNotRead ? 1 : 0;
}

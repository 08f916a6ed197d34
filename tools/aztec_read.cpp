// aztec-read: decodes the Aztec symbol near the middle of each image file given.

#include <unistd.h>

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
    "Decodes the Aztec Code symbol near the middle of each frame and prints its message.\n"
    "\n"
    "FILE is a PNG, JPEG, BMP or PGM image (colour is reduced to luminance), or with --size a\n"
    "headerless luminance plane, one byte per pixel, row by row.\n"
    "\n"
    "Options:\n"
    "  --size WxH   read every FILE as a raw W x H luminance plane (extra bytes are ignored)\n"
    "  --hex        print the message bytes in hex\n"
    "  --raw        write the message bytes unchanged, nothing else\n"
    "  --json       one JSON object per file and line: file, status, statusText, text,\n"
    "               bytesHex, error\n"
    "  -v, --verbose  print the decoder's status text on stderr\n"
    "  -h, --help   show this help\n"
    "\n"
    "Messages are shown byte by byte as Latin-1 characters, written as UTF-8. With several\n"
    "files each line starts with the file name.\n"
    "\n"
    "Exit status: 0 every file was read, 1 some symbol was not read, 2 usage or file error.\n";

enum class Format { Text, Hex, Raw, Json };

struct Options {
  Format format = Format::Text;
  bool verbose = false;
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

// Status texts end a line with "\n #err=N"; one line on stderr reads better.
std::string oneLine(std::string text) {
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return text;
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

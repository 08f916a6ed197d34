#include "cli_options.h"

#include <algorithm>
#include <iostream>
#include <thread>

#include "frame_input.h"

namespace AztecTools {

namespace {

const char kUsage[] =
    "Usage: aztec-read [OPTIONS] INPUT...\n"
    "Reads every Aztec Code symbol in each frame and prints their messages, one per line.\n"
    "\n"
    "INPUT is one of:\n"
    "  an image file   PNG, JPEG, BMP or binary PGM/PPM (colour is reduced to luminance)\n"
    "  a Y4M stream    YUV4MPEG2 as ffmpeg writes it (-f yuv4mpegpipe), colour spaces 420*,\n"
    "                  422, 444 and mono; the luminance plane of every frame is read\n"
    "  a raw stream    with --size WxH: frames of W x H luminance bytes, one after another\n"
    "  a directory     every image or Y4M file under it, recursively, in sorted order;\n"
    "                  other files are skipped\n"
    "  -               standard input: an image, a Y4M stream, or with --size a raw stream\n"
    "\n"
    "Options:\n"
    "  --size WxH   read files and standard input as raw W x H luminance frames; a trailing\n"
    "               partial frame is reported and ignored\n"
    "  --exact      decode only the symbol near the middle with the exact decoder\n"
    "  --hex        print the message bytes in hex\n"
    "  --raw        write the message bytes unchanged, nothing else\n"
    "  --json       one JSON object per line: per symbol file, text, bytesHex, gs1,\n"
    "               structuredAppend, readerInitialisation, format, layers, dataCodewords,\n"
    "               checkCodewords, correctedCodewords, rotation, mirrored, inverted, corners;\n"
    "               {file, symbols:0} for an image without one. With --exact one per image:\n"
    "               file, status, statusText, text, bytesHex, error. Frames of a stream add\n"
    "               frame (its index from 0) and, when the stream gives a frame rate,\n"
    "               timeSeconds; a stream's frames without a symbol give no line\n"
    "  --dedupe[=N] print a message only if it was not seen in the last N frames (default 30)\n"
    "  --first      stop after the first frame with a message (exit status 0)\n"
    "  --threads N  read frames on N worker threads (default: one per core); the output is\n"
    "               in frame order whatever N is\n"
    "  --time       print each frame's read time on stderr: \"NAME: read in 1.234 ms\"\n"
    "  -v, --verbose  describe each symbol (with --exact: the decoder's status text) on stderr;\n"
    "               without --exact also the reader's steps with their counts and times and\n"
    "               the finder candidates that got furthest\n"
    "  --debug DIR  write per frame DIR/NAME.png: the frame with the blocks judged flat shaded\n"
    "               blue, finder candidates marked in the colour of the stage they reached\n"
    "               (grey found, yellow rings checked, orange ring corners, magenta finder fit,\n"
    "               cyan mode message, blue sampled, light green decoded, green read) with\n"
    "               their ring outlines and sampled module centres (red), and the outline of\n"
    "               every symbol read (green, a cross on its top-left corner)\n"
    "  -h, --help   show this help\n"
    "\n"
    "Messages are shown byte by byte as Latin-1 characters, written as UTF-8. With several\n"
    "files each line starts with the file name; a stream's lines start with \"frame N: \".\n"
    "On a terminal, stderr shows a progress line with the frames read per second.\n"
    "\n"
    "Exit status: 0 every input gave a symbol, 1 some input gave none, 2 usage error or an\n"
    "input of which nothing could be read.\n";

int usageError(const std::string& message) {
  std::cerr << "aztec-read: " << message << " (try --help)\n";
  return 2;
}

// "--name VALUE" or "--name=VALUE": true when `arg` is that option, with its value in `value`.
bool optionValue(const std::string& name, int argc, char** argv, int& i, std::string& value, bool& missing) {
  const std::string arg = argv[i];
  if (arg.rfind(name + "=", 0) == 0) {
    value = arg.substr(name.size() + 1);
    return true;
  }
  if (arg != name) return false;
  missing = i + 1 >= argc;
  if (!missing) value = argv[++i];
  return true;
}

// "1".."max" -> the number, anything else 0.
int boundedNumber(const std::string& text, int max) {
  if (text.empty() || text.size() > 7 || text.find_first_not_of("0123456789") != std::string::npos) return 0;
  const int value = std::stoi(text);
  return value <= max ? value : 0;
}

}  // namespace

std::optional<int> parseArguments(int argc, char** argv, Options& opt) {
  bool formatGiven = false;
  bool onlyFiles = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (onlyFiles || a.empty() || a[0] != '-' || a == "-") {
      opt.inputs.push_back(a);
      continue;
    }
    std::string value;
    bool missing = false;
    std::optional<OutputFormat> format;
    if (a == "--") {
      onlyFiles = true;
    } else if (a == "-h" || a == "--help") {
      std::cout << kUsage;
      return 0;
    } else if (a == "--exact") {
      opt.exact = true;
    } else if (a == "-v" || a == "--verbose") {
      opt.verbose = true;
    } else if (a == "--time") {
      opt.time = true;
    } else if (a == "--first") {
      opt.first = true;
    } else if (a == "--dedupe" || a.rfind("--dedupe=", 0) == 0) {
      opt.dedupe = 30;
      if (a != "--dedupe" && !(opt.dedupe = boundedNumber(a.substr(9), 1 << 20)))
        return usageError("bad " + a + ", expected --dedupe=N with N a number of frames");
    } else if (optionValue("--threads", argc, argv, i, value, missing)) {
      if (missing || !(opt.threads = boundedNumber(value, 256)))
        return usageError("--threads needs a number from 1 to 256");
    } else if (optionValue("--debug", argc, argv, i, value, missing)) {
      if (missing || value.empty()) return usageError("--debug needs a directory");
      opt.debugDir = value;
    } else if (optionValue("--size", argc, argv, i, value, missing)) {
      if (missing) return usageError("--size needs a value such as 640x480");
      int w = 0, h = 0;
      if (!parseSize(value, w, h))
        return usageError("bad --size '" + value + "', expected WxH such as 640x480");
      opt.rawSize = std::make_pair(w, h);
    } else if (a == "--hex") {
      format = OutputFormat::Hex;
    } else if (a == "--raw") {
      format = OutputFormat::Raw;
    } else if (a == "--json") {
      format = OutputFormat::Json;
    } else {
      return usageError("unknown option '" + a + "'");
    }
    if (!format) continue;
    if (formatGiven && *format != opt.format) return usageError("--hex, --raw and --json exclude each other");
    opt.format = *format;
    formatGiven = true;
  }
  if (opt.inputs.empty()) return usageError("no input file");
  if (opt.threads == 0)
    opt.threads = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 64);
  return std::nullopt;
}

}  // namespace AztecTools

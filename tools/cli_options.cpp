#include "cli_options.h"

#include <iostream>

#include "frame_input.h"

namespace AztecTools {

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
    "  --time       print each frame's read time on stderr: \"NAME: read in 1.234 ms\"\n"
    "  -v, --verbose  describe each symbol (with --exact: the decoder's status text) on stderr\n"
    "  -h, --help   show this help\n"
    "\n"
    "Messages are shown byte by byte as Latin-1 characters, written as UTF-8. With several\n"
    "files each line starts with the file name.\n"
    "\n"
    "Exit status: 0 every file gave a symbol, 1 some file gave none, 2 usage or file error.\n";

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
  return std::nullopt;
}

}  // namespace AztecTools

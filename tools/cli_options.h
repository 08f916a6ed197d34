#pragma once
// aztec-read's command line: the options, their parsing and the help text.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "output_writer.h"

namespace AztecTools {

struct Options {
  OutputFormat format = OutputFormat::Text;
  bool verbose = false;
  std::string debugDir;  // --debug DIR
  bool exact = false;
  bool time = false;
  bool first = false;  // stop after the first frame with a message
  int dedupe = 0;      // > 0: print a message once within that many frames
  int threads = 0;     // worker threads; 0 = one per core
  std::optional<std::pair<int, int>> rawSize;
  std::vector<std::string> inputs;
};

// Fills `options` from argv. Returns the exit status when the program should stop here
// (--help: 0, usage error: 2, with its message on stderr), or nothing to carry on.
std::optional<int> parseArguments(int argc, char** argv, Options& options);

}  // namespace AztecTools

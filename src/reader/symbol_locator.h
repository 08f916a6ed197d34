#pragma once
// The whole-frame search: binarise once, find every bull's-eye, read its mode message, refine
// its grid and hand the sampled symbol to a content decoder. The decoders are parameters so
// that the search can be exercised on its own.

#include <aztec/reader.h>

#include <functional>
#include <optional>
#include <vector>

#include "reader/symbol_content.h"

namespace Aztec {

using ContentDecoder = std::function<std::optional<ReadResult>(const LocatedSymbol&)>;
using RuneDecoder = ContentDecoder;  // given the 11 x 11 grid of a rune

// Every symbol that `decode` accepts, nearest to the frame centre first. The view must be
// valid; runes go to `rune` (which may be empty when runes are not wanted).
std::vector<ReadResult> locateAndRead(const LumaView& view, const ReaderOptions& options,
                                      const ContentDecoder& decode, const RuneDecoder& rune);

}  // namespace Aztec

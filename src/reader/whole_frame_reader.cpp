#include <aztec/reader.h>

#include "reader/symbol_content.h"
#include "reader/symbol_locator.h"

namespace Aztec {

std::vector<ReadResult> WholeFrameReader::read(const LumaView& view) const {
  validateView(view);
  return locateAndRead(view, options_, decodeSymbolContent, decodeRuneSymbol);
}

}  // namespace Aztec

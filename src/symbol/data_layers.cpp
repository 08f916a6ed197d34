#include "symbol/data_layers.h"
#include "detect/detector.h"
// PLACEHOLDER: replaced by the data pipeline implementation.
namespace Aztec {
std::optional<std::vector<std::uint8_t>> Detector::readData(SymbolCandidate&) { return std::nullopt; }
BitRing extractDataBits(const SymbolCandidate&, const SampledGrid&) { return {}; }
std::optional<std::vector<std::uint8_t>> decodeSymbolData(const SymbolCandidate&, const SampledGrid*) { return std::nullopt; }
}  // namespace Aztec

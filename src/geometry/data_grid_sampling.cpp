#include "detect/detector.h"
// PLACEHOLDER: replaced by the data-grid sampling implementation.
namespace Aztec {
SampledGrid Detector::sampleDataGrid(SymbolCandidate&) { return {}; }
void Detector::sampleBlock(SymbolCandidate&, int, int, ModuleValueGrid&, int, int) {}
bool isDarkModule(const ModuleValueGrid&, int, int) { return false; }
}  // namespace Aztec

#include "detect/detector.h"
// PLACEHOLDER: replaced by the mode-message sampling implementation.
namespace Aztec {
bool Detector::sampleModeMessage(SymbolCandidate&, double) { return false; }
}  // namespace Aztec

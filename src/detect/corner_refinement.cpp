#include "detect/detector.h"
// PLACEHOLDER: replaced by the corner refinement implementation.
namespace Aztec {
void Detector::refineCorners(SymbolCandidate&) {}
}  // namespace Aztec

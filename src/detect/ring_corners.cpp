#include "detect/detector.h"
// PLACEHOLDER: replaced by the ring corner implementation.
namespace Aztec {
bool Detector::findRingCorners(SymbolCandidate&, bool) { return false; }
void Detector::floodRing(int, int) {}
}  // namespace Aztec

#include "detect/detector.h"
// PLACEHOLDER: replaced by the reference-grid implementation.
namespace Aztec {
bool Detector::buildCompactGridPoints(SymbolCandidate&) { return true; }
bool Detector::buildFullGridPoints(SymbolCandidate&) { return true; }
Point2D Detector::locateGridPoint(int, int, bool) const { return {}; }
double Detector::refineGridLineX(int x, int) const { return x; }
double Detector::refineGridLineY(int, int y) const { return y; }
}  // namespace Aztec

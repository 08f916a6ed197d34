#include "detect/detector.h"
// PLACEHOLDER: replaced by the bull's-eye centre implementation.
namespace Aztec {
Point2D Detector::locateCenter(int, int) { return {-1, -1}; }
void Detector::measureThresholds(int, int, int, int, int&, int&, int&) const {}
void Detector::classifyWindow(int, int, int, int, int, int, int) {}
void Detector::floodDark(int, int) {}
void Detector::floodLight(int, int) {}
bool Detector::fillable(Fill, int, int) const { return false; }
void Detector::fillStep(Fill, int, int) {}
}  // namespace Aztec

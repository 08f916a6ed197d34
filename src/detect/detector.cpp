#include "detect/detector.h"

namespace Aztec {

void Detector::setImage(const Velmora::Image::GrayBuf& frame) {
  image = std::make_shared<Velmora::Image::GrayBuf>(frame);
}

std::vector<SymbolCandidate> Detector::createCandidates() const {
  std::vector<SymbolCandidate> candidates(1);
  if (image) {
    candidates[0].center = Point2D{image->width() * 0.5, image->height() * 0.5};
  }
  return candidates;
}

}  // namespace Aztec

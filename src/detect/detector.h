#pragma once
// The per-frame detection and sampling object: holds a private copy of the frame, the level
// image, the flood-fill state of the search and the sampling state (current transform).
//
// Its operations are implemented stage by stage in the subsystem folders:
//   detect/detector.cpp            construction, setImage, createCandidates
//   detect/spiral_search.cpp       detect, tryAt
//   detect/bullseye_center.cpp     locateCenter, thresholds, window classification, fills
//   detect/ring_corners.cpp        findRingCorners, floodRing
//   detect/corner_refinement.cpp   refineCorners
//   geometry/point_sampling.cpp    fitTransform, sampleAt
//   geometry/mode_message_sampling.cpp   sampleModeMessage
//   geometry/grid_points.cpp       reference-grid points
//   geometry/data_grid_sampling.cpp      sampleDataGrid, sampleBlock
//   symbol/data_layers.cpp         readData
//
// The state fields are public: the stages' quirks (leftover marks in the level image, the
// window each stage leaves) are observable behaviour, and tests check them directly.

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "detect/symbol_candidate.h"
#include "geometry/data_grid_sampling.h"
#include "geometry/homography.h"
#include "image/gray_buf.h"

namespace Aztec {

struct IntPoint {
  int x = 0;
  int y = 0;
  friend bool operator==(const IntPoint&, const IntPoint&) = default;
};

// Levels written into the level image. Below 128 is dark.
enum Level : std::uint8_t {
  kLevelBlack = 0,
  kLevelDark = 85,
  kLevelDarkFilled = 120,
  kLevelLightFilled = 140,
  kLevelRingFilled = 150,
  kLevelLight = 170,
  kLevelWhite = 255,
};

class Detector {
 public:
  Detector() = default;

  // ---- driven by the Decoder ----
  // Keeps its own copy of the frame, replacing any earlier one.
  void setImage(const Velmora::Image::GrayBuf& frame);
  // Exactly one candidate, centred on the image, symbolType 0.
  std::vector<SymbolCandidate> createCandidates() const;
  // Spiral search around the image centre; true when a mode message was read.
  bool detect(SymbolCandidate& candidate);
  // Samples and decodes the data of a detected symbol; nothing when unreadable.
  std::optional<std::vector<std::uint8_t>> readData(SymbolCandidate& candidate);

  // ---- search ----
  bool tryAt(SymbolCandidate& candidate, int x, int y);

  // ---- bull's-eye centre and flood fills ----
  Point2D locateCenter(int px, int py);
  void measureThresholds(int x0, int y0, int x1, int y1, int& low, int& mid, int& high) const;
  void classifyWindow(int x0, int y0, int x1, int y1, int low, int mid, int high);
  void floodDark(int x, int y);
  void floodLight(int x, int y);

  // ---- finder ring corners ----
  bool findRingCorners(SymbolCandidate& candidate, bool fullRange);
  void floodRing(int x, int y);

  // ---- corner refinement ----
  void refineCorners(SymbolCandidate& candidate);

  // ---- perspective and point sampling ----
  void fitTransform(const std::array<Point2D, 4>& grid, const std::array<Point2D, 4>& image);
  // Maps a grid point through `transform` and reads the pixel under it (OUTSIDE_IMAGE off the image).
  std::uint32_t sampleAt(double x, double y) const;

  // ---- mode-message sampling ----
  bool sampleModeMessage(SymbolCandidate& candidate, double scale);

  // ---- reference-grid points ----
  bool buildCompactGridPoints(SymbolCandidate& candidate);
  bool buildFullGridPoints(SymbolCandidate& candidate);
  Point2D locateGridPoint(int x, int y, bool refine) const;
  double refineGridLineX(int x, int y) const;
  double refineGridLineY(int x, int y) const;

  // ---- data-grid sampling ----
  SampledGrid sampleDataGrid(SymbolCandidate& candidate);
  void sampleBlock(SymbolCandidate& candidate, int i, int j, ModuleValueGrid& values, int ox, int oy);

  // ---- state (see the class comment) ----
  std::array<IntPoint, 4> quadrantPoint{};
  std::array<int, 4> quadrantDistance{};
  std::shared_ptr<Velmora::Image::GrayBuf> image;
  std::shared_ptr<Velmora::Image::GrayBuf> levelImage;
  // 64-bit: a large ring's sums pass 2^31.
  long long fillSumX = 0;
  long long fillSumY = 0;
  int fillCount = 0;
  int fillLimit = 0;
  int windowLeft = 0;
  int windowRight = 0;
  int windowTop = 0;
  int windowBottom = 0;
  std::deque<int> seedX;
  std::deque<int> seedY;
  IntPoint ringOrigin;
  PerspectiveTransform transform;
  int fitCount = 0;

 private:
  // Which of the three flood fills runs the shared scanline fill step.
  enum class Fill { Dark, Light, Ring };
  void fillStep(Fill kind, int x, int y);
};

}  // namespace Aztec

#pragma once
// Real Aztec symbols made by libzint, rendered into camera-like frames (tests, benchmarks, fuzz
// seeds and the bundled samples).
// Deterministic: the same options give the same frame on every run.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "image/gray_buf.h"

namespace AztecTest {

enum class SymbolKind { Any, Compact, FullRange };

struct SymbolRequest {
  std::vector<std::uint8_t> message{};  // bytes to encode
  SymbolKind kind = SymbolKind::Any;
  int layers = 0;      // 0: smallest that fits; otherwise the exact layer count
  int eccPercent = 0;  // 0: the encoder's default (23% + 3 codewords)
  // libzint options; the defaults encode the bytes as they are.
  int eci = 0;              // ECI designator to write, 0: none
  bool gs1 = false;         // message in libzint's GS1 form "[01]...", FNC1 first
  bool readerInit = false;  // reader initialisation symbol
  int appendIndex = 0;      // structured append: 1-based index ...
  int appendCount = 0;      // ... of this many symbols; 0: none
  std::string appendId{};   // optional structured-append ID
};

// The encoder's module matrix and what it chose.
struct EncodedSymbol {
  int size = 0;                            // modules per side
  std::vector<std::vector<bool>> modules;  // [row][column], true = dark
  bool compact = false;
  int layers = 0;
  int dataCodewords = 0;  // from the symbol's own mode message
  int codewordSize = 0;
  int totalCodewords = 0;
  std::vector<std::uint8_t> message;
};

// Encodes with libzint; throws std::runtime_error when the encoder refuses.
EncodedSymbol encodeSymbol(const SymbolRequest& request);
EncodedSymbol encodeText(const std::string& text, SymbolKind kind = SymbolKind::Any, int layers = 0);

// An Aztec rune (11 x 11 modules) for a value 0..255; throws std::runtime_error when the
// encoder refuses. Only size, modules and compact are meaningful.
EncodedSymbol encodeRune(int value);

struct RenderOptions {
  int width = 640;
  int height = 480;
  double moduleSize = 5.0;  // pixels per module
  double centerX = -1.0;    // symbol centre in pixels; negative: the frame centre
  double centerY = -1.0;
  int rotation = 0;          // clockwise quarter turns of the picture
  bool mirrored = false;     // mirror image (columns reversed) before rotating
  double tiltDegrees = 0.0;  // mild perspective tilt about the vertical axis
  double blurSigma = 0.0;    // Gaussian blur in pixels, 0 = none
  double noiseSigma = 0.0;   // Gaussian noise in gray levels, 0 = none
  std::uint32_t seed = 1;    // noise seed
  std::uint8_t dark = 20;
  std::uint8_t light = 230;
  // Extensions for the whole-frame reader; their defaults leave the picture unchanged.
  double angleDegrees = 0.0;          // extra clockwise rotation by any angle, after the quarter turns
  double tiltAxisDegrees = 0.0;       // direction of the tilt axis, 0 = vertical
  double cameraDistance = 2.5;        // camera distance in symbol sizes; smaller = stronger perspective
  double gradient = 0.0;              // illumination falls by this fraction across the frame
  double gradientAngleDegrees = 0.0;  // direction in which the light falls, 0 = to the right
  int jpegQuality = 0;                // 1..100: the finished frame goes through a JPEG round trip; 0 = none
  // Harder conditions; their defaults leave the picture unchanged too. Per symbol:
  double dotGain = 0.0;         // print: dark areas grow (> 0) or shrink (< 0) by this fraction of a module
  double cylinderRadius = 0.0;  // printed round a cylinder of this radius in symbol sizes, its axis
                                // along the picture's vertical before `angleDegrees`; 0 = flat
  double screenPixelsPerModule = 0.0;  // shown on a display (RGB stripes, black matrix) at this many of its
                                       // pixels a module, lit 3 modules round the symbol; 0 = printed
  // Frame-wide:
  double lensDistortion = 0.0;    // radial, about the frame centre: > 0 barrel, < 0 pincushion; the
                                  // displacement at the corners as a fraction of the half diagonal.
                                  // Centre and module size are then those seen at the symbol's centre.
  double motionBlurLength = 0.0;  // pixels travelled during the exposure, 0 = none
  double motionBlurAngleDegrees = 0.0;
  double defocusRadius = 0.0;  // radius in pixels of the out-of-focus disc, 0 = none
  double glare = 0.0;          // a highlight adding this fraction of full white at its centre
  double glareX = 0.0, glareY = 0.0, glareRadius = 100.0;  // in pixels
  bool bayer = false;  // colour ink and paper through an RGGB mosaic (noise per photosite), bilinear
                       // demosaicing and back to luma; `dark` and `light` are then unused
  std::uint32_t darkRgb = 0x202020, lightRgb = 0xE0E0E0;  // 0xRRGGBB
  double sharpenAmount = 0.0;  // camera unsharp mask: adds this times the detail above a Gaussian ...
  double sharpenSigma = 1.0;   // ... of this sigma in pixels
  int videoKbps = 0;           // H.264 at this bitrate (ffmpeg): a short clip panning onto the frame, whose
                               // last frame is returned; 0 = none. Needs even sizes.
};

// Whether `videoKbps` can be honoured: ffmpeg with an H.264 encoder is on the PATH.
bool videoCodecAvailable();

// One symbol of a scene: its geometry (moduleSize, centre, rotation, mirrored, angle, tilt,
// tiltAxis, cameraDistance) is taken from `placement`; its frame-wide fields are ignored.
struct ScenePart {
  const EncodedSymbol* symbol = nullptr;
  RenderOptions placement;
};

// Several symbols in one frame; the frame-wide fields (size, blur, noise, seed, levels,
// gradient, JPEG quality) come from `frame`. Where parts overlap the darker coverage wins.
Velmora::Image::GrayBuf renderScene(const std::vector<ScenePart>& parts, const RenderOptions& frame);

// Renders the symbol (light background everywhere outside it) into a width x height frame.
Velmora::Image::GrayBuf renderSymbol(const EncodedSymbol& symbol, const RenderOptions& options);

// The mode message ring as the matrix holds it (28 bits compact, 40 full-range), clockwise
// from the top-left corner, first bit the most significant of the first 4-bit word.
std::vector<bool> modeMessageRing(const EncodedSymbol& symbol);

// Modules flipped in place: (row, column) pairs of the module matrix; std::out_of_range for a
// position outside it.
void flipModules(EncodedSymbol& symbol, const std::vector<std::pair<int, int>>& positions);

}  // namespace AztecTest

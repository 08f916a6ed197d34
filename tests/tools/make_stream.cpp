// make-stream: writes a frame stream of rendered symbols on stdout, for the stream tests and
// the frames-per-second figure.
// Usage: make-stream FORMAT WxH [--fps N] FRAME...
//   FORMAT  raw, pgm (one frame), y4m420 (no C tag: the default), y4m422, y4m444, y4mmono
//   FRAME   the message of one frame, "." for a frame without a symbol; "camera:MESSAGE" for a
//           camera-like frame (blur, noise, light gradient, tilt, a pose varying per frame)

#include <cstdio>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "synth/symbol_frames.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::cerr << "usage: make-stream FORMAT WxH [--fps N] FRAME...\n";
    return 2;
  }
  const std::string format = argv[1];
  int width = 0, height = 0;
  if (std::sscanf(argv[2], "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0) return 2;
  std::string fps;
  std::vector<std::string> frames;
  for (int i = 3; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--fps" && i + 1 < argc)
      fps = argv[++i];
    else
      frames.push_back(a);
  }
  const std::map<std::string, std::string> colourTag = {
      {"y4m420", ""}, {"y4m422", " C422"}, {"y4m444", " C444"}, {"y4mmono", " Cmono"}};
  const bool y4m = colourTag.count(format) > 0;
  if (!y4m && format != "raw" && format != "pgm") return 2;
  const std::size_t cw = (width + 1) / 2, ch = (height + 1) / 2;
  const std::size_t chroma = format == "y4m420"   ? 2 * cw * ch
                             : format == "y4m422" ? 2 * cw * height
                             : format == "y4m444" ? 2 * std::size_t(width) * height
                                                  : 0;
  if (y4m)
    std::cout << "YUV4MPEG2 W" << width << " H" << height << (fps.empty() ? "" : " F" + fps + ":1")
              << " Ip A1:1" << colourTag.at(format) << "\n";
  if (format == "pgm") std::cout << "P5\n" << width << " " << height << "\n255\n";

  std::map<std::string, AztecTest::EncodedSymbol> symbols;
  for (std::size_t n = 0; n < frames.size(); ++n) {
    const bool camera = frames[n].rfind("camera:", 0) == 0;
    const std::string message = camera ? frames[n].substr(7) : frames[n];
    AztecTest::RenderOptions r{.width = width, .height = height};
    if (camera) {
      r.blurSigma = 0.9, r.noiseSigma = 4.0, r.gradient = 0.35, r.tiltDegrees = 12.0;
      r.angleDegrees = 7.0 * static_cast<double>(n % 50), r.seed = static_cast<std::uint32_t>(n + 1);
      r.centerX = width * (0.4 + 0.02 * static_cast<double>(n % 10));
    }
    Velmora::Image::GrayBuf frame;
    if (message == ".") {
      r.light = 200;  // a plain frame with the same noise and light
      frame = AztecTest::renderScene({}, r);
    } else {
      auto it = symbols.find(message);
      if (it == symbols.end()) it = symbols.emplace(message, AztecTest::encodeText(message)).first;
      r.moduleSize = std::max(2.0, 0.5 * std::min(width, height) / it->second.size);
      frame = AztecTest::renderSymbol(it->second, r);
    }
    // Odd frames carry frame-header parameters, which a reader must skip.
    if (y4m) std::cout << (n % 2 ? "FRAME Ixyz XNOTE=odd\n" : "FRAME\n");
    for (int y = 0; y < height; ++y) std::cout.write(reinterpret_cast<const char*>(frame.row(y)), width);
    // Colour planes that are not flat, so a reader that misjudges their size loses the frames.
    for (std::size_t i = 0; i < chroma; ++i) std::cout.put(static_cast<char>(i * 7));
    if (format == "pgm") break;
  }
  return std::cout.good() ? 0 : 1;
}

#include "trace_output.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO  // written through a stream, so that errors are seen
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#include <stb/stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace AztecTools {

namespace {

using Aztec::TraceStage;
constexpr int kStages = static_cast<int>(TraceStage::Accepted) + 1;

std::string fixed(double v, int decimals) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

using Rgb = std::array<std::uint8_t, 3>;

// Stage colours, from grey (found only) through warm to green (accepted).
Rgb stageColour(TraceStage s) {
  static constexpr Rgb kColours[kStages] = {{{150, 150, 150}}, {{255, 255, 0}}, {{255, 150, 0}},
                                            {{255, 0, 255}},   {{0, 220, 255}}, {{40, 90, 255}},
                                            {{160, 255, 120}}, {{0, 200, 0}}};
  return kColours[static_cast<int>(s)];
}

class Canvas {
 public:
  explicit Canvas(const Velmora::Image::GrayBuf& frame) : w_(frame.width()), h_(frame.height()) {
    px_.resize(static_cast<std::size_t>(w_) * h_ * 3);
    for (int y = 0; y < h_; ++y) {
      const std::uint8_t* row = frame.row(y);
      for (int x = 0; x < w_; ++x) {
        std::uint8_t* p = at(x, y);
        p[0] = p[1] = p[2] = row[x];
      }
    }
  }
  int width() const { return w_; }
  int height() const { return h_; }
  const std::vector<std::uint8_t>& pixels() const { return px_; }

  // Mixes `c` into the pixel, `a` of it.
  void blend(int x, int y, Rgb c, double a) {
    if (x < 0 || y < 0 || x >= w_ || y >= h_) return;
    std::uint8_t* p = at(x, y);
    for (int k = 0; k < 3; ++k) p[k] = static_cast<std::uint8_t>(std::lround(p[k] * (1.0 - a) + c[k] * a));
  }
  void dot(double x, double y, Rgb c) {
    if (!(std::isfinite(x) && std::isfinite(y))) return;
    blend(static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y)), c, 1.0);
  }
  void line(Aztec::Point2D a, Aztec::Point2D b, Rgb c) {
    if (!(std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(b.x) && std::isfinite(b.y))) return;
    // Lines far outside the picture are not drawn (a degenerate fit can put corners anywhere).
    const double limit = 4.0 * (w_ + h_);
    for (const auto& p : {a, b})
      if (std::abs(p.x) > limit || std::abs(p.y) > limit) return;
    const int steps = static_cast<int>(std::max(std::abs(b.x - a.x), std::abs(b.y - a.y))) + 1;
    for (int i = 0; i <= steps; ++i) {
      const double t = static_cast<double>(i) / steps;
      dot(a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, c);
    }
  }
  void quad(const std::array<Aztec::Point2D, 4>& q, Rgb c) {
    for (int i = 0; i < 4; ++i) line(q[i], q[(i + 1) % 4], c);
  }
  void cross(Aztec::Point2D p, double r, Rgb c) {
    line({p.x - r, p.y}, {p.x + r, p.y}, c);
    line({p.x, p.y - r}, {p.x, p.y + r}, c);
  }

 private:
  std::uint8_t* at(int x, int y) { return px_.data() + (static_cast<std::size_t>(y) * w_ + x) * 3; }
  int w_, h_;
  std::vector<std::uint8_t> px_;
};

void appendBytes(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(context);
  const auto* p = static_cast<const std::uint8_t*>(data);
  out->insert(out->end(), p, p + size);
}

}  // namespace

std::vector<std::string> traceNotes(const Aztec::ReadTrace& trace, std::size_t shown) {
  std::vector<std::string> out;
  std::string steps = "steps:";
  double total = 0.0;
  for (int i = 0; i < Aztec::kTraceSteps; ++i) {
    steps += std::string(i ? ", " : " ") + Aztec::toString(static_cast<Aztec::TraceStep>(i)) + " " +
             std::to_string(trace.stepCounts[i]) + "x " + fixed(trace.stepMilliseconds[i], 3) + " ms";
    total += trace.stepMilliseconds[i];
  }
  out.push_back(steps + " (" + fixed(total, 3) + " ms in steps)");

  std::array<int, kStages> reached{};
  for (const Aztec::TraceCandidate& c : trace.candidates)
    for (int s = 0; s <= static_cast<int>(c.stage); ++s) ++reached[s];
  std::string stages = "candidates reaching:";
  for (int s = 0; s < kStages; ++s)
    stages += std::string(s ? ", " : " ") + Aztec::toString(static_cast<TraceStage>(s)) + " " +
              std::to_string(reached[s]);
  out.push_back(stages);

  // The furthest first; among equals, the order they were tried in (nearest the centre first).
  std::vector<const Aztec::TraceCandidate*> best;
  for (const Aztec::TraceCandidate& c : trace.candidates) best.push_back(&c);
  std::stable_sort(
      best.begin(), best.end(),
      [](const Aztec::TraceCandidate* a, const Aztec::TraceCandidate* b) { return a->stage > b->stage; });
  for (std::size_t i = 0; i < best.size() && i < shown; ++i) {
    const Aztec::TraceCandidate& c = *best[i];
    out.push_back(
        "candidate at (" + fixed(c.centre.x, 1) + ", " + fixed(c.centre.y, 1) + "), module " +
        fixed(c.moduleSize, 2) + " px, " + (c.inverted ? "inverted" : "normal") + ", as " +
        (c.fullRange ? "full-range" : "compact") + ": reached " + Aztec::toString(c.stage) +
        (c.stop == Aztec::TraceStop::None ? "" : std::string(", stopped: ") + Aztec::toString(c.stop)));
  }
  return out;
}

std::optional<std::string> prepareDebugDir(const std::string& dir) {
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec)) {
    std::filesystem::create_directory(dir, ec);
    if (ec) return "cannot create debug directory '" + dir + "': " + ec.message();
  }
  if (access(dir.c_str(), W_OK | X_OK) != 0)
    return "cannot write to debug directory '" + dir + "': " + std::strerror(errno);
  return std::nullopt;
}

std::string debugImagePath(const std::string& dir, const FrameLabel& label) {
  std::string name = label.source == "-" ? "stdin" : std::filesystem::path(label.source).filename().string();
  if (label.index) name += "-frame" + std::to_string(*label.index);
  return (std::filesystem::path(dir) / (name + ".png")).string();
}

std::optional<std::string> writeDebugImage(const std::string& path, const Velmora::Image::GrayBuf& frame,
                                           const Aztec::ReadTrace& trace,
                                           const std::vector<Aztec::ReadResult>& results) {
  Canvas canvas(frame);
  // Flat blocks shaded blue.
  for (int by = 0; by < trace.flatRows; ++by)
    for (int bx = 0; bx < trace.flatColumns; ++bx) {
      if (!trace.flat[static_cast<std::size_t>(by) * trace.flatColumns + bx]) continue;
      const int x0 = static_cast<int>(trace.flatOrigin.x) + bx * trace.flatBlockSize;
      const int y0 = static_cast<int>(trace.flatOrigin.y) + by * trace.flatBlockSize;
      for (int y = y0; y < y0 + trace.flatBlockSize; ++y)
        for (int x = x0; x < x0 + trace.flatBlockSize; ++x) canvas.blend(x, y, {{60, 60, 255}}, 0.3);
    }
  // Candidates in stage order, so the furthest are drawn last and stay visible.
  std::vector<const Aztec::TraceCandidate*> order;
  for (const Aztec::TraceCandidate& c : trace.candidates) order.push_back(&c);
  std::stable_sort(
      order.begin(), order.end(),
      [](const Aztec::TraceCandidate* a, const Aztec::TraceCandidate* b) { return a->stage < b->stage; });
  for (const Aztec::TraceCandidate* c : order) {
    const Rgb colour = stageColour(c->stage);
    for (const Aztec::Point2D& m : c->moduleCentres) canvas.dot(m.x, m.y, {{255, 0, 0}});
    if (c->ringCorners) canvas.quad(*c->ringCorners, colour);
    canvas.cross(c->centre, std::max(2.0, c->moduleSize), colour);
  }
  // What was read: its outline, and its upright top-left corner marked.
  for (const Aztec::ReadResult& r : results) {
    canvas.quad(r.corners, {{0, 255, 0}});
    canvas.cross(r.corners[0], 4.0, {{0, 255, 0}});
  }
  std::vector<std::uint8_t> png;
  if (!stbi_write_png_to_func(appendBytes, &png, canvas.width(), canvas.height(), 3, canvas.pixels().data(),
                              canvas.width() * 3))
    return "cannot encode debug image " + path;
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
  out.close();
  if (!out) return "cannot write debug image " + path;
  return std::nullopt;
}

}  // namespace AztecTools

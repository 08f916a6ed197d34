#include "synth/symbol_frames.h"

#include <zint.h>

// Static implementations: the tools link their own copies of stb next to this library.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_NO_STDIO
#define STBI_ONLY_JPEG
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

#include <stdlib.h>  // mkdtemp

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <stdexcept>

namespace AztecTest {

namespace {

using ZintPtr = std::unique_ptr<zint_symbol, void (*)(zint_symbol*)>;

// libzint keeps each row as a bit set, 8 modules per byte, lowest bit first.
bool zintModule(const zint_symbol& s, int row, int column) {
  return ((s.encoded_data[row][column >> 3] >> (column & 7)) & 1) != 0;
}

int eccLevel(int percent) {
  if (percent <= 0) return -1;  // leave the encoder's default
  if (percent <= 10) return 1;
  if (percent <= 23) return 2;
  if (percent <= 36) return 3;
  return 4;
}

// The check-codeword share the encoder's automatic sizing guarantees for a level.
int nominalPercent(int percent) {
  static const int nominal[] = {23, 10, 23, 36, 50};
  int level = eccLevel(percent);
  return nominal[level < 0 ? 0 : level];
}

// One encoder run at a fixed size option (0 = automatic); empty matrix when the encoder refuses.
std::vector<std::vector<bool>> runZint(const SymbolRequest& request, int sizeOption, std::string& error) {
  ZintPtr s(ZBarcode_Create(), ZBarcode_Delete);
  if (!s) throw std::runtime_error("libzint: out of memory");
  s->symbology = BARCODE_AZTEC;
  s->input_mode = request.gs1 ? GS1_MODE : DATA_MODE;
  s->option_1 = eccLevel(request.eccPercent);
  s->option_2 = sizeOption;
  s->eci = request.eci;
  if (request.readerInit) s->output_options |= READER_INIT;
  if (request.appendCount > 0) {
    if (request.appendId.size() >= sizeof s->structapp.id)
      throw std::runtime_error("structured-append ID too long");
    s->structapp.index = request.appendIndex;
    s->structapp.count = request.appendCount;
    std::copy(request.appendId.begin(), request.appendId.end(), s->structapp.id);
  }
  int rc = ZBarcode_Encode(s.get(), request.message.data(), static_cast<int>(request.message.size()));
  if (rc >= ZINT_ERROR) {
    error = s->errtxt;
    return {};
  }
  if (s->rows != s->width || s->rows <= 0) throw std::runtime_error("libzint: symbol is not square");
  std::vector<std::vector<bool>> m(s->rows, std::vector<bool>(s->width));
  for (int r = 0; r < s->rows; ++r)
    for (int c = 0; c < s->width; ++c) m[r][c] = zintModule(*s, r, c);
  return m;
}

int fullRangeSize(int layers) {
  int base = 14 + 4 * layers;
  return base + 1 + 2 * ((base / 2 - 1) / 15);
}

// A compact symbol has dark orientation marks in the ring at distance 5 from the centre; in a
// full-range symbol that ring is light and the one at distance 6 is dark.
bool looksFullRange(const std::vector<std::vector<bool>>& m) {
  int n = static_cast<int>(m.size());
  int c = n / 2;
  if (n < 15) return false;
  for (int d = -6; d <= 6; ++d) {
    if (!m[c - 6][c + d] || !m[c + 6][c + d] || !m[c + d][c - 6] || !m[c + d][c + 6]) return false;
    if (d >= -5 && d <= 5 && (m[c - 5][c + d] || m[c + 5][c + d] || m[c + d][c - 5] || m[c + d][c + 5]))
      return false;
  }
  return true;
}

// The mode message ring, clockwise from the top-left corner: top row left to right, right
// column downwards, bottom row right to left, left column upwards. Full-range rings skip the
// centre reference-grid module of each side.
std::vector<bool> modeMessageBits(const std::vector<std::vector<bool>>& m, bool compact) {
  int c = static_cast<int>(m.size()) / 2;
  int dist = compact ? 5 : 7;
  int reach = compact ? 3 : 5;
  std::vector<int> offsets;
  for (int d = -reach; d <= reach; ++d)
    if (compact || d != 0) offsets.push_back(d);
  std::vector<bool> bits;
  for (int d : offsets) bits.push_back(m[c - dist][c + d]);
  for (int d : offsets) bits.push_back(m[c + d][c + dist]);
  for (int d : offsets) bits.push_back(m[c + dist][c - d]);
  for (int d : offsets) bits.push_back(m[c - d][c - dist]);
  return bits;
}

int bitsValue(const std::vector<bool>& bits, int from, int count) {
  int v = 0;
  for (int i = 0; i < count; ++i) v = (v << 1) | (bits[from + i] ? 1 : 0);
  return v;
}

EncodedSymbol describe(std::vector<std::vector<bool>> modules, const SymbolRequest& request) {
  EncodedSymbol out;
  out.size = static_cast<int>(modules.size());
  out.compact = !looksFullRange(modules);
  std::vector<bool> mode = modeMessageBits(modules, out.compact);
  int layerBits = out.compact ? 2 : 5;
  int dataBits = out.compact ? 6 : 11;
  out.layers = bitsValue(mode, 0, layerBits) + 1;
  out.dataCodewords = bitsValue(mode, layerBits, dataBits) + 1;
  // Reader initialisation is flagged by the top bit of the data-codeword field.
  if (request.readerInit) out.dataCodewords -= 1 << (dataBits - 1);
  int expectedSize = out.compact ? 11 + 4 * out.layers : fullRangeSize(out.layers);
  // Guards the ring layout above: a misread mode message would name the wrong size.
  if (expectedSize != out.size) throw std::runtime_error("mode message disagrees with the symbol size");
  int L = out.layers;
  int bits = (out.compact ? 88 : 112) * L + 16 * L * L;
  out.codewordSize = L <= 2 ? 6 : L <= 8 ? 8 : L <= 22 ? 10 : 12;
  out.totalCodewords = bits / out.codewordSize;
  out.modules = std::move(modules);
  out.message = request.message;
  return out;
}

// Box-Muller on the generator's raw 32-bit output, so the noise does not depend on the
// standard library's distribution code.
class Gaussian {
 public:
  explicit Gaussian(std::uint32_t seed) : gen_(seed) {}
  double next() {
    if (haveSpare_) {
      haveSpare_ = false;
      return spare_;
    }
    double u1 = (static_cast<double>(gen_()) + 1.0) / 4294967297.0;  // (0, 1]
    double u2 = static_cast<double>(gen_()) / 4294967296.0;          // [0, 1)
    double r = std::sqrt(-2.0 * std::log(u1));
    double a = 6.283185307179586 * u2;
    spare_ = r * std::sin(a);
    haveSpare_ = true;
    return r * std::cos(a);
  }

 private:
  std::mt19937 gen_;
  bool haveSpare_ = false;
  double spare_ = 0.0;
};

void gaussianBlur(std::vector<double>& img, int w, int h, double sigma) {
  int radius = static_cast<int>(std::ceil(3.0 * sigma));
  std::vector<double> k(2 * radius + 1);
  double sum = 0.0;
  for (int i = -radius; i <= radius; ++i) sum += k[i + radius] = std::exp(-(i * i) / (2.0 * sigma * sigma));
  for (double& v : k) v /= sum;
  std::vector<double> tmp(img.size());
  // Edges repeat the border pixel, which is background in any sensible frame.
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      double acc = 0.0;
      for (int i = -radius; i <= radius; ++i) acc += k[i + radius] * img[y * w + std::clamp(x + i, 0, w - 1)];
      tmp[y * w + x] = acc;
    }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      double acc = 0.0;
      for (int i = -radius; i <= radius; ++i) acc += k[i + radius] * tmp[std::clamp(y + i, 0, h - 1) * w + x];
      img[y * w + x] = acc;
    }
}

// Encodes the frame as a real JPEG and decodes it again, in memory, so the reader meets the
// block artefacts and ringing that camera pipelines leave.
void jpegRoundTrip(std::vector<std::uint8_t>& bytes, int w, int h, int quality) {
  std::vector<std::uint8_t> jpeg;
  auto append = [](void* context, void* data, int size) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(context);
    const auto* p = static_cast<const std::uint8_t*>(data);
    out->insert(out->end(), p, p + size);
  };
  if (!stbi_write_jpg_to_func(append, &jpeg, w, h, 1, bytes.data(), std::clamp(quality, 1, 100)))
    throw std::runtime_error("JPEG encoding failed");
  int dw = 0, dh = 0, channels = 0;
  std::unique_ptr<stbi_uc, void (*)(void*)> decoded(
      stbi_load_from_memory(jpeg.data(), static_cast<int>(jpeg.size()), &dw, &dh, &channels, 1),
      stbi_image_free);
  if (!decoded || dw != w || dh != h) throw std::runtime_error("JPEG decoding failed");
  std::copy(decoded.get(), decoded.get() + bytes.size(), bytes.begin());
}

}  // namespace

EncodedSymbol encodeSymbol(const SymbolRequest& request) {
  if (request.message.empty()) throw std::runtime_error("libzint: empty message");
  std::string error;
  int maxLayers = request.kind == SymbolKind::Compact ? 4 : 32;
  if (request.layers < 0 || request.layers > maxLayers) throw std::runtime_error("layer count out of range");

  // Size options: 1-4 compact with that many layers, 5-36 full-range with option - 4 layers.
  std::vector<int> options;
  if (request.layers > 0) {
    if (request.kind == SymbolKind::Any) throw std::runtime_error("a layer count needs Compact or FullRange");
    options.push_back(request.kind == SymbolKind::Compact ? request.layers : request.layers + 4);
  } else if (request.kind == SymbolKind::Any) {
    options.push_back(0);
  } else {
    int first = request.kind == SymbolKind::Compact ? 1 : 5;
    int last = request.kind == SymbolKind::Compact ? 4 : 36;
    for (int o = first; o <= last; ++o) options.push_back(o);
  }
  // At a fixed size the encoder fills every spare codeword with check words whatever the
  // level, so when searching sizes ourselves we skip those that leave too few of them.
  bool searching = options.size() > 1;
  int pct = nominalPercent(request.eccPercent);
  for (int o : options) {
    auto m = runZint(request, o, error);
    if (m.empty()) continue;
    EncodedSymbol s = describe(std::move(m), request);
    bool wantCompact = request.kind == SymbolKind::Compact;
    if (request.kind != SymbolKind::Any && s.compact != wantCompact)
      throw std::runtime_error("libzint made the other symbol type");
    if (searching && s.totalCodewords - s.dataCodewords < (s.totalCodewords * pct + 99) / 100 + 3) {
      error = "too little room for error correction";
      continue;
    }
    return s;
  }
  throw std::runtime_error("libzint refused: " + error);
}

EncodedSymbol encodeRune(int value) {
  ZintPtr s(ZBarcode_Create(), ZBarcode_Delete);
  if (!s) throw std::runtime_error("libzint: out of memory");
  s->symbology = BARCODE_AZRUNE;
  const std::string digits = std::to_string(value);
  if (ZBarcode_Encode(s.get(), reinterpret_cast<const unsigned char*>(digits.data()),
                      static_cast<int>(digits.size())) >= ZINT_ERROR)
    throw std::runtime_error(std::string("libzint refused: ") + s->errtxt);
  if (s->rows != 11 || s->width != 11) throw std::runtime_error("libzint: a rune is 11 x 11 modules");
  EncodedSymbol out;
  out.size = 11;
  out.compact = true;
  out.modules.assign(11, std::vector<bool>(11));
  for (int r = 0; r < 11; ++r)
    for (int c = 0; c < 11; ++c) out.modules[r][c] = zintModule(*s, r, c);
  out.message.assign(digits.begin(), digits.end());
  return out;
}

EncodedSymbol encodeText(const std::string& text, SymbolKind kind, int layers) {
  SymbolRequest request;
  request.message.assign(text.begin(), text.end());
  request.kind = kind;
  request.layers = layers;
  return encodeSymbol(request);
}

namespace {

constexpr double kDegree = 3.141592653589793 / 180.0;

// Radial lens distortion about the frame centre: where a pixel of the finished frame looks in
// a picture taken through a perfect lens.
struct Lens {
  double k = 0.0, cx = 0.0, cy = 0.0, invHalfDiagonal2 = 0.0;
  Lens(double distortion, int w, int h)
      : k(distortion), cx(w * 0.5), cy(h * 0.5), invHalfDiagonal2(4.0 / (double(w) * w + double(h) * h)) {}
  double r2(double x, double y) const {
    return ((x - cx) * (x - cx) + (y - cy) * (y - cy)) * invHalfDiagonal2;
  }
  void undistort(double& x, double& y) const {
    const double f = 1.0 + k * r2(x, y);
    x = cx + (x - cx) * f;
    y = cy + (y - cy) * f;
  }
};

// A display seen close up: each of its pixels is three vertical stripes (weighed as a luma
// camera sees red, green and blue) inside a black matrix; a dark pixel leaks a little light.
constexpr double kScreenMargin = 3.0;  // lit modules round the symbol
double screenEmission(double sx, double sy, bool darkPixel) {
  static const double kStripe[3] = {0.9, 1.0, 0.45};
  const double fx = (sx - std::floor(sx)) * 3.0, fy = sy - std::floor(sy);
  const int stripe = std::min(2, static_cast<int>(fx));
  if (fx - stripe > 0.75 || fy > 0.85) return 0.0;
  return (darkPixel ? 0.04 : 1.0) * kStripe[stripe];
}

// Coverage of one symbol's picture: the fraction of a pixel that is dark.
class Painter {
 public:
  Painter(const EncodedSymbol& symbol, const RenderOptions& o, const Lens& lens, int w, int h)
      : symbol_(symbol), o_(o), lens_(lens) {
    if (o.moduleSize <= 0.0) throw std::invalid_argument("module size must be positive");
    n_ = symbol.size;
    cx_ = o.centerX < 0.0 ? w * 0.5 : o.centerX;
    cy_ = o.centerY < 0.0 ? h * 0.5 : o.centerY;
    ms_ = o.moduleSize;
    if (lens.k != 0.0) {
      // Drawn behind the lens where it then shows at the requested place and module size.
      const double r2 = lens.r2(cx_, cy_), tangential = 1.0 + lens.k * r2, radial = 1.0 + 3.0 * lens.k * r2;
      if (tangential <= 0.0 || radial <= 0.0) throw std::invalid_argument("lens distortion too strong");
      ms_ *= std::sqrt(tangential * radial);
      lens.undistort(cx_, cy_);
    }
    half_ = n_ * 0.5;
    quarter_ = ((o.rotation % 4) + 4) % 4;
    theta_ = o.tiltDegrees * 3.141592653589793 / 180.0;
    cosT_ = std::cos(theta_);
    sinT_ = std::sin(theta_);
    // Camera distance in modules: far enough that the tilt only foreshortens mildly.
    dist_ = o.cameraDistance * std::max(n_, 1);
    cosA_ = std::cos(o.angleDegrees * kDegree);
    sinA_ = std::sin(o.angleDegrees * kDegree);
    cosX_ = std::cos(o.tiltAxisDegrees * kDegree);
    sinX_ = std::sin(o.tiltAxisDegrees * kDegree);
    cylinder_ = o.cylinderRadius * n_;
    if (o.cylinderRadius != 0.0 && cylinder_ * 3.141592653589793 <= n_)
      throw std::invalid_argument("cylinder too thin for the symbol");
    gainReach_ = std::abs(o.dotGain) * 0.5;
    if (gainReach_ >= 0.5) throw std::invalid_argument("dot gain of half a module or more");
    reach_ = half_ + (o.screenPixelsPerModule > 0.0 ? kScreenMargin : 0.0) + (o.dotGain > 0.0 ? 1.0 : 0.0);
    sub_ = o.screenPixelsPerModule > 0.0 ? 5 : 3;  // finer for the display's stripes
    if (lens.k != 0.0)
      x0_ = 0, y0_ = 0, x1_ = w - 1, y1_ = h - 1;  // bent: any pixel may show it
    else
      bounds(w, h);
  }

  double coverage(int px, int py) const {
    if (px < x0_ || px > x1_ || py < y0_ || py > y1_) return 0.0;
    double dark = 0.0;
    for (int sy = 0; sy < sub_; ++sy)
      for (int sx = 0; sx < sub_; ++sx) {
        double x = px + (sx + 0.5) / sub_, y = py + (sy + 0.5) / sub_;
        if (lens_.k != 0.0) lens_.undistort(x, y);
        dark += darkAt((x - cx_) / ms_, (y - cy_) / ms_);
      }
    return dark / (sub_ * sub_);
  }

 private:
  // Darkness at a point given in picture modules relative to the centre.
  double darkAt(double x, double y) const {
    if (theta_ != 0.0) {
      if (o_.tiltAxisDegrees != 0.0) rotate(x, y, cosX_, -sinX_);
      // Undo the tilt: the symbol plane turned about its vertical axis, seen from `dist` away
      // with the scale at the centre kept at one.
      double den = dist_ * cosT_ - x * sinT_;
      if (den <= 0.0) return 0.0;
      double X = x * dist_ / den;
      y = y * (dist_ + X * sinT_) / dist_;
      x = X;
      if (o_.tiltAxisDegrees != 0.0) rotate(x, y, cosX_, sinX_);
    }
    if (o_.angleDegrees != 0.0) rotate(x, y, cosA_, -sinA_);
    if (cylinder_ > 0.0) {
      // Seen from afar, the arc length s round the cylinder shows at R sin(s / R).
      if (std::abs(x) >= cylinder_) return 0.0;
      x = cylinder_ * std::asin(x / cylinder_);
    }
    // Undo the clockwise quarter turns: one turn maps (x, y) to (-y, x).
    for (int i = 0; i < quarter_; ++i) {
      double t = x;
      x = y;
      y = -t;
    }
    if (o_.mirrored) x = -x;
    double col = x + half_, row = y + half_;
    if (o_.screenPixelsPerModule > 0.0) return screenDarkness(col, row);
    if (gainReach_ > 0.0) return printedDarkness(col, row);
    if (col < 0.0 || row < 0.0 || col >= n_ || row >= n_) return 0.0;
    return symbol_.modules[static_cast<int>(row)][static_cast<int>(col)] ? 1.0 : 0.0;
  }

  bool module(int row, int col) const {
    return row >= 0 && col >= 0 && row < n_ && col < n_ && symbol_.modules[row][col];
  }

  // Ink spreads (or falls short) by the same distance in every direction, so corners round.
  double printedDarkness(double col, double row) const {
    const int c = static_cast<int>(std::floor(col)), r = static_cast<int>(std::floor(row));
    if (c < -1 || r < -1 || c > n_ || r > n_) return 0.0;
    const bool dark = module(r, c);
    const double fx = col - c, fy = row - r;
    bool near = false;
    for (int dr = -1; dr <= 1 && !near; ++dr)
      for (int dc = -1; dc <= 1 && !near; ++dc) {
        if ((dr == 0 && dc == 0) || module(r + dr, c + dc) == dark) continue;
        const double dx = dc < 0 ? fx : dc > 0 ? 1.0 - fx : 0.0, dy = dr < 0 ? fy : dr > 0 ? 1.0 - fy : 0.0;
        near = dx * dx + dy * dy < gainReach_ * gainReach_;
      }
    return (o_.dotGain > 0.0 ? dark || near : dark && !near) ? 1.0 : 0.0;
  }

  // The app scales the symbol to whole display pixels (nearest neighbour).
  double screenDarkness(double col, double row) const {
    const double spm = o_.screenPixelsPerModule;
    const double sx = (col + kScreenMargin) * spm, sy = (row + kScreenMargin) * spm;
    const double extent = (n_ + 2.0 * kScreenMargin) * spm;
    if (sx < 0.0 || sy < 0.0 || sx >= extent || sy >= extent) return 0.0;
    const int mc = static_cast<int>(std::floor((std::floor(sx) + 0.5) / spm - kScreenMargin));
    const int mr = static_cast<int>(std::floor((std::floor(sy) + 0.5) / spm - kScreenMargin));
    return 1.0 - screenEmission(sx, sy, module(mr, mc));
  }

  // Clockwise on screen (y down) by the angle whose cosine and sine are given.
  static void rotate(double& x, double& y, double c, double s) {
    double t = x * c - y * s;
    y = x * s + y * c;
    x = t;
  }

  // Pixels outside the symbol's picture are background: the forward image of its corners
  // bounds the work.
  void bounds(int w, int h) {
    x0_ = 0, y0_ = 0, x1_ = w - 1, y1_ = h - 1;
    double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
    for (int k = 0; k < 4; ++k) {
      double x = (k == 1 || k == 2) ? reach_ : -reach_;
      double y = k >= 2 ? reach_ : -reach_;
      rotate(x, y, cosA_, sinA_);
      if (theta_ != 0.0) {
        rotate(x, y, cosX_, -sinX_);
        double den = dist_ + x * sinT_;
        if (den <= 0.0) return;
        double X = x * dist_ * cosT_ / den;
        y = y * dist_ / den;
        x = X;
        rotate(x, y, cosX_, sinX_);
      }
      minX = std::min(minX, x), maxX = std::max(maxX, x);
      minY = std::min(minY, y), maxY = std::max(maxY, y);
    }
    const double m = 2.0;
    x0_ = std::max(x0_, static_cast<int>(std::floor(cx_ + minX * ms_ - m)));
    x1_ = std::min(x1_, static_cast<int>(std::ceil(cx_ + maxX * ms_ + m)));
    y0_ = std::max(y0_, static_cast<int>(std::floor(cy_ + minY * ms_ - m)));
    y1_ = std::min(y1_, static_cast<int>(std::ceil(cy_ + maxY * ms_ + m)));
  }

  const EncodedSymbol& symbol_;
  const RenderOptions& o_;
  Lens lens_;
  int n_ = 0;
  double cx_ = 0, cy_ = 0, ms_ = 1, half_ = 0, reach_ = 0;
  int quarter_ = 0, sub_ = 3;
  double theta_ = 0, cosT_ = 1, sinT_ = 0, dist_ = 0;
  double cosA_ = 1, sinA_ = 0, cosX_ = 1, sinX_ = 0;
  double cylinder_ = 0, gainReach_ = 0;
  int x0_ = 0, y0_ = 0, x1_ = -1, y1_ = -1;
};

using Plane = std::vector<double>;

double bilinear(const Plane& img, int w, int h, double x, double y) {
  x = std::clamp(x, 0.0, w - 1.0), y = std::clamp(y, 0.0, h - 1.0);
  const int x0 = std::min(static_cast<int>(x), w - 2 < 0 ? 0 : w - 2);
  const int y0 = std::min(static_cast<int>(y), h - 2 < 0 ? 0 : h - 2);
  const int x1 = std::min(x0 + 1, w - 1), y1 = std::min(y0 + 1, h - 1);
  const double fx = x - x0, fy = y - y0;
  const double top = img[y0 * w + x0] * (1 - fx) + img[y0 * w + x1] * fx;
  const double bottom = img[y1 * w + x0] * (1 - fx) + img[y1 * w + x1] * fx;
  return top * (1 - fy) + bottom * fy;
}

// The picture smeared evenly along a straight line centred on each pixel.
void motionBlur(Plane& img, int w, int h, double length, double angleDegrees) {
  const int n = std::max(2, static_cast<int>(std::ceil(2.0 * length)) + 1);  // half a pixel apart at most
  const double dx = length * std::cos(angleDegrees * kDegree), dy = length * std::sin(angleDegrees * kDegree);
  Plane out(img.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      double acc = 0.0;
      for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / (n - 1) - 0.5;
        acc += bilinear(img, w, h, x + t * dx, y + t * dy);
      }
      out[y * w + x] = acc / n;
    }
  img.swap(out);
}

// Out of focus, a point spreads into an evenly lit disc (each tap weighed by the share of its
// pixel the disc covers), which unlike a Gaussian turns contrast over at fine periods.
void defocus(Plane& img, int w, int h, double radius) {
  const int r = static_cast<int>(std::ceil(radius));
  struct Tap {
    int dx, dy;
    double weight;
  };
  std::vector<Tap> taps;
  double sum = 0.0;
  constexpr int kSub = 4;
  for (int dy = -r; dy <= r; ++dy)
    for (int dx = -r; dx <= r; ++dx) {
      int inside = 0;
      for (int sy = 0; sy < kSub; ++sy)
        for (int sx = 0; sx < kSub; ++sx) {
          const double x = dx - 0.5 + (sx + 0.5) / kSub, y = dy - 0.5 + (sy + 0.5) / kSub;
          inside += x * x + y * y <= radius * radius;
        }
      if (inside > 0) taps.push_back({dx, dy, static_cast<double>(inside)}), sum += inside;
    }
  Plane out(img.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      double acc = 0.0;
      for (const Tap& t : taps)
        acc += t.weight * img[std::clamp(y + t.dy, 0, h - 1) * w + std::clamp(x + t.dx, 0, w - 1)];
      out[y * w + x] = acc / sum;
    }
  img.swap(out);
}

// What a camera's sharpening adds: the detail above a Gaussian, amplified, halos included.
void unsharpMask(Plane& img, int w, int h, double amount, double sigma) {
  Plane smooth = img;
  gaussianBlur(smooth, w, h, sigma);
  for (std::size_t i = 0; i < img.size(); ++i) img[i] += amount * (img[i] - smooth[i]);
}

// An RGGB sensor keeps one colour a photosite (with its own noise); bilinear demosaicing
// guesses the other two from the neighbours that have them, then the frame turns to luma.
Plane bayerLuma(const std::array<Plane, 3>& rgb, int w, int h, double noiseSigma, Gaussian& noise) {
  auto colourAt = [](int x, int y) { return y % 2 == 0 ? (x % 2 == 0 ? 0 : 1) : (x % 2 == 0 ? 1 : 2); };
  Plane raw(static_cast<std::size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      double v = rgb[colourAt(x, y)][y * w + x];
      if (noiseSigma > 0.0) v += noiseSigma * noise.next();
      raw[y * w + x] = v;
    }
  static const double kLuma[3] = {0.299, 0.587, 0.114};
  Plane luma(raw.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      double v = 0.0;
      for (int c = 0; c < 3; ++c) {
        double acc = 0.0, weight = 0.0;
        if (colourAt(x, y) == c) {
          acc = raw[y * w + x], weight = 1.0;
        } else {
          for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
              const int nx = x + dx, ny = y + dy;
              if (nx < 0 || ny < 0 || nx >= w || ny >= h || colourAt(nx, ny) != c) continue;
              const double k = (2 - std::abs(dx)) * (2 - std::abs(dy));
              acc += k * raw[ny * w + nx], weight += k;
            }
        }
        v += kLuma[c] * acc / weight;
      }
      luma[y * w + x] = v;
    }
  return luma;
}

// One still frame: coverage, light, optics, sensor, sharpening, JPEG.
std::vector<std::uint8_t> renderStill(const std::vector<ScenePart>& parts, const RenderOptions& o) {
  int w = std::max(o.width, 0);
  int h = std::max(o.height, 0);
  const Lens lens(o.lensDistortion, w, h);
  std::vector<Painter> painters;
  painters.reserve(parts.size());
  for (const ScenePart& part : parts) {
    if (part.symbol == nullptr) throw std::invalid_argument("scene part without a symbol");
    painters.emplace_back(*part.symbol, part.placement, lens, w, h);
  }
  // Illumination across the frame: 1 at the brightest corner, 1 - gradient at the darkest.
  const double gc = std::cos(o.gradientAngleDegrees * kDegree),
               gs = std::sin(o.gradientAngleDegrees * kDegree);
  const double p0 = std::min(0.0, gc * w) + std::min(0.0, gs * h);
  const double p1 = std::max(0.0, gc * w) + std::max(0.0, gs * h);

  // Ink and paper: one gray level, or three channels for the colour sensor.
  auto channel = [](std::uint32_t rgb, int c) { return static_cast<double>((rgb >> (16 - 8 * c)) & 0xFF); };
  const int channels = o.bayer ? 3 : 1;
  std::array<Plane, 3> planes;
  for (int c = 0; c < channels; ++c) planes[c].resize(static_cast<std::size_t>(w) * h);
  for (int py = 0; py < h; ++py)
    for (int px = 0; px < w; ++px) {
      double f = 0.0;
      for (const Painter& p : painters) f = std::max(f, p.coverage(px, py));
      double shade = 1.0, glare = 0.0;
      if (o.gradient != 0.0 && p1 > p0)
        shade = 1.0 - o.gradient * ((gc * (px + 0.5) + gs * (py + 0.5)) - p0) / (p1 - p0);
      if (o.glare != 0.0) {
        const double dx = px + 0.5 - o.glareX, dy = py + 0.5 - o.glareY;
        glare = 255.0 * o.glare * std::exp(-(dx * dx + dy * dy) / (2.0 * o.glareRadius * o.glareRadius));
      }
      for (int c = 0; c < channels; ++c) {
        const double light = o.bayer ? channel(o.lightRgb, c) : o.light;
        const double dark = o.bayer ? channel(o.darkRgb, c) : o.dark;
        double v = light + (dark - light) * f;
        if (shade != 1.0) v *= shade;
        planes[c][static_cast<std::size_t>(py) * w + px] = v + glare;
      }
    }

  if (w > 0 && h > 0)
    for (int c = 0; c < channels; ++c) {
      if (o.blurSigma > 0.0) gaussianBlur(planes[c], w, h, o.blurSigma);
      if (o.motionBlurLength > 0.0) motionBlur(planes[c], w, h, o.motionBlurLength, o.motionBlurAngleDegrees);
      if (o.defocusRadius > 0.0) defocus(planes[c], w, h, o.defocusRadius);
    }

  Gaussian noise(o.seed);
  Plane img;
  if (o.bayer) {
    img = bayerLuma(planes, w, h, o.noiseSigma, noise);
  } else {
    img.swap(planes[0]);
    if (o.noiseSigma > 0.0)
      for (double& v : img) v += o.noiseSigma * noise.next();
  }
  if (o.sharpenAmount > 0.0 && w > 0 && h > 0) unsharpMask(img, w, h, o.sharpenAmount, o.sharpenSigma);

  std::vector<std::uint8_t> bytes(img.size());
  for (std::size_t i = 0; i < img.size(); ++i)
    bytes[i] = static_cast<std::uint8_t>(std::clamp(std::lround(img[i]), 0L, 255L));
  if (o.jpegQuality > 0 && w > 0 && h > 0) jpegRoundTrip(bytes, w, h, o.jpegQuality);
  return bytes;
}

std::string quoted(const std::filesystem::path& p) {
  std::string s = "'";
  for (char ch : p.string()) s += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  return s + "'";
}

// A short clip in which the camera pans onto the scene, through H.264 and back; the last
// frame, predicted from the ones before, is what a video reader would see.
std::vector<std::uint8_t> videoRoundTrip(const std::vector<ScenePart>& parts, const RenderOptions& o) {
  const int w = o.width, h = o.height;
  if (w <= 0 || h <= 0 || w % 2 || h % 2) throw std::invalid_argument("video frames need even sizes");
  if (!videoCodecAvailable()) throw std::runtime_error("ffmpeg with H.264 is not available");
  constexpr int kFrames = 6;
  std::mt19937 g(o.seed ^ 0x9E3779B9u);
  const double heading = g() / 4294967296.0 * 360.0 * kDegree, speed = 0.5 + 2.0 * (g() / 4294967296.0);
  const std::size_t frameBytes = static_cast<std::size_t>(w) * h;
  std::string clip;
  for (int k = 0; k < kFrames; ++k) {
    std::vector<ScenePart> moved = parts;
    for (ScenePart& part : moved) {
      RenderOptions& p = part.placement;
      const double back = (kFrames - 1 - k) * speed;
      p.centerX = (p.centerX < 0.0 ? w * 0.5 : p.centerX) - back * std::cos(heading);
      p.centerY = (p.centerY < 0.0 ? h * 0.5 : p.centerY) - back * std::sin(heading);
    }
    RenderOptions still = o;
    still.videoKbps = 0;
    still.seed = o.seed + static_cast<std::uint32_t>(k);
    const std::vector<std::uint8_t> frame = renderStill(moved, still);
    clip.append(frame.begin(), frame.end());
  }

  char pattern[] = "/tmp/aztec-video-XXXXXX";
  if (!mkdtemp(pattern)) throw std::runtime_error("no temporary directory for the video");
  const std::filesystem::path dir(pattern);
  struct Cleanup {
    std::filesystem::path dir;
    ~Cleanup() {
      std::error_code ignored;
      std::filesystem::remove_all(dir, ignored);
    }
  } cleanup{dir};
  const auto in = dir / "in.gray", video = dir / "clip.mp4", out = dir / "out.gray";
  {
    std::ofstream f(in, std::ios::binary);
    f.write(clip.data(), static_cast<std::streamsize>(clip.size()));
    if (!f) throw std::runtime_error("cannot write the video frames");
  }
  // One encoder thread: the same bits on every run.
  const std::string size = std::to_string(w) + "x" + std::to_string(h),
                    rate = std::to_string(o.videoKbps) + "k";
  const std::string encode = "ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt gray -s " + size +
                             " -r 30 -i " + quoted(in) + " -c:v libx264 -preset veryfast -threads 1 -b:v " +
                             rate + " -maxrate " + rate + " -bufsize " + rate + " -pix_fmt yuv420p " +
                             quoted(video);
  const std::string decode = "ffmpeg -nostdin -v error -y -threads 1 -i " + quoted(video) +
                             " -f rawvideo -pix_fmt gray " + quoted(out);
  if (std::system(encode.c_str()) != 0 || std::system(decode.c_str()) != 0)
    throw std::runtime_error("ffmpeg failed on the video round trip");
  std::ifstream f(out, std::ios::binary);
  std::string decoded((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (decoded.size() != kFrames * frameBytes)
    throw std::runtime_error("ffmpeg returned a clip of another size");
  return std::vector<std::uint8_t>(decoded.end() - static_cast<std::ptrdiff_t>(frameBytes), decoded.end());
}

}  // namespace

bool videoCodecAvailable() {
  static const bool available =
      std::system("ffmpeg -hide_banner -v error -encoders 2>/dev/null | grep -q libx264") == 0;
  return available;
}

Velmora::Image::GrayBuf renderScene(const std::vector<ScenePart>& parts, const RenderOptions& o) {
  const std::vector<std::uint8_t> bytes = o.videoKbps > 0 ? videoRoundTrip(parts, o) : renderStill(parts, o);
  return Velmora::Image::GrayBuf::fromBytes(bytes.data(), std::max(o.width, 0), std::max(o.height, 0));
}

Velmora::Image::GrayBuf renderSymbol(const EncodedSymbol& symbol, const RenderOptions& options) {
  return renderScene({ScenePart{&symbol, options}}, options);
}

std::vector<bool> modeMessageRing(const EncodedSymbol& symbol) {
  int minSize = symbol.compact ? 15 : 19;
  if (symbol.size < minSize || static_cast<int>(symbol.modules.size()) != symbol.size)
    throw std::invalid_argument("not an encoded symbol");
  return modeMessageBits(symbol.modules, symbol.compact);
}

void flipModules(EncodedSymbol& symbol, const std::vector<std::pair<int, int>>& positions) {
  for (auto [row, column] : positions) {
    if (row < 0 || column < 0 || row >= symbol.size || column >= symbol.size)
      throw std::out_of_range("module position outside the symbol");
    symbol.modules[row][column] = !symbol.modules[row][column];
  }
}

}  // namespace AztecTest

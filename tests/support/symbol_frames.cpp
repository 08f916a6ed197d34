#include "support/symbol_frames.h"

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

#include <algorithm>
#include <cmath>
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

// Coverage of one symbol's picture: the fraction of a pixel that is dark.
class Painter {
 public:
  Painter(const EncodedSymbol& symbol, const RenderOptions& o, int w, int h) : symbol_(symbol), o_(o) {
    if (o.moduleSize <= 0.0) throw std::invalid_argument("module size must be positive");
    n_ = symbol.size;
    cx_ = o.centerX < 0.0 ? w * 0.5 : o.centerX;
    cy_ = o.centerY < 0.0 ? h * 0.5 : o.centerY;
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
    bounds(w, h);
  }

  double coverage(int px, int py) const {
    if (px < x0_ || px > x1_ || py < y0_ || py > y1_) return 0.0;
    constexpr int kSub = 3;
    int darkCount = 0;
    for (int sy = 0; sy < kSub; ++sy)
      for (int sx = 0; sx < kSub; ++sx) {
        double x = (px + (sx + 0.5) / kSub - cx_) / o_.moduleSize;
        double y = (py + (sy + 0.5) / kSub - cy_) / o_.moduleSize;
        if (darkAt(x, y)) ++darkCount;
      }
    return static_cast<double>(darkCount) / (kSub * kSub);
  }

 private:
  // Dark at a point given in picture modules relative to the centre.
  bool darkAt(double x, double y) const {
    if (theta_ != 0.0) {
      if (o_.tiltAxisDegrees != 0.0) rotate(x, y, cosX_, -sinX_);
      // Undo the tilt: the symbol plane turned about its vertical axis, seen from `dist` away
      // with the scale at the centre kept at one.
      double den = dist_ * cosT_ - x * sinT_;
      if (den <= 0.0) return false;
      double X = x * dist_ / den;
      y = y * (dist_ + X * sinT_) / dist_;
      x = X;
      if (o_.tiltAxisDegrees != 0.0) rotate(x, y, cosX_, sinX_);
    }
    if (o_.angleDegrees != 0.0) rotate(x, y, cosA_, -sinA_);
    // Undo the clockwise quarter turns: one turn maps (x, y) to (-y, x).
    for (int i = 0; i < quarter_; ++i) {
      double t = x;
      x = y;
      y = -t;
    }
    if (o_.mirrored) x = -x;
    double col = x + half_, row = y + half_;
    if (col < 0.0 || row < 0.0 || col >= n_ || row >= n_) return false;
    return symbol_.modules[static_cast<int>(row)][static_cast<int>(col)];
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
      double x = (k == 1 || k == 2) ? half_ : -half_;
      double y = k >= 2 ? half_ : -half_;
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
    x0_ = std::max(x0_, static_cast<int>(std::floor(cx_ + minX * o_.moduleSize - m)));
    x1_ = std::min(x1_, static_cast<int>(std::ceil(cx_ + maxX * o_.moduleSize + m)));
    y0_ = std::max(y0_, static_cast<int>(std::floor(cy_ + minY * o_.moduleSize - m)));
    y1_ = std::min(y1_, static_cast<int>(std::ceil(cy_ + maxY * o_.moduleSize + m)));
  }

  const EncodedSymbol& symbol_;
  const RenderOptions& o_;
  int n_ = 0;
  double cx_ = 0, cy_ = 0, half_ = 0;
  int quarter_ = 0;
  double theta_ = 0, cosT_ = 1, sinT_ = 0, dist_ = 0;
  double cosA_ = 1, sinA_ = 0, cosX_ = 1, sinX_ = 0;
  int x0_ = 0, y0_ = 0, x1_ = -1, y1_ = -1;
};

}  // namespace

Velmora::Image::GrayBuf renderScene(const std::vector<ScenePart>& parts, const RenderOptions& o) {
  int w = std::max(o.width, 0);
  int h = std::max(o.height, 0);
  std::vector<Painter> painters;
  painters.reserve(parts.size());
  for (const ScenePart& part : parts) {
    if (part.symbol == nullptr) throw std::invalid_argument("scene part without a symbol");
    painters.emplace_back(*part.symbol, part.placement, w, h);
  }
  // Illumination across the frame: 1 at the brightest corner, 1 - gradient at the darkest.
  const double gc = std::cos(o.gradientAngleDegrees * kDegree),
               gs = std::sin(o.gradientAngleDegrees * kDegree);
  const double p0 = std::min(0.0, gc * w) + std::min(0.0, gs * h);
  const double p1 = std::max(0.0, gc * w) + std::max(0.0, gs * h);

  std::vector<double> img(static_cast<std::size_t>(w) * h);
  for (int py = 0; py < h; ++py)
    for (int px = 0; px < w; ++px) {
      double f = 0.0;
      for (const Painter& p : painters) f = std::max(f, p.coverage(px, py));
      double v = o.light + (static_cast<double>(o.dark) - o.light) * f;
      if (o.gradient != 0.0 && p1 > p0)
        v *= 1.0 - o.gradient * ((gc * (px + 0.5) + gs * (py + 0.5)) - p0) / (p1 - p0);
      img[static_cast<std::size_t>(py) * w + px] = v;
    }

  if (o.blurSigma > 0.0 && w > 0 && h > 0) gaussianBlur(img, w, h, o.blurSigma);

  std::vector<std::uint8_t> bytes(img.size());
  Gaussian noise(o.seed);
  for (std::size_t i = 0; i < img.size(); ++i) {
    double v = img[i];
    if (o.noiseSigma > 0.0) v += o.noiseSigma * noise.next();
    bytes[i] = static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
  }
  if (o.jpegQuality > 0 && w > 0 && h > 0) jpegRoundTrip(bytes, w, h, o.jpegQuality);
  return Velmora::Image::GrayBuf::fromBytes(bytes.data(), w, h);
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

#include "support/symbol_frames.h"

#include <zint.h>

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
  s->input_mode = DATA_MODE;
  s->option_1 = eccLevel(request.eccPercent);
  s->option_2 = sizeOption;
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

EncodedSymbol encodeText(const std::string& text, SymbolKind kind, int layers) {
  SymbolRequest request;
  request.message.assign(text.begin(), text.end());
  request.kind = kind;
  request.layers = layers;
  return encodeSymbol(request);
}

Velmora::Image::GrayBuf renderSymbol(const EncodedSymbol& symbol, const RenderOptions& o) {
  if (o.moduleSize <= 0.0) throw std::invalid_argument("module size must be positive");
  int w = std::max(o.width, 0);
  int h = std::max(o.height, 0);
  int n = symbol.size;
  double cx = o.centerX < 0.0 ? w * 0.5 : o.centerX;
  double cy = o.centerY < 0.0 ? h * 0.5 : o.centerY;
  double half = n * 0.5;
  int quarter = ((o.rotation % 4) + 4) % 4;
  double theta = o.tiltDegrees * 3.141592653589793 / 180.0;
  double cosT = std::cos(theta), sinT = std::sin(theta);
  // Camera distance in modules: far enough that the tilt only foreshortens mildly.
  double dist = 2.5 * std::max(n, 1);

  // Light = 0, dark = 1 coverage at a point given in picture modules relative to the centre.
  auto darkAt = [&](double x, double y) -> bool {
    // Undo the tilt: the symbol plane turned about its vertical axis, seen from `dist` away
    // with the scale at the centre kept at one.
    if (theta != 0.0) {
      double den = dist * cosT - x * sinT;
      if (den <= 0.0) return false;
      double X = x * dist / den;
      y = y * (dist + X * sinT) / dist;
      x = X;
    }
    // Undo the clockwise quarter turns: one turn maps (x, y) to (-y, x).
    for (int i = 0; i < quarter; ++i) {
      double t = x;
      x = y;
      y = -t;
    }
    if (o.mirrored) x = -x;
    double col = x + half, row = y + half;
    if (col < 0.0 || row < 0.0 || col >= n || row >= n) return false;
    return symbol.modules[static_cast<int>(row)][static_cast<int>(col)];
  };

  constexpr int kSub = 3;
  std::vector<double> img(static_cast<std::size_t>(w) * h);
  for (int py = 0; py < h; ++py)
    for (int px = 0; px < w; ++px) {
      int darkCount = 0;
      for (int sy = 0; sy < kSub; ++sy)
        for (int sx = 0; sx < kSub; ++sx) {
          double x = (px + (sx + 0.5) / kSub - cx) / o.moduleSize;
          double y = (py + (sy + 0.5) / kSub - cy) / o.moduleSize;
          if (darkAt(x, y)) ++darkCount;
        }
      double f = static_cast<double>(darkCount) / (kSub * kSub);
      img[static_cast<std::size_t>(py) * w + px] = o.light + (static_cast<double>(o.dark) - o.light) * f;
    }

  if (o.blurSigma > 0.0 && w > 0 && h > 0) gaussianBlur(img, w, h, o.blurSigma);

  std::vector<std::uint8_t> bytes(img.size());
  Gaussian noise(o.seed);
  for (std::size_t i = 0; i < img.size(); ++i) {
    double v = img[i];
    if (o.noiseSigma > 0.0) v += o.noiseSigma * noise.next();
    bytes[i] = static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
  }
  return Velmora::Image::GrayBuf::fromBytes(bytes.data(), w, h);
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

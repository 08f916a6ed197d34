// The whole-frame reader over a corpus made at test time: several hundred frames under what a
// camera brings (any position, module size, angle and tilt, blur, noise, dim or uneven light,
// JPEG, inversion, 1080p), with every kind of content (text, binary, ECI, GS1, structured
// append, reader initialisation, runes, several symbols per frame), and frames that hold none.
// Nothing may be misread, and what is missed is printed with all it takes to draw it again.

#include <aztec/exact_decoder.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support/reader_helpers.h"

namespace {

using namespace Aztec;
using namespace AztecTest;
using Velmora::Image::GrayBuf;

// How far the reader got with the finder nearest a missed symbol's centre, from its trace.
std::string tracedStage(const ReadTrace& trace, const RenderOptions& frame, const RenderOptions& placement) {
  const double x = placement.centerX < 0 ? frame.width * 0.5 : placement.centerX;
  const double y = placement.centerY < 0 ? frame.height * 0.5 : placement.centerY;
  const TraceCandidate* best = nullptr;
  for (const TraceCandidate& c : trace.candidates) {
    const double d = std::hypot(c.centre.x - x, c.centre.y - y);
    if (d <= 2.0 * placement.moduleSize + 2.0 && (best == nullptr || c.stage > best->stage)) best = &c;
  }
  if (best == nullptr) return "no finder candidate at its centre";
  return std::string("finder reached ") + toString(best->stage) + ", stopped: " + toString(best->stop);
}

int pick(std::mt19937& g, int lo, int hi) {
  return lo + static_cast<int>(g() % static_cast<unsigned>(hi - lo + 1));
}

// A message of the given length, varied by the seed.
std::string message(int length, unsigned seed) {
  std::mt19937 g(seed);
  std::string s;
  const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 abcdefghijklmnopqrstuvwxyz.,-";
  for (int i = 0; i < length; ++i) s += alphabet[g() % 66];
  return s;
}

std::string utf8(char32_t c) {
  if (c < 0x80) return std::string(1, static_cast<char>(c));
  if (c < 0x800) return {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
  if (c < 0x10000)
    return {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
            static_cast<char>(0x80 | (c & 0x3F))};
  return {static_cast<char>(0xF0 | c >> 18), static_cast<char>(0x80 | (c >> 12 & 0x3F)),
          static_cast<char>(0x80 | (c >> 6 & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
}

// A symbol to draw and everything a correct read of it reports.
struct Content {
  EncodedSymbol symbol;
  Bytes bytes;
  std::string text;
  bool gs1 = false, readerInit = false;
  bool eci = false;  // an ECI designator in the message
  std::optional<StructuredAppend> append{};
};

// The request's symbol and its read: the message unless FNC1 makes `bytes` differ, the flags requested.
Content encoded(const SymbolRequest& r, std::string text, std::optional<Bytes> bytes = {}) {
  std::optional<StructuredAppend> append{};
  if (r.appendCount > 0) append = StructuredAppend{r.appendIndex, r.appendCount, r.appendId};
  return {encodeSymbol(r), bytes.value_or(r.message), std::move(text), r.gs1, r.readerInit, r.eci != 0,
          append};
}

// Text, compact and full-range in turn.
Content plain(int i, std::mt19937& g) {
  const SymbolKind kind = i % 2 ? SymbolKind::Compact : SymbolKind::FullRange;
  const std::string m = message(kind == SymbolKind::Compact ? pick(g, 3, 30) : pick(g, 5, 154), g());
  return encoded({.message = bytesOf(m), .kind = kind}, m);
}

Content binary(int, std::mt19937& g) {
  SymbolRequest r;
  std::string text;
  for (int k = pick(g, 1, 120); k > 0; --k)
    r.message.push_back(static_cast<std::uint8_t>(g())), text += utf8(r.message.back());
  return encoded(r, text);
}

// ECI 7 (Cyrillic ISO-8859-5), 26 (UTF-8) and 3 (ISO-8859-1, upper half included) in turn.
Content eci(int i, std::mt19937& g) {
  static const char32_t kUnicode[] = {'a', 'Z', '7', ' ', 0xE9, 0xDF, 0x416, 0x20AC, 0x65E5, 0x1F600};
  SymbolRequest r;
  r.eci = std::array{7, 26, 3}[i % 3];
  std::string text;
  for (int k = pick(g, 2, 24); k > 0; --k) {
    if (r.eci == 26) {
      const std::string u = utf8(kUnicode[g() % 10]);
      r.message.insert(r.message.end(), u.begin(), u.end()), text += u;
      continue;
    }
    const int b = r.eci == 7 ? (g() % 5 ? pick(g, 0xB0, 0xEF) : ' ')
                             : (g() % 2 ? pick(g, 0x20, 0x7E) : pick(g, 0xA0, 0xFF));
    r.message.push_back(static_cast<std::uint8_t>(b));
    text += utf8(r.eci == 7 && b >= 0xB0 ? 0x410 + b - 0xB0 : b);
  }
  return encoded(r, text);
}

// GTIN with its check digit, maybe a date, a lot, maybe a serial: FNC1 separates the serial
// from the variable-length lot.
Content gs1(int, std::mt19937& g) {
  std::string gtin;
  int sum = 0;
  for (int k = 0; k < 13; ++k)
    gtin += static_cast<char>('0' + g() % 10), sum += (gtin.back() - '0') * (k % 2 ? 1 : 3);
  gtin += static_cast<char>('0' + (10 - sum % 10) % 10);
  auto field = [&](int n) {
    std::string s;
    for (int k = pick(g, 1, n); k > 0; --k) s += "ABCDEFGHJKLMNPQRSTUVWXYZ0123456789-"[g() % 35];
    return s;
  };
  std::string human = "[01]" + gtin, data = "01" + gtin;
  if (g() % 2) {
    char date[8];
    std::snprintf(date, sizeof date, "%02d%02d%02d", pick(g, 0, 99), pick(g, 1, 12), pick(g, 1, 28));
    human += "[17]" + std::string(date), data += "17" + std::string(date);
  }
  const std::string lot = field(12);
  human += "[10]" + lot, data += "10" + lot;
  if (g() % 2) {
    const std::string serial = field(16);
    human += "[21]" + serial, data += "\x1D" + ("21" + serial);
  }
  return encoded({.message = bytesOf(human), .gs1 = true}, data, bytesOf(data));
}

Content append(int, std::mt19937& g) {
  SymbolRequest r;
  const std::string m = message(pick(g, 4, 40), g());
  r.message = bytesOf(m);
  r.appendCount = pick(g, 2, 26);
  r.appendIndex = pick(g, 1, r.appendCount);
  for (int k = pick(g, 0, 6); k > 0; --k) r.appendId += "ABCXYZ0123456789"[g() % 16];
  return encoded(r, m);
}

Content init(int i, std::mt19937& g) {
  const std::string m = message(i % 2 ? pick(g, 2, 8) : pick(g, 10, 80), g());
  return encoded({.message = bytesOf(m), .readerInit = true}, m);
}

Content rune(int, std::mt19937& g) {
  const std::string digits = std::to_string(pick(g, 0, 255));
  return {encodeRune(std::stoi(digits)), bytesOf(digits), digits};
}

SymbolFormat formatOf(const Content& c) {  // no other symbol is 11 modules wide
  return c.symbol.size == 11 ? SymbolFormat::Rune
         : c.symbol.compact  ? SymbolFormat::Compact
                             : SymbolFormat::FullRange;
}

bool matches(const ReadResult& r, const Content& c, bool inverted) {
  const SymbolFormat format = formatOf(c);
  const auto& a = r.structuredAppend;
  const bool sameAppend =
      a.has_value() == c.append.has_value() &&
      (!a || (a->index == c.append->index && a->count == c.append->count && a->id == c.append->id));
  return r.bytes == c.bytes && r.text == c.text && r.gs1 == c.gs1 && r.readerInitialisation == c.readerInit &&
         sameAppend && r.format == format && (format == SymbolFormat::Rune || r.layers == c.symbol.layers) &&
         r.inverted == inverted;
}

// Module sizes shrink until the symbol, with room for the perspective's enlargement, fits
// between columns `left` and `right`; then it goes anywhere there.
void fit(const EncodedSymbol& sym, std::mt19937& g, RenderOptions& o, double left, double right) {
  const double reach = 0.75 * sym.size * std::sqrt(2.0);
  o.moduleSize = std::min(o.moduleSize, 0.5 * std::min(right - left, static_cast<double>(o.height)) / reach);
  const double margin = reach * o.moduleSize;
  o.centerX = uniform(g, left + margin, right - margin);
  o.centerY = uniform(g, margin, o.height - margin);
}

std::string shown(const Bytes& b) {
  std::string s;
  for (std::uint8_t c : b) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    s += c >= 0x20 && c < 0x7F && c != '\\' ? std::string(1, static_cast<char>(c)) : hex;
  }
  return s.size() > 80 ? s.substr(0, 80) + "..." : s;
}

// Frame-wide fields from `f`, the symbol's geometry from `p`.
std::string describe(const RenderOptions& f, const RenderOptions& p, const Content& c) {
  char buf[640];
  std::snprintf(
      buf, sizeof buf,
      "%dx%d seed %u blur %.2f noise %.1f levels %d/%d gradient %.2f@%.0f jpeg %d | %s %d layers %d modules, "
      "%zu bytes \"%s\" | centre %.1f,%.1f module %.2f turns %d%s angle %.1f tilt %.1f@%.1f distance %.2f",
      f.width, f.height, f.seed, f.blurSigma, f.noiseSigma, f.dark, f.light, f.gradient,
      f.gradientAngleDegrees, f.jpegQuality, toString(formatOf(c)), c.symbol.layers, c.symbol.size,
      c.bytes.size(), shown(c.bytes).c_str(), p.centerX, p.centerY, p.moduleSize, p.rotation,
      p.mirrored ? " mirrored" : "", p.angleDegrees, p.tiltDegrees, p.tiltAxisDegrees, p.cameraDistance);
  std::string more;
  auto add = [&](bool set, const char* format, auto... values) {
    if (!set) return;
    char field[96];
    std::snprintf(field, sizeof field, format, values...);
    more += field;
  };
  add(f.lensDistortion != 0, " lens %.3f", f.lensDistortion);
  add(f.motionBlurLength > 0, " motion %.2f@%.0f", f.motionBlurLength, f.motionBlurAngleDegrees);
  add(f.defocusRadius > 0, " defocus %.2f", f.defocusRadius);
  add(f.glare > 0, " glare %.2f at %.0f,%.0f r %.0f", f.glare, f.glareX, f.glareY, f.glareRadius);
  add(f.bayer, " bayer %06X/%06X", f.darkRgb, f.lightRgb);
  add(f.sharpenAmount > 0, " sharpen %.2f sigma %.2f", f.sharpenAmount, f.sharpenSigma);
  add(f.videoKbps > 0, " h264 %d kbps", f.videoKbps);
  add(p.dotGain != 0, " dot gain %.3f", p.dotGain);
  add(p.cylinderRadius > 0, " cylinder %.2f", p.cylinderRadius);
  add(p.screenPixelsPerModule > 0, " screen %.2f px/module", p.screenPixelsPerModule);
  return buf + more;
}

void none(std::mt19937&, RenderOptions&) {}
void upright(std::mt19937&, RenderOptions& o) {
  o.rotation = 0, o.mirrored = false;
}

struct Condition {
  const char* name;
  int count;  // frames
  double minModule, maxModule;
  // Called before placing, for the frame size, and again once the module size is final, so
  // that blur follows it; in frames of several symbols each gets its own call. Then, but for
  // `upright`, the symbol is turned by any angle.
  void (*apply)(std::mt19937& g, RenderOptions& o);
  Content (*content)(int i, std::mt19937& g) = plain;
  int perFrame = 1;     // symbols side by side, each in its own column of the frame
  bool corner = false;  // placed near a corner of the frame, where a lens bends most
  // Harder conditions: the share of their symbols that must be read (what the reader holds
  // today where below 99). 0: an established condition, 90% each and 99% all together.
  int floorPercent = 0;
};

// Colour ink on colour paper, for the colour sensor.
void inkAndPaper(std::mt19937& g, RenderOptions& o) {
  static const std::uint32_t kInk[] = {0x202020, 0x1A2A6C, 0x6A1010, 0x0F4D2A, 0x3A1A50};
  static const std::uint32_t kPaper[] = {0xE8E8E8, 0xF0E0A0, 0xB8D8F0, 0xF0C8D0, 0xD0F0C0};
  o.darkRgb = kInk[g() % 5], o.lightRgb = kPaper[g() % 5], o.bayer = true;
}

const Condition kConditions[] = {
    {"upright anywhere", 24, 2.0, 6.0, upright},
    {"any angle", 32, 2.0, 6.0, none},
    {"small modules", 24, 1.5, 2.0, none},
    {"large modules 1080p", 12, 12.0, 40.0,
     [](std::mt19937&, RenderOptions& o) { o.width = 1920, o.height = 1080; }},
    {"1080p small", 12, 2.0, 4.0, [](std::mt19937&, RenderOptions& o) { o.width = 1920, o.height = 1080; }},
    {"tilt to 45", 32, 3.0, 6.0,
     [](std::mt19937& g, RenderOptions& o) {
       o.tiltDegrees = uniform(g, 20, 45), o.tiltAxisDegrees = uniform(g, 0, 180),
       o.cameraDistance = uniform(g, 1.5, 3.0);
     }},
    {"blur", 24, 3.0, 6.0,
     [](std::mt19937& g, RenderOptions& o) { o.blurSigma = o.moduleSize * uniform(g, 0.15, 0.35); }},
    {"noise", 24, 2.5, 6.0, [](std::mt19937& g, RenderOptions& o) { o.noiseSigma = uniform(g, 8, 20); }},
    {"low contrast", 24, 2.5, 6.0,
     [](std::mt19937&, RenderOptions& o) { o.dark = 100, o.light = 150, o.noiseSigma = 3; }},
    {"light gradient", 24, 2.5, 6.0,
     [](std::mt19937& g, RenderOptions& o) {
       o.gradient = uniform(g, 0.4, 0.7), o.gradientAngleDegrees = uniform(g, 0, 360);
     }},
    {"inverted", 24, 2.0, 6.0, [](std::mt19937&, RenderOptions& o) { o.dark = 230, o.light = 25; }},
    {"jpeg", 32, 2.5, 6.0, [](std::mt19937& g, RenderOptions& o) { o.jpegQuality = pick(g, 40, 90); }},
    {"jpeg + blur", 16, 3.0, 6.0,
     [](std::mt19937& g, RenderOptions& o) {
       o.jpegQuality = pick(g, 40, 90), o.blurSigma = o.moduleSize * uniform(g, 0.1, 0.25);
     }},
    {"jpeg + tilt", 16, 3.0, 6.0,
     [](std::mt19937& g, RenderOptions& o) {
       o.jpegQuality = pick(g, 50, 90), o.tiltDegrees = uniform(g, 10, 35),
       o.tiltAxisDegrees = uniform(g, 0, 180);
     }},
    {"jpeg 1080p", 8, 2.5, 8.0,
     [](std::mt19937& g, RenderOptions& o) {
       o.width = 1920, o.height = 1080, o.jpegQuality = pick(g, 40, 90);
     }},
    {"binary", 16, 2.0, 6.0, none, binary},
    {"eci", 18, 2.0, 6.0, none, eci},
    {"gs1", 12, 2.0, 6.0, none, gs1},
    {"structured append", 12, 2.0, 6.0, none, append},
    {"reader init", 12, 2.0, 6.0, none, init},
    {"runes", 16, 2.5, 8.0, none, rune},
    {"two per frame", 8, 2.0, 5.0, [](std::mt19937&, RenderOptions& o) { o.noiseSigma = 4; }, plain, 2},
    {"three per frame 1080p", 6, 2.0, 5.0,
     [](std::mt19937&, RenderOptions& o) { o.width = 1920, o.height = 1080, o.noiseSigma = 4; }, plain, 3},
    // Harder conditions: optics, print, display, sensor and codec.
    {"lens barrel corner", 20, 3.0, 9.0,
     [](std::mt19937& g, RenderOptions& o) { o.lensDistortion = uniform(g, 0.08, 0.25); }, plain, 1, true,
     99},
    {"lens pincushion corner", 20, 3.0, 8.0,
     [](std::mt19937& g, RenderOptions& o) { o.lensDistortion = -uniform(g, 0.05, 0.12); }, plain, 1, true,
     99},
    {"motion blur", 20, 3.0, 6.0,
     [](std::mt19937& g, RenderOptions& o) {
       o.motionBlurLength = o.moduleSize * uniform(g, 0.4, 1.2),
       o.motionBlurAngleDegrees = uniform(g, 0, 180);
       o.noiseSigma = 3;
     },
     plain, 1, false, 99},
    {"defocus", 20, 3.0, 6.0,
     [](std::mt19937& g, RenderOptions& o) {
       o.defocusRadius = o.moduleSize * uniform(g, 0.3, 0.75), o.noiseSigma = 3;
     },
     plain, 1, false, 99},
    {"phone screen", 20, 3.5, 7.0,
     [](std::mt19937& g, RenderOptions& o) {
       // Apps draw a module over 3 display pixels or more; those of 0.6 to 2 camera pixels
       // beat against the sensor's grid.
       o.screenPixelsPerModule = std::max(3.0, o.moduleSize / uniform(g, 0.6, 2.0));
       o.blurSigma = uniform(g, 0.2, 0.5);
       o.glare = uniform(g, 0.15, 0.5), o.glareRadius = uniform(g, 40, 160);
       o.glareX = o.centerX + uniform(g, -80, 80), o.glareY = o.centerY + uniform(g, -80, 80);
       o.noiseSigma = 3;
     },
     plain, 1, false, 99},
    {"curved surface", 20, 2.5, 6.0,
     [](std::mt19937& g, RenderOptions& o) {
       o.cylinderRadius = uniform(g, 0.6, 1.5), o.gradient = uniform(g, 0.0, 0.4);
       o.gradientAngleDegrees = uniform(g, 0, 360);
     },
     plain, 1, false, 99},
    {"thin cylinder compact", 20, 3.0, 7.0,
     [](std::mt19937& g, RenderOptions& o) {
       o.cylinderRadius = uniform(g, 0.5, 0.8), o.gradient = uniform(g, 0.0, 0.3);
       o.gradientAngleDegrees = uniform(g, 0, 360);
     },
     [](int, std::mt19937& g) {  // a vial or a pen: compact symbols, up to 4 layers
       const std::string m = message(pick(g, 3, 40), g());
       return encoded({.message = bytesOf(m), .kind = SymbolKind::Compact}, m);
     },
     1, false, 99},
    {"dot gain and loss", 20, 3.0, 6.0,
     [](std::mt19937& g, RenderOptions& o) {
       o.dotGain = (g() % 2 ? 1 : -1) * uniform(g, 0.10, 0.35), o.blurSigma = 0.5;
     },
     plain, 1, false, 99},
    {"sharpening halos", 20, 2.5, 6.0,
     [](std::mt19937& g, RenderOptions& o) {
       o.blurSigma = o.moduleSize * uniform(g, 0.1, 0.25), o.sharpenAmount = uniform(g, 0.8, 2.0);
       o.sharpenSigma = uniform(g, 1.0, 2.5), o.noiseSigma = 3;
     },
     plain, 1, false, 99},
    {"bayer demosaic", 20, 2.0, 6.0,
     [](std::mt19937& g, RenderOptions& o) { inkAndPaper(g, o), o.blurSigma = 0.4, o.noiseSigma = 4; }, plain,
     1, false, 99},
};

// Apart because it needs ffmpeg.
const Condition kVideo[] = {
    {"h264 video", 16, 3.0, 6.0,
     [](std::mt19937& g, RenderOptions& o) { o.videoKbps = pick(g, 250, 800), o.noiseSigma = 2; }, plain, 1,
     false, 99}};

struct Tally {
  int total = 0, read = 0, wrong = 0;
  int exactRead = 0, exactOnly = 0;  // frames the exact decoder reads; of them, not by the reader
};

// Whatever the exact decoder reads, the whole-frame reader reads too, with the same bytes (the
// exact decoder may add one spurious character at the end). Where the message holds FNC1 or an
// ECI the exact decoder reads the flag's digits as text: there a read is all that is asked.
void checkSuperset(const GrayBuf& frame, const std::vector<ReadResult>& results, bool flagged,
                   const char* name, int i, Tally& t) {
  const ExactDecodeResult exact = decodeExact(viewOf(frame));
  if (exact.status != DataRead) return;
  ++t.exactRead;
  if (flagged && !results.empty()) return;
  for (const ReadResult& r : results) {
    const Bytes& e = exact.bytes;
    if (r.bytes == e || (!e.empty() && r.bytes == Bytes(e.begin(), e.end() - 1))) return;
  }
  ++t.exactOnly;
  std::printf("  EXACT ONLY %s #%d: \"%s\" (read: \"%s\")\n", name, i, shown(exact.bytes).c_str(),
              results.empty() ? "" : shown(results[0].bytes).c_str());
}

void apply(const Condition& c, std::mt19937& g, RenderOptions& o) {
  c.apply(g, o);
  if (c.apply != upright) o.angleDegrees = uniform(g, 0, 360);
}

// Case i of condition k is drawn from the generator seeded 1000 * (k + 1) + i.
Tally runCondition(const Condition& c, int k) {
  Tally t;
  for (int i = 0; i < c.count; ++i) {
    std::mt19937 g(1000u * (k + 1) + static_cast<unsigned>(i));
    RenderOptions o;
    apply(c, g, o);
    o.moduleSize = uniform(g, c.minModule, c.maxModule);
    o.seed = g();
    o.rotation = static_cast<int>(g() % 4);
    o.mirrored = g() % 5 == 0;
    std::vector<Content> contents;
    std::vector<ScenePart> parts;
    for (int s = 0; s < c.perFrame; ++s) contents.push_back(c.content(i * c.perFrame + s, g));
    for (int s = 0; s < c.perFrame; ++s) {
      RenderOptions p = o;
      fit(contents[s].symbol, g, p, o.width * s / c.perFrame, o.width * (s + 1) / c.perFrame);
      if (c.corner) {
        const double margin = 0.75 * contents[s].symbol.size * std::sqrt(2.0) * p.moduleSize;
        const double dx = uniform(g, 0, 0.08 * o.width), dy = uniform(g, 0, 0.08 * o.height);
        p.centerX = g() % 2 ? margin + dx : o.width - margin - dx;
        p.centerY = g() % 2 ? margin + dy : o.height - margin - dy;
      }
      apply(c, g, p);
      parts.push_back({&contents[s].symbol, p});
    }
    const RenderOptions& frame = parts.front().placement;
    const bool inverted = frame.dark > frame.light;
    const GrayBuf drawnFrame = renderScene(parts, frame);
    ReadTrace trace;
    const auto results = readFrame(drawnFrame, {}, &trace);
    const bool flagged =
        std::any_of(contents.begin(), contents.end(), [](const Content& x) { return x.gs1 || x.eci; });
    checkSuperset(drawnFrame, results, flagged, c.name, i, t);
    std::vector<int> seen(contents.size());
    for (const ReadResult& r : results) {
      const auto hit = std::find_if(contents.begin(), contents.end(),
                                    [&](const Content& x) { return matches(r, x, inverted); });
      if (hit != contents.end() && seen[hit - contents.begin()]++ == 0) continue;
      ++t.wrong;
      const StructuredAppend a = r.structuredAppend.value_or(StructuredAppend{});
      std::printf(
          "  WRONG %s #%d: %s \"%s\" text \"%s\" gs1 %d init %d append %d/%d \"%s\" format %d layers %d "
          "inverted %d | first symbol: %s\n",
          c.name, i, hit == contents.end() ? "read" : "duplicate", shown(r.bytes).c_str(),
          shown(bytesOf(r.text)).c_str(), r.gs1, r.readerInitialisation, a.index, a.count, a.id.c_str(),
          static_cast<int>(r.format), r.layers, r.inverted,
          describe(frame, parts[0].placement, contents[0]).c_str());
    }
    for (std::size_t s = 0; s < contents.size(); ++s) {
      ++t.total;
      t.read += seen[s] > 0;
      if (seen[s] == 0)
        std::printf("  MISS %s #%d symbol %zu: %s | %s\n", c.name, i, s,
                    describe(frame, parts[s].placement, contents[s]).c_str(),
                    tracedStage(trace, frame, parts[s].placement).c_str());
    }
  }
  return t;
}

Tally runAndCheck(const Condition& c, int k) {
  const Tally t = runCondition(c, k);
  std::printf("%-22s %3d/%3d read, %d wrong\n", c.name, t.read, t.total, t.wrong);
  EXPECT_GE(t.read * 100, t.total * (c.floorPercent ? c.floorPercent : 90)) << c.name;
  return t;
}

// Zero wrong reads anywhere, 99% of the established conditions' symbols read, and no
// condition below its floor.
TEST(Corpus, ReadsEveryConditionAndKindWithoutWrongReads) {
  Tally all, established;
  for (int k = 0; k < static_cast<int>(std::size(kConditions)); ++k) {
    const Tally t = runAndCheck(kConditions[k], k);
    all.total += t.total, all.read += t.read, all.wrong += t.wrong;
    all.exactRead += t.exactRead, all.exactOnly += t.exactOnly;
    if (kConditions[k].floorPercent == 0) established.total += t.total, established.read += t.read;
  }
  std::printf("%-22s %3d/%3d read\n", "established", established.read, established.total);
  std::printf("%-22s %3d/%3d read, %d wrong\n", "all", all.read, all.total, all.wrong);
  std::printf("exact decoder read %d frames, %d of them not by the whole-frame reader\n", all.exactRead,
              all.exactOnly);
  EXPECT_GT(all.exactRead, 100);
  EXPECT_EQ(all.exactOnly, 0);
  EXPECT_GT(established.total, 400);
  EXPECT_EQ(all.wrong, 0);
  EXPECT_GE(established.read * 100, established.total * 99);
}

TEST(Corpus, ReadsThroughAVideoCodec) {
  if (!videoCodecAvailable()) GTEST_SKIP() << "ffmpeg with an H.264 encoder is not on the PATH";
  EXPECT_EQ(runAndCheck(kVideo[0], static_cast<int>(std::size(kConditions))).wrong, 0);
}

// Frames that hold no symbol, each with its name.
std::vector<std::pair<std::string, GrayBuf>> framesWithoutSymbols() {
  std::vector<std::pair<std::string, GrayBuf>> frames;
  std::mt19937 g(7);
  auto pixelFrame = [&](std::string name, int w, int h, auto value) {
    std::vector<std::uint8_t> px(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        px[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint8_t>(value(x, y));
    frames.emplace_back(std::move(name), GrayBuf::fromBytes(px.data(), w, h));
  };
  auto drawn = [&](std::string name, const EncodedSymbol& e, RenderOptions o) {
    frames.emplace_back(std::move(name), renderSymbol(e, o));
  };
  pixelFrame("noise", 640, 480, [&](int, int) { return g() % 256; });
  pixelFrame("noise 1080p", 1920, 1080, [&](int, int) { return g() % 256; });
  for (unsigned percent : {5u, 20u, 50u})
    pixelFrame("salt and pepper " + std::to_string(percent), 640, 480,
               [&](int, int) { return g() % 100 < percent ? (g() % 2 ? 255 : 0) : 200; });
  pixelFrame("two-level noise", 640, 480, [&](int, int) { return g() % 2 ? 30 : 220; });
  for (int cell : {1, 2, 3, 5, 8})
    pixelFrame("checkerboard " + std::to_string(cell), 640, 480,
               [&](int x, int y) { return (x / cell + y / cell) % 2 ? 20 : 230; });
  for (int cell : {2, 4, 6}) {
    drawn("turned checkerboard " + std::to_string(cell),
          pattern(800 / cell, [](int r, int c) { return (r + c) % 2 == 1; }),
          {.moduleSize = double(cell), .angleDegrees = 10.0 * cell});
  }
  // Concentric squares (compact and full-range bull's-eyes) with random or blank surroundings.
  for (int k = 0; k < 8; ++k) {
    const int m = 3 + k, rings = k % 2 ? 7 : 5;
    pixelFrame("bull's-eye " + std::to_string(k), 640, 480, [&](int x, int y) {
      const int d = std::max(std::abs(x - 320) / m, std::abs(y - 240) / m);
      return (d < rings ? d % 2 == 0 : (k >= 4 && d < 12 && g() % 2)) ? 20 : 230;
    });
  }
  // Lines of random 5 x 7 glyphs, 2 to 4 pixels a dot.
  const struct {
    int scale;
    double angle;
  } kText[] = {{2, 0.0}, {3, 0.0}, {4, 0.0}, {3, 8.0}};
  for (const auto [scale, angle] : kText) {
    std::vector<std::array<bool, 35>> font(40);
    for (auto& glyph : font)
      for (bool& dot : glyph) dot = g() % 5 < 2;
    RenderOptions o;
    o.moduleSize = scale, o.angleDegrees = angle, o.jpegQuality = 70, o.seed = g(), o.noiseSigma = 3;
    std::vector<int> text(60 * 60);
    for (int& ch : text) ch = g() % 8 ? static_cast<int>(g() % 40) : -1;  // -1: a space
    drawn("text " + std::to_string(scale),
          pattern(440 / scale,
                  [&](int r, int c) {
                    const int ch = text[(r / 10) * 60 + c / 6];
                    return r % 10 < 7 && c % 6 < 5 && ch >= 0 && font[ch][(r % 10) * 5 + c % 6];
                  }),
          o);
  }
  // QR-like: three 7 x 7 finders, each with its light separator, in a random module field.
  for (int k = 0; k < 8; ++k) {
    const int n = 21 + 4 * (k % 4);
    auto finder = [](int r, int c) {
      const int d = std::max(std::abs(r - 3), std::abs(c - 3));
      return d <= 1 || d == 3;
    };
    std::vector<bool> field(n * n);
    for (std::size_t i = 0; i < field.size(); ++i) field[i] = g() % 2;
    RenderOptions o;
    o.moduleSize = pick(g, 2, 6), o.angleDegrees = uniform(g, 0, 360), o.seed = g(), o.noiseSigma = 4;
    o.centerX = uniform(g, 200, 440), o.centerY = uniform(g, 180, 300), o.jpegQuality = k % 2 ? 60 : 0;
    drawn("qr-like " + std::to_string(k),
          pattern(n,
                  [&](int r, int c) {
                    if (r < 8 && c < 8) return finder(r, c);
                    if (r < 8 && c >= n - 8) return finder(r, c - (n - 7));
                    if (r >= n - 8 && c < 8) return finder(r - (n - 7), c);
                    return static_cast<bool>(field[r * n + c]);
                  }),
          o);
  }
  // One-dimensional barcodes (bars of 1 to 4 units) and even stripes, at several angles.
  for (int k = 0; k < 6; ++k) {
    std::vector<bool> bars;
    for (bool dark = true; bars.size() < 120; dark = !dark)
      bars.insert(bars.end(), k < 4 ? pick(g, 1, 4) : 2 + k, dark);
    RenderOptions o;
    o.moduleSize = 2 + k % 3, o.angleDegrees = 30.0 * k, o.blurSigma = 0.6, o.seed = g();
    drawn("bars " + std::to_string(k),
          pattern(120, [&](int r, int c) { return r > 20 && r < 100 && bars[c]; }), o);
  }
  return frames;
}

TEST(Corpus, FramesWithoutSymbolsGiveNothing) {
  const auto frames = framesWithoutSymbols();
  EXPECT_GE(frames.size(), 40u);
  for (const auto& [name, frame] : frames) {
    const auto results = readFrame(frame);
    EXPECT_TRUE(results.empty()) << name << ": read \"" << (results.empty() ? "" : shown(results[0].bytes))
                                 << "\"";
  }
}

}  // namespace

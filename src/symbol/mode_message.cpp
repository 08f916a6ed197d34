#include "symbol/mode_message.h"

#include <array>
#include <exception>

#include "common/checked_access.h"
#include "reedsolomon/exceptions.h"
#include "reedsolomon/generic_gf.h"
#include "reedsolomon/reed_solomon_decoder.h"

namespace Aztec {
namespace {

// Index 0 is never a valid layer count; it is kept so that the tables index by `layers`.
constexpr std::array<ModeParameters, 5> kCompactTable = {{
    {0, 0, 0, 0},
    {6, 17, 15, 2},
    {6, 40, 19, 0},
    {8, 51, 23, 0},
    {8, 76, 27, 0},
}};

constexpr std::array<ModeParameters, 33> kFullRangeTable = {{
    {0, 0, 0, 0},       {6, 21, 19, 2},     {6, 48, 23, 0},     {8, 60, 27, 0},     {8, 88, 31, 0},
    {8, 120, 37, 0},    {8, 156, 41, 0},    {8, 196, 45, 0},    {8, 240, 49, 0},    {10, 230, 53, 4},
    {10, 272, 57, 0},   {10, 316, 61, 8},   {10, 364, 67, 8},   {10, 416, 71, 0},   {10, 470, 75, 4},
    {10, 528, 79, 0},   {10, 588, 83, 8},   {10, 652, 87, 8},   {10, 720, 91, 0},   {10, 790, 95, 4},
    {10, 864, 101, 0},  {10, 940, 105, 8},  {10, 1020, 109, 8}, {12, 920, 113, 0},  {12, 992, 117, 0},
    {12, 1066, 121, 8}, {12, 1144, 125, 0}, {12, 1224, 131, 0}, {12, 1306, 135, 8}, {12, 1392, 139, 0},
    {12, 1480, 143, 0}, {12, 1570, 147, 8}, {12, 1664, 151, 0},
}};

struct Orientation {
  std::array<int, 4> counts;
  int rotation;
  bool mirrored;
};

// Dark marks around the ring corners 0..3 for each orientation.
constexpr std::array<Orientation, 8> kOrientations = {{
    {{3, 2, 1, 0}, 0, false},
    {{0, 3, 2, 1}, 1, false},
    {{1, 0, 3, 2}, 2, false},
    {{2, 1, 0, 3}, 3, false},
    {{2, 3, 0, 1}, 0, true},
    {{3, 0, 1, 2}, 1, true},
    {{0, 1, 2, 3}, 2, true},
    {{1, 2, 3, 0}, 3, true},
}};

int mod(int a, int m) {
  const int r = a % m;
  return r < 0 ? r + m : r;
}

}  // namespace

// Collects the data positions of the ring in reading order, starting at the side after the
// corner with three marks.
BitRing gatherModeMessage(const BitRing& ring, bool compact, int rotation, bool mirrored) {
  if (compact) {
    BitRing m(28);
    if (!mirrored) {
      const int s = 2 + 10 * rotation;
      for (int g = 0; g < 4; ++g)
        for (int j = 0; j < 7; ++j) m.set(7 * g + j, ring.get(s + 10 * g + j));
    } else {
      const int s = 2 + 10 * mod(4 - rotation, 4);
      for (int g = 0; g < 4; ++g)
        for (int j = 0; j < 7; ++j) m.set(mod(j - 7 * g, 28), ring.get(s + 10 * g + 6 - j));
    }
    return m;
  }
  BitRing m(40);
  if (!mirrored) {
    const int s = 2 + 14 * rotation;
    for (int g = 0; g < 4; ++g) {
      for (int j = 0; j < 5; ++j) {
        m.set(10 * g + j, ring.get(s + 14 * g + j));
        m.set(10 * g + 5 + j, ring.get(s + 14 * g + 6 + j));
      }
    }
  } else {
    const int s = 2 + 14 * mod(4 - rotation, 4);
    for (int g = 0; g < 4; ++g) {
      for (int j = 0; j < 5; ++j) {
        m.set(mod(j - 10 * g, 40), ring.get(s + 14 * g + 10 - j));
        m.set(mod(5 + j - 10 * g, 40), ring.get(s + 14 * g + 4 - j));
      }
    }
  }
  return m;
}

namespace {

int readField(const BitRing& bits, int start, int width) {
  int value = 0;
  for (int i = 0; i < width; ++i) value = (value << 1) | (bits.get(start + i) ? 1 : 0);
  return value;
}

}  // namespace

const ModeParameters& compactParameters(int layers) {
  return at(kCompactTable, layers);
}

const ModeParameters& fullRangeParameters(int layers) {
  return at(kFullRangeTable, layers);
}

std::vector<int> readCodewords(const BitRing& bits, int start, int count, int width) {
  std::vector<int> words;
  if (count <= 0) return words;
  words.reserve(static_cast<std::size_t>(count));
  const std::vector<bool>& raw = bits.bits();
  const long long n = static_cast<long long>(raw.size());
  if (n == 0) {
    (void)bits.get(0);  // raises the bit-vector range error of an empty ring
  }
  long long index = ((static_cast<long long>(start) % n) + n) % n;
  for (int i = 0; i < count; ++i) {
    // Unsigned accumulation: an absurd width must not overflow a signed shift.
    unsigned value = 0;
    for (int b = 0; b < width; ++b) {
      value = (value << 1) | (at(raw, index) ? 1u : 0u);
      if (++index == n) index = 0;
    }
    words.push_back(static_cast<int>(value));
  }
  return words;
}

void correctModeMessage(BitRing& modeMessage, bool compact) {
  if (modeMessage.empty()) return;
  const int n = compact ? 7 : 10;
  const int checkCount = compact ? 5 : 6;
  std::vector<int> words = readCodewords(modeMessage, 0, n, 4);
  try {
    ReedSolomon::ReedSolomonDecoder decoder(&ReedSolomon::GF16);
    decoder.decode(words, checkCount);
  } catch (const ReedSolomon::ReedSolomonException& e) {
    throw ReedSolomon::ReedSolomonException(e.what());
  } catch (const std::exception& e) {
    // Other arithmetic failures travel on as a plain std::exception.
    throw std::exception(e);
  }
  for (int i = 0; i < n; ++i) {
    const int word = at(words, i);
    for (int b = 0; b < 4; ++b) modeMessage.set(4 * i + b, ((word >> (3 - b)) & 1) != 0);
  }
}

bool findOrientation(const BitRing& ring, int& rotation, bool& mirrored) {
  if (ring.empty()) return false;
  const int q = static_cast<int>(ring.size() / 4);
  std::array<int, 4> counts{};
  for (int k = 0; k < 4; ++k) {
    for (int d = -1; d <= 1; ++d) counts[k] += ring.get(k * q + d) ? 1 : 0;
  }
  for (const Orientation& o : kOrientations) {
    if (o.counts == counts) {
      rotation = o.rotation;
      mirrored = o.mirrored;
      return true;
    }
  }
  return false;
}

bool decodeModeMessage(SymbolCandidate& candidate, const BitRing& ring) {
  int rotation = 0;
  bool mirrored = false;
  if (!findOrientation(ring, rotation, mirrored)) return false;
  // Written at once: a failure further on leaves the orientation of this attempt behind.
  candidate.rotation = rotation;
  candidate.mirrored = mirrored;

  if (candidate.symbolType != kCompact && candidate.symbolType != kFullRange) return false;
  const bool compact = candidate.symbolType == kCompact;

  BitRing message = gatherModeMessage(ring, compact, rotation, mirrored);
  try {
    correctModeMessage(message, compact);
  } catch (const std::exception&) {
    return false;
  }

  const int layerBits = compact ? 2 : 5;
  const int dataBits = compact ? 6 : 11;
  const int layers = readField(message, 0, layerBits) + 1;
  const int dataCodewords = readField(message, layerBits, dataBits) + 1;
  const ModeParameters& p = compact ? compactParameters(layers) : fullRangeParameters(layers);
  candidate.layers = layers;
  candidate.dataCodewords = dataCodewords;
  candidate.codewordSize = p.codewordSize;
  candidate.totalCodewords = p.totalCodewords;
  candidate.symbolSize = p.symbolSize;
  candidate.leadingBits = p.leadingBits;
  return true;
}

}  // namespace Aztec

#include "symbol/data_layers.h"

#include "common/checked_access.h"
#include "detect/detector.h"
#include "reedsolomon/exceptions.h"
#include "symbol/codeword_correction.h"
#include "symbol/high_level_decoder.h"

namespace Aztec {
namespace {

SampledGrid mirrorColumns(const SampledGrid& grid) {
  const long long n = static_cast<long long>(grid.size());
  const std::size_t w = at(grid, 0).size();
  SampledGrid out(static_cast<std::size_t>(n), std::vector<bool>(w));
  for (long long x = 0; x < n; ++x) {
    const std::vector<bool>& from = at(grid, n - 1 - x);
    std::vector<bool>& to = at(out, x);
    for (std::size_t y = 0; y < w; ++y) at(to, y) = at(from, y);
  }
  return out;
}

// Drops the reference-grid lines: every 16th column and row counted from the centre.
SampledGrid removeReferenceGrid(const SampledGrid& grid, int symbolSize) {
  const int s = symbolSize;
  const int c = s / 2;
  const int l = ((s - 1) / 2) / 16;
  const int m = s - (2 * l + 1);
  const auto isLine = [c](int i) { return (c - i) % 16 == 0; };
  SampledGrid out(static_cast<std::size_t>(m > 0 ? m : 0),
                  std::vector<bool>(static_cast<std::size_t>(m > 0 ? m : 0)));
  int nx = 0;
  for (int x = 0; x < s; ++x) {
    if (isLine(x)) continue;
    const std::vector<bool>& from = at(grid, x);
    std::vector<bool>& to = at(out, nx);
    int ny = 0;
    for (int y = 0; y < s; ++y) {
      if (isLine(y)) continue;
      at(to, ny) = at(from, y);
      ++ny;
    }
    ++nx;
  }
  return out;
}

}  // namespace

BitRing extractDataBits(const SymbolCandidate& candidate, const SampledGrid& grid, bool wholeWalk) {
  // Working copies only when a step needs one; the caller's grid is never modified.
  SampledGrid mirrored;
  const SampledGrid* current = &grid;
  if (candidate.mirrored) {
    mirrored = mirrorColumns(*current);
    current = &mirrored;
  }
  SampledGrid reduced;
  if (candidate.symbolType == kFullRange) {
    reduced = removeReferenceGrid(*current, candidate.symbolSize);
    current = &reduced;
  }
  const SampledGrid& g = *current;

  const long long total = static_cast<long long>(candidate.codewordSize) * candidate.totalCodewords +
                          (wholeWalk ? candidate.leadingBits : 0);
  BitRing raw(static_cast<std::size_t>(total > 0 ? total : 0));
  const int n = static_cast<int>(g.size());
  const int h0 = n - 1;
  long long rowOffset = 0;
  for (int i = 0; i < candidate.layers; ++i) {
    const int low = 2 * i;
    const int high = h0 - low;
    const int rs = n - 4 * i - 2;
    for (int s = 0; s < 4; ++s) {
      const int quarter = ((s + candidate.rotation) % 4 + 4) % 4;
      const long long o = rowOffset + 2LL * rs * quarter;
      for (int j = 0; j < rs; ++j) {
        bool outer = false;
        bool inner = false;
        switch (s) {
          case 0:
            outer = at(at(g, low), low + j);
            inner = at(at(g, low + 1), low + j);
            break;
          case 1:
            outer = at(at(g, low + j), high);
            inner = at(at(g, low + j), high - 1);
            break;
          case 2:
            outer = at(at(g, high), high - j);
            inner = at(at(g, high - 1), high - j);
            break;
          default:
            outer = at(at(g, high - j), low);
            inner = at(at(g, high - j), low + 1);
            break;
        }
        raw.set(o + 2LL * j, outer);
        raw.set(o + 2LL * j + 1, inner);
      }
    }
    rowOffset += 8LL * rs;
  }
  return raw;
}

std::optional<std::vector<std::uint8_t>> decodeSymbolData(const SymbolCandidate& candidate,
                                                          const SampledGrid* grid) {
  if (grid == nullptr) return std::nullopt;
  std::optional<BitRing> data;
  {
    const BitRing raw = extractDataBits(candidate, *grid);
    try {
      data = correctDataBits(raw, candidate);
    } catch (const ReedSolomon::IllegalSymbolException&) {
      return std::nullopt;
    } catch (const ReedSolomon::ReedSolomonException&) {
      return std::nullopt;
    }
  }
  if (!data || data->empty()) return std::nullopt;
  return decodeHighLevel(&*data);
}

std::optional<std::vector<std::uint8_t>> Detector::readData(SymbolCandidate& candidate) {
  const SampledGrid grid = sampleDataGrid(candidate);
  return decodeSymbolData(candidate, &grid);
}

}  // namespace Aztec

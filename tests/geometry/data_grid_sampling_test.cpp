#include "geometry/data_grid_sampling.h"

#include <gtest/gtest.h>

#include "detect/detector.h"
#include "support/symbol_frames.h"

namespace Aztec {
namespace {

ModuleValueGrid uniform(int n, std::uint32_t v) { return ModuleValueGrid(n, std::vector<std::uint32_t>(n, v)); }

TEST(IsDarkModule, WindowsInsideAndAlongTheEdges) {
  // Whether one bright cell at (bx, by) in a 32 x 32 grid of 100s darkens module (x, y).
  const struct { int x, y, bx, by; bool dark; } cases[] = {
      {10, 10, 8, 8, true},    {10, 10, 11, 11, true},  {10, 10, 12, 10, false}, {10, 10, 10, 7, false},  // two before, one after
      {1, 10, 6, 10, true},    {1, 10, 7, 10, false},   {10, 0, 10, 6, true},                            // low edge: 0 up to 7
      {30, 10, 24, 10, true},  {30, 10, 23, 10, false}, {30, 10, 31, 10, false}, {10, 31, 10, 31, false}};  // high: N - 8 up to N - 1
  for (const auto& k : cases) {
    auto g = uniform(32, 100);
    g[k.bx][k.by] = 250;
    EXPECT_EQ(isDarkModule(g, k.x, k.y), k.dark) << k.x << "," << k.y << " bright " << k.bx << "," << k.by;
  }
  auto g = uniform(32, 100);
  EXPECT_FALSE(isDarkModule(g, 10, 10));  // a uniform patch is light
  g[31][5] = 0;
  EXPECT_TRUE(isDarkModule(g, 31, 5));  // the last column is its own start value
  g[12][12] = 141006539;  // an outside reading darkens every in-image module of its windows
  EXPECT_TRUE(isDarkModule(g, 11, 11));
  EXPECT_FALSE(isDarkModule(g, 12, 12));
  EXPECT_THROW(isDarkModule(uniform(32, 1), 32, 0), std::out_of_range);
  EXPECT_THROW(isDarkModule(uniform(6, 1), 5, 3), std::out_of_range);  // the edge window starts at -2
}

// A 300 x 300 frame whose cell [10][10] spans 160 pixels (10 per module) from (100.3, 100.3);
// inside each module the pixel value tells the offset of the reading from its centre pixel.
TEST(SampleBlock, FiveReadingsPerModuleAveragedWithWrap) {
  const int w[10] = {11, 20, 40, 0, 0, 0, 0, 50, 0, 30};  // offset 0, +1, +2, -3, -2, -1 pixels
  std::vector<std::uint8_t> px(300 * 300);
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 300; ++x) px[y * 300 + x] = static_cast<std::uint8_t>(w[x % 10] + w[y % 10]);
  Detector d;
  d.setImage(Velmora::Image::GrayBuf::fromBytes(px.data(), 300, 300));
  SymbolCandidate c;
  c.gridPoints[10][10] = {100.3, 100.3}, c.gridPoints[11][10] = {260.3, 100.3};
  c.gridPoints[11][11] = {260.3, 260.3}, c.gridPoints[10][11] = {100.3, 260.3};
  for (int type : {kCompact, kFullRange}) {
    c.symbolType = type;
    auto values = uniform(32, 7);
    d.sampleBlock(c, 10, 10, values, 16, 0);
    // Compact reads 0.1 module (1 pixel) aside: (66 + 2 * 50) / 5; full-range 0.25 module
    // (2.5 pixels, so pixels +2 and -3): (66 + 2 * 90) / 5.
    const std::uint32_t expected = type == kCompact ? 33 : 49;
    for (int x = 0; x < 32; ++x)
      for (int y = 0; y < 32; ++y) ASSERT_EQ(values[x][y], x >= 16 && y < 16 ? expected : 7u) << x << "," << y;
  }
  // Far outside the frame all five readings are OUTSIDE_IMAGE and their sum wraps.
  for (auto& p : c.gridPoints[10]) p = {-5000, -5000};
  for (auto& p : c.gridPoints[11]) p = {-4000, -4000};
  auto values = uniform(16, 0);
  d.sampleBlock(c, 10, 10, values, 0, 0);
  EXPECT_EQ(values[3][9], 141006539u);
}

// Real symbols, pixel-aligned, so each sampled module value is exactly its grey level: the
// result must be isDarkModule over the ideal value grid (with the offset `off` of the symbol
// in it), and close to the encoder's modules.
TEST(SampleDataGrid, ReadsTheSymbolCellByCell) {
  const struct { AztecTest::SymbolKind kind; int layers, size, cells, off, moduleSize; bool exact; } cases[] = {
      {AztecTest::SymbolKind::Compact, 1, 15, 1, 9, 4, true}, {AztecTest::SymbolKind::Compact, 4, 27, 1, 3, 5, true},
      {AztecTest::SymbolKind::FullRange, 4, 31, 1, 1, 4, true}, {AztecTest::SymbolKind::FullRange, 5, 37, 2, 14, 4, true},
      // One line search settles 0.6 module off here (a ten-wide run of acceptable scores).
      {AztecTest::SymbolKind::FullRange, 32, 151, 5, 5, 3, false}};
  for (const auto& p : cases) {
    SCOPED_TRACE(p.size);
    AztecTest::SymbolRequest request;
    request.message.assign(p.layers * 9, static_cast<std::uint8_t>('a' + p.layers));
    request.kind = p.kind, request.layers = p.layers;
    const auto s = AztecTest::encodeSymbol(request);
    ASSERT_EQ(s.size, p.size);
    const int m = p.moduleSize, frame = 32 * p.cells * m + 40, n = 32 * p.cells, half = p.size / 2;
    AztecTest::RenderOptions o;
    o.width = o.height = frame;
    o.centerX = o.centerY = frame / 2 + (m % 2 ? 0.5 : 0.0);
    o.moduleSize = m;
    Detector d;
    d.setImage(AztecTest::renderSymbol(s, o));
    SymbolCandidate c;
    c.symbolType = s.compact ? kCompact : kFullRange;
    c.center = {o.centerX, o.centerY};
    const double r = (s.compact ? 3 : 5) * m;
    c.corners = {Point2D{o.centerX - r, o.centerY - r}, Point2D{o.centerX + r, o.centerY - r},
                 Point2D{o.centerX + r, o.centerY + r}, Point2D{o.centerX - r, o.centerY + r}};
    ASSERT_TRUE(d.sampleModeMessage(c, 1.0));
    const SampledGrid grid = d.sampleDataGrid(c);

    ModuleValueGrid ideal = uniform(n, o.light);
    for (int x = 0; x < n; ++x)
      for (int y = 0; y < n; ++y) {
        const int col = x - n / 2 + half, row = y - n / 2 + half;
        if (col >= 0 && row >= 0 && col < p.size && row < p.size && s.modules[row][col]) ideal[x][y] = o.dark;
      }
    ASSERT_EQ(grid.size(), static_cast<std::size_t>(p.size));
    int differ = 0;
    for (int x = 0; x < p.size; ++x) {
      ASSERT_EQ(grid[x].size(), static_cast<std::size_t>(p.size));
      for (int y = 0; y < p.size; ++y) {
        if (p.exact) {
          ASSERT_EQ(grid[x][y], isDarkModule(ideal, x + p.off, y + p.off)) << x << "," << y;
        }
        differ += grid[x][y] != s.modules[y][x];
      }
    }
    EXPECT_LT(differ, p.size * p.size / 50);
  }
}

}  // namespace
}  // namespace Aztec

#include "geometry/data_grid_sampling.h"

#include <gtest/gtest.h>

#include "detect/detector.h"
#include "support/symbol_frames.h"

namespace Aztec {
namespace {

ModuleValueGrid uniform(int n, std::uint32_t v) { return ModuleValueGrid(n, std::vector<std::uint32_t>(n, v)); }

// Whether a bright cell at (bx, by) lifts the mid-range enough to darken module (x, y).
bool windowHas(int x, int y, int bx, int by) {
  auto g = uniform(32, 100);
  g[bx][by] = 250;
  return isDarkModule(g, x, y);
}

TEST(IsDarkModule, WindowsInsideAndAlongTheEdges) {
  EXPECT_FALSE(isDarkModule(uniform(32, 100), 10, 10));  // uniform patch is light
  // Inside: two before, one after.
  EXPECT_TRUE(windowHas(10, 10, 8, 8));
  EXPECT_TRUE(windowHas(10, 10, 11, 11));
  EXPECT_FALSE(windowHas(10, 10, 12, 10));
  EXPECT_FALSE(windowHas(10, 10, 10, 7));
  // Low edge: 0 up to 7.
  EXPECT_TRUE(windowHas(1, 10, 6, 10));
  EXPECT_FALSE(windowHas(1, 10, 7, 10));
  EXPECT_TRUE(windowHas(10, 0, 10, 6));
  // High edge: N - 8 up to N - 1; the last column only ever counts for itself.
  EXPECT_TRUE(windowHas(30, 10, 24, 10));
  EXPECT_FALSE(windowHas(30, 10, 23, 10));
  EXPECT_FALSE(windowHas(30, 10, 31, 10));
  EXPECT_FALSE(windowHas(10, 31, 10, 31));
  auto g = uniform(32, 100);
  g[31][5] = 0;
  EXPECT_TRUE(isDarkModule(g, 31, 5));
  // An outside reading (141006539) in the window darkens every in-image module in it.
  g[12][12] = 141006539;
  EXPECT_TRUE(isDarkModule(g, 11, 11));
  EXPECT_FALSE(isDarkModule(g, 12, 12));
}

TEST(IsDarkModule, BadIndicesThrowInsteadOfReadingOutside) {
  EXPECT_THROW(isDarkModule(uniform(32, 1), 32, 0), std::out_of_range);
  EXPECT_THROW(isDarkModule(uniform(32, 1), 0, -1), std::out_of_range);
  EXPECT_THROW(isDarkModule(uniform(6, 1), 5, 3), std::out_of_range);  // edge window starts at -2
  EXPECT_THROW(isDarkModule(ModuleValueGrid{}, 0, 0), std::out_of_range);
}

// A 300 x 300 frame whose cell [10][10] spans 160 pixels (10 per module) from (100.3, 100.3);
// inside each module the pixel value tells the offset of the reading from its centre pixel.
TEST(SampleBlock, FiveReadingsPerModuleAveragedWithWrap) {
  const int w[10] = {11, 20, 40, 0, 0, 0, 0, 50, 0, 30};  // offset 0, +1, +2, -3, -2, -1 pixels
  std::vector<std::uint8_t> px(300 * 300);
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 300; ++x) px[y * 300 + x] = static_cast<std::uint8_t>(w[(x + 10) % 10] + w[(y + 10) % 10]);
  Detector d;
  d.setImage(Velmora::Image::GrayBuf::fromBytes(px.data(), 300, 300));
  SymbolCandidate c;
  c.gridPoints[10][10] = {100.3, 100.3};
  c.gridPoints[11][10] = {260.3, 100.3};
  c.gridPoints[11][11] = {260.3, 260.3};
  c.gridPoints[10][11] = {100.3, 260.3};
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

TEST(SampleDataGrid, SizesThatDoNotFitTheTablesThrowOrGiveNothing) {
  std::vector<std::uint8_t> px(20 * 20, 128);
  Detector d;
  d.setImage(Velmora::Image::GrayBuf::fromBytes(px.data(), 20, 20));
  SymbolCandidate c;
  c.symbolType = kFullRange;
  c.symbolSize = 1001;  // crossings far beyond the 20 x 20 table
  EXPECT_THROW(d.sampleDataGrid(c), std::out_of_range);
  c.symbolType = kCompact;
  c.symbolSize = 99;  // more modules than the one-cell value grid holds
  EXPECT_THROW(d.sampleDataGrid(c), std::out_of_range);
  c.symbolSize = -3;
  EXPECT_TRUE(d.sampleDataGrid(c).empty());
}

struct GridCase {
  AztecTest::SymbolKind kind;
  int layers, size, cells, off, moduleSize;
  bool linesExact;  // every crossing found on its line, so each reading stays in its module
};

class SampleDataGrid : public testing::TestWithParam<GridCase> {};

// Real symbols, pixel-aligned, so each sampled module value is exactly its grey level: the
// result must be isDarkModule over the ideal value grid, and close to the encoder's modules.
TEST_P(SampleDataGrid, ReadsTheSymbolCellByCell) {
  const GridCase p = GetParam();
  const auto s = AztecTest::encodeSymbol({std::vector<std::uint8_t>(p.layers * 9, 'a' + p.layers), p.kind, p.layers});
  ASSERT_EQ(s.size, p.size);
  const int m = p.moduleSize, frame = 32 * p.cells * m + 40;
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
  ASSERT_EQ(c.symbolSize, p.size);

  const SampledGrid grid = d.sampleDataGrid(c);

  const int n = 32 * p.cells, half = p.size / 2;
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
      if (p.linesExact) {
        ASSERT_EQ(grid[x][y], isDarkModule(ideal, x + p.off, y + p.off)) << x << "," << y;
      }
      differ += grid[x][y] != s.modules[y][x];
    }
  }
  EXPECT_LT(differ, p.size * p.size / 50);
}

INSTANTIATE_TEST_SUITE_P(BySize, SampleDataGrid,
                         testing::Values(GridCase{AztecTest::SymbolKind::Compact, 1, 15, 1, 9, 4, true},
                                         GridCase{AztecTest::SymbolKind::Compact, 4, 27, 1, 3, 5, true},
                                         GridCase{AztecTest::SymbolKind::FullRange, 4, 31, 1, 1, 4, true},
                                         GridCase{AztecTest::SymbolKind::FullRange, 5, 37, 2, 14, 4, true},
                                         // One line search here settles 0.6 module off (a
                                         // ten-wide run of acceptable scores), which the line search accepts.
                                         GridCase{AztecTest::SymbolKind::FullRange, 32, 151, 5, 5, 3, false}));

}  // namespace
}  // namespace Aztec

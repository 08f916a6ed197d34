#pragma once
// Sampling of the whole symbol into a grid of dark/light modules.

#include <cstdint>
#include <vector>

namespace Aztec {

// symbolSize columns of symbolSize bits, indexed [column][row], true = dark; reference-grid
// lines of full-range symbols included.
using SampledGrid = std::vector<std::vector<bool>>;

// 32B x 32B averaged module readings, indexed [column][row].
using ModuleValueGrid = std::vector<std::vector<std::uint32_t>>;

// Dark when the module's value is below the mid-range of a small window of its neighbours.
bool isDarkModule(const ModuleValueGrid& grid, int x, int y);

}  // namespace Aztec

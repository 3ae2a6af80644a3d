// Memory estimates of runs without capacities: one that overflowed 64 bits
// would wrap to a small number and let through a run no memory holds.
#include "model/memory_estimate.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace tarvex {
namespace {

constexpr std::uint64_t kMost = std::numeric_limits<std::uint64_t>::max();

TEST(MemoryEstimate, GrowsWithItsCountsAndNeverWraps) {
  // A run of 2^61 steps takes 16 bytes a step: far past 64 bits.
  EXPECT_EQ(run_bytes(1, 1, 1, int64_t{1} << 61), kMost);
  EXPECT_EQ(run_bytes(std::numeric_limits<int64_t>::max(), 0, std::numeric_limits<int32_t>::max(), 0), kMost);
  EXPECT_EQ(state_grid_bytes(std::numeric_limits<int64_t>::max(), 1), kMost);
  EXPECT_EQ(record_series_bytes(std::numeric_limits<int64_t>::max(), 1, 1), kMost);
  EXPECT_EQ(terrain_pass_bytes(std::numeric_limits<int64_t>::max(), 1, 3), kMost);
  // Within range: larger counts never give a smaller estimate.
  EXPECT_LT(run_bytes(1000, 500, 1, 8760), run_bytes(1000, 500, 1, 87600));
  EXPECT_LT(state_grid_bytes(1000000, 1), state_grid_bytes(1000000, 4));
  EXPECT_EQ(run_bytes(0, 0, 0, 0), 0u);
}

}  // namespace
}  // namespace tarvex

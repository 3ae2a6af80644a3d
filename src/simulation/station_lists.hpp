#pragma once
// Missing-station bookkeeping of one simulation step.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "model/model_state.hpp"

namespace tarvex {

// Numbers of the stations missing at a record, in increasing order (only the
// first NMISS entries are meaningful), and the mask of the missing ones.
// Sized to the station count before a run's time loop.
//
// It also remembers which set of missing stations a step table was last
// built for: during a run the table depends on that set alone (positions,
// grid and catchment do not change), so a later step missing the same
// stations keeps it instead of rebuilding it over the whole grid.
struct MissList : Array1<int32_t, kLimits.rain_gauges> {
  std::unique_ptr<bool[]> mask = std::make_unique<bool[]>(kLimits.rain_gauges);
  std::unique_ptr<bool[]> built = std::make_unique<bool[]>(kLimits.rain_gauges);
  int32_t mask_size = kLimits.rain_gauges;
  const void* built_table = nullptr;  // table built for `built`, none yet
  int32_t built_count = 0;

  void size_to(int32_t n) {
    grow(n);
    if (n > mask_size) {
      mask = std::make_unique<bool[]>(static_cast<std::size_t>(n));
      built = std::make_unique<bool[]>(static_cast<std::size_t>(n));
      mask_size = n;
      built_table = nullptr;
    }
  }
  // `table` was built for the current mask of n stations.
  bool table_holds_mask(const void* table, int32_t n) const {
    return built_table == table && built_count == n && std::equal(mask.get(), mask.get() + n, built.get());
  }
  void table_built(const void* table, int32_t n) {
    std::copy(mask.get(), mask.get() + n, built.get());
    built_table = table;
    built_count = n;
  }
};

}  // namespace tarvex

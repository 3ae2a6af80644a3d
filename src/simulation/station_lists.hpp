#pragma once
// Missing-station bookkeeping of one simulation step.
#include <cstdint>
#include <memory>
#include <vector>

#include "model/model_state.hpp"

namespace tarvex {

// Numbers of the stations missing at a record, in increasing order (only the
// first NMISS entries are meaningful), and the mask of the missing ones.
// Sized to the station count before a run's time loop.
struct MissList : Array1<int32_t, kLimits.rain_gauges> {
  std::unique_ptr<bool[]> mask = std::make_unique<bool[]>(kLimits.rain_gauges);
  int32_t mask_size = kLimits.rain_gauges;

  void size_to(int32_t n) {
    grow(n);
    if (n > mask_size) {
      mask = std::make_unique<bool[]>(static_cast<std::size_t>(n));
      mask_size = n;
    }
  }
};

}  // namespace tarvex

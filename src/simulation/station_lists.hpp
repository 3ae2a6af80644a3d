#pragma once
// Missing-station bookkeeping of one simulation step.
#include <cstdint>

#include "model/model_state.hpp"

namespace tarvex {

// Numbers of the stations missing at a record, in increasing order; only the
// first NMISS entries are meaningful.
using MissList = Array1<int32_t, kLimits.rain_gauges>;

}  // namespace tarvex

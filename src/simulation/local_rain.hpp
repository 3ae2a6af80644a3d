#pragma once
#include <cstdint>

#include "model/model_state.hpp"

namespace tarvex {

// Rain falling on cell (I, J) from record N, times FACTOR (DT_SIM/DT_RAIN
// gives mm per simulation step). Reads the run's step tables MAP_STEP and
// WEIGHT_STEP only when MISS_FLAG is 1, the load-time tables otherwise.
float LOCAL_RAIN(const ModelState& s, int32_t I, int32_t J, int32_t MISS_FLAG, float FACTOR, int32_t N,
                 const Grid<int32_t>& MAP_STEP, const Grid<float>& WEIGHT_STEP);

}  // namespace tarvex

#pragma once
#include <cstdint>

#include "model/model_state.hpp"

namespace tarvex {

// Event runoff of one step by the curve-number relation applied to the rain
// accumulated since the start of the run: RUNOFF (mm per step) is the growth
// of the accumulated direct runoff over the step, INFILTRATION the rest of the
// step's rain. Cells off the catchment get RUNOFF -1 and nothing else.
void CN_METHOD(const RunModel& s, int32_t N, int32_t MISS_FLAG, Grid<float>& RUNOFF, const Grid<int32_t>& MAP_STEP,
               const Grid<float>& WEIGHT_STEP);

}  // namespace tarvex

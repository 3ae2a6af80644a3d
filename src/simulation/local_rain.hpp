#pragma once
#include <cstdint>

#include "model/model_state.hpp"

namespace tarvex {

// Rain falling on cell (I, J) from record N, times FACTOR (DT_SIM/DT_RAIN
// gives mm per simulation step). Reads the run's step tables MAP_STEP and
// WEIGHT_STEP only when MISS_FLAG is 1, the load-time tables otherwise.
float LOCAL_RAIN(const RunModel& s, int32_t I, int32_t J, int32_t MISS_FLAG, float FACTOR, int32_t N,
                 const Grid<int32_t>& MAP_STEP, const Grid<float>& WEIGHT_STEP);

// The head of a runoff step shared by both methods: every cell off the
// catchment gets RUNOFF -1; every catchment cell gets its rain P of the step
// (mm), added to CUM_RAIN, and then cell(I, J, P).
template <class Cell>
void for_catchment_cells(const RunModel& s, int32_t N, int32_t MISS_FLAG, Grid<float>& RUNOFF,
                         const Grid<int32_t>& MAP_STEP, const Grid<float>& WEIGHT_STEP, Cell&& cell) {
  const float R = s.params.step_plan.records_per_step;
  for (int32_t I = 1; I <= s.catchment.NI; ++I) {
    for (int32_t J = 1; J <= s.catchment.NJ; ++J) {
      if (!(s.catchment.SLOPE(I, J) > 0.0f)) {
        RUNOFF(I, J) = -1.0f;
        continue;
      }
      const float P = LOCAL_RAIN(s, I, J, MISS_FLAG, R, N, MAP_STEP, WEIGHT_STEP);  // mm in the step
      s.run.CUM_RAIN(I, J) = P + s.run.CUM_RAIN(I, J);
      cell(I, J, P);
    }
  }
}

}  // namespace tarvex

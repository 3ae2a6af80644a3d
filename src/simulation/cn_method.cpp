#include "simulation/cn_method.hpp"

#include "laws/curve_number.hpp"
#include "simulation/local_rain.hpp"

namespace tarvex {

void CN_METHOD(const RunModel& s, int32_t N, int32_t MISS_FLAG, Grid<float>& RUNOFF, const Grid<int32_t>& MAP_STEP,
               const Grid<float>& WEIGHT_STEP) {
  const float lambda = s.params.IA_RATIO;
  const bool impervious = s.control.RUN_MODE == 2 && s.params.IMPERVIOUS == 1;
  for_catchment_cells(s, N, MISS_FLAG, RUNOFF, MAP_STEP, WEIGHT_STEP, [&](int32_t I, int32_t J, float P) {
    const float S = s.catchment.SOIL_CAPACITY(I, J);
    const float P0 = s.run.EVENT_RAIN(I, J);  // accumulated before the step
    const float P1 = P + P0;              // and after it

    // Accumulated direct runoff after and before the step.
    const float Q1 = cn_accumulated_runoff(P1, S, lambda);
    const float Q0 = cn_accumulated_runoff(P0, S, lambda);
    s.run.EVENT_RAIN(I, J) = P1;

    float q = Q1 - Q0;
    if (q < 0.0f) q = 0.0f;
    RUNOFF(I, J) = q;
    s.run.INFILTRATION(I, J) = P > 0.0f ? P - q : 0.0f;
    if (impervious) s.run.INFILTRATION(I, J) = 0.0f;
  });
}

}  // namespace tarvex

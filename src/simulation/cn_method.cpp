#include "simulation/cn_method.hpp"

#include "simulation/local_rain.hpp"

namespace tarvex {

void CN_METHOD(ModelState& s, int32_t N, int32_t MISS_FLAG, Grid<float>& RUNOFF, const Grid<int32_t>& MAP_STEP,
               const Grid<float>& WEIGHT_STEP) {
  const float lambda = s.IA_RATIO;
  const bool impervious = s.RUN_MODE == 2 && s.IMPERVIOUS == 1;
  for_catchment_cells(s, N, MISS_FLAG, RUNOFF, MAP_STEP, WEIGHT_STEP, [&](int32_t I, int32_t J, float P) {
    const float S = s.SOIL_CAPACITY(I, J);
    const float P0 = s.EVENT_RAIN(I, J);  // accumulated before the step
    const float P1 = P + P0;              // and after it

    float A1 = P1 - lambda * S;
    if (A1 < 0.0f) A1 = 0.0f;
    float A0 = P0 - lambda * S;
    if (A0 < 0.0f) A0 = 0.0f;
    // Accumulated direct runoff after and before the step.
    float Q1 = A1 * A1 / ((1.0f - lambda) * S + P1);
    if (Q1 < 0.0f) Q1 = 0.0f;
    float Q0 = A0 * A0 / ((1.0f - lambda) * S + P0);
    if (Q0 < 0.0f) Q0 = 0.0f;
    s.EVENT_RAIN(I, J) = P1;

    float q = Q1 - Q0;
    if (q < 0.0f) q = 0.0f;
    RUNOFF(I, J) = q;
    s.INFILTRATION(I, J) = P > 0.0f ? P - q : 0.0f;
    if (impervious) s.INFILTRATION(I, J) = 0.0f;
  });
}

}  // namespace tarvex

#include "simulation/local_rain.hpp"

namespace tarvex {

float LOCAL_RAIN(const RunModel& s, int32_t I, int32_t J, int32_t MISS_FLAG, float FACTOR, int32_t N,
                 const Grid<int32_t>& MAP_STEP, const Grid<float>& WEIGHT_STEP) {
  float RAIN = 0.0f;
  if (s.forcing.INTERP_METHOD == 1) {
    const int32_t st = MISS_FLAG == 1 ? MAP_STEP(I, J) : s.forcing.RAIN_STATION_MAP(I, J);
    RAIN = s.forcing.RAIN_DATA(N, st) * FACTOR;
  } else {
    const Grid<float>& weight = MISS_FLAG == 1 ? WEIGHT_STEP : s.forcing.RAIN_WEIGHT;
    for (int32_t k = 1; k <= s.forcing.N_RAIN_ST; ++k) {
      RAIN = s.forcing.RAIN_DATA(N, k) * weight((k - 1) * s.catchment.NI + I, J) * FACTOR + RAIN;
    }
  }
  return RAIN;
}

}  // namespace tarvex

#pragma once
// Small in-memory model states for the simulation tests.
#include <cstdint>
#include <cstring>
#include <memory>

#include "driver/model_state.hpp"

namespace tarvex::test {

// NI x NJ catchment, every cell active, one rain gauge and one temperature
// station at cell (1, 1), hourly records and steps, no evapotranspiration,
// no paths (routing moves nothing), usual month lengths.
inline std::unique_ptr<ModelState> small_state(int32_t ni, int32_t nj) {
  auto s = std::make_unique<ModelState>();
  s->NI = ni;
  s->NJ = nj;
  s->size_grids(ni, nj);
  s->RUN_MODE = 3;
  s->DT_RAIN = 3600.0f;
  s->DT_SIM = 3600.0f;
  s->CELL_DX = 100.0f;
  s->CELL_DY = 100.0f;
  s->N_DATA = 1;
  s->SLOPE.fill(0.01f);
  s->CUM_RAIN.fill(0.0f);
  s->SOIL_CAPACITY.fill(100.0f);
  s->IA_RATIO = 0.2f;
  s->F_SUB_CAP = 1.0f;
  s->TAU_SUB = 86400.0f;
  s->INTERP_METHOD = 1;
  s->N_RAIN_ST = 1;
  s->RAIN_XY(1, 1) = 1.0f;
  s->RAIN_XY(2, 1) = 1.0f;
  s->RAIN_STATION_MAP.fill(1);
  s->N_TEMP_ST = 1;
  s->TEMP_XY(1, 1) = 1.0f;
  s->TEMP_XY(2, 1) = 1.0f;
  s->TEMP_STATION_MAP.fill(1);
  const int32_t days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (int32_t m = 1; m <= 12; ++m) {
    s->DAYS_IN_MONTH(m) = days[m - 1];
    s->ET_MONTH_A(m) = 1.0f;
    s->ET_MONTH_B(m) = 1.0f;
  }
  s->START_MONTH = 1;
  s->START_DOY = 1.0f;
  return s;
}

inline uint32_t bits(float v) {
  uint32_t u;
  std::memcpy(&u, &v, sizeof u);
  return u;
}

}  // namespace tarvex::test

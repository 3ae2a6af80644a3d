#pragma once
// Small in-memory model states for the simulation tests.
#include <cstdint>
#include <cstring>
#include <memory>

#include "model/model_state.hpp"

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

// A row of three hillslope cells draining east into the cross-section and
// outlet cell (1, 4), one path through them, routing parameters set.
inline std::unique_ptr<ModelState> routed_row() {
  auto s = small_state(1, 4);
  s->A_CHANNEL = 1000.0f;
  s->WD_HILL = 10.0f;
  s->NCLASS = 1;
  s->KS_CLASS(1) = 20.0f;
  s->WD_CHAN = 10.0f;
  s->KS_CHAN_TOP = 40.0f;
  s->KS_CHAN_OUT = 20.0f;
  s->K_SUB = 0.001f;
  s->W_SUB = 100.0f;
  s->OUTLET_I = 1;
  s->OUTLET_J = 4;
  s->ELEVATION.fill(500.0f);
  s->ROUGH_CLASS.fill(1);
  for (int32_t j = 1; j <= 4; ++j) {
    s->FLOW_DIR(1, j) = 6;
    s->AREA_CELLS(1, j) = j;
  }
  s->SLOPE(1, 4) = -1.0f;
  s->NPATH = 1;
  s->IIN(1) = 1;
  s->JIN(1) = 1;
  s->IFIN(1) = 1;
  s->JFIN(1) = 4;
  s->N_SECTIONS = 1;
  s->SECTION_I(1) = 1;
  s->SECTION_J(1) = 4;
  return s;
}

inline uint32_t bits(float v) {
  uint32_t u;
  std::memcpy(&u, &v, sizeof u);
  return u;
}

}  // namespace tarvex::test

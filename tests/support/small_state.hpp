#pragma once
// Small in-memory model states and the pieces the tests add to them.
#include <cstdint>
#include <memory>

#include "model/model_state.hpp"

namespace tarvex::test {

// An ni x nj state with its grids sized, in the given run mode, hourly
// records and steps, 100 m cells; every other field keeps its default.
inline std::unique_ptr<ModelState> small_state(int32_t ni, int32_t nj, int32_t mode = 3) {
  auto s = std::make_unique<ModelState>();
  s->RUN_MODE = mode;
  s->NI = ni;
  s->NJ = nj;
  s->size_grids(ni, nj);
  s->DT_RAIN = 3600.0f;
  s->DT_SIM = 3600.0f;
  s->plan_steps();
  s->CELL_DX = 100.0f;
  s->CELL_DY = 100.0f;
  return s;
}

// An n x n state of n records whose cells are all catchment cells (slope
// 0.01) but (n, n).
inline std::unique_ptr<ModelState> square_state(int32_t n) {
  auto s = small_state(n, n);
  s->SLOPE.fill(0.01f);
  s->SLOPE(n, n) = -1.0f;
  s->N_DATA = n;
  s->plan_steps();
  return s;
}

// Hillslope, channel and subsurface parameters of the routing tests on
// flat 500 m cells.
inline void set_routing(ModelState& s) {
  // Hillslopes: one roughness class.
  s.NCLASS = 1;
  s.KS_CLASS(1) = 20.0f;
  s.WD_HILL = 10.0f;
  s.ROUGH_CLASS.fill(1);
  // Channels: none unless a test lowers A_CHANNEL (km2) below the areas.
  s.A_CHANNEL = 1000.0f;
  s.WD_CHAN = 10.0f;
  s.KS_CHAN_TOP = 40.0f;
  s.KS_CHAN_OUT = 20.0f;
  s.ELEVATION.fill(500.0f);
  s.K_SUB = 0.001f;
  s.W_SUB = 100.0f;
}

// Appends the path (i0, j0) -> (ie, je).
inline void add_path(ModelState& s, int32_t i0, int32_t j0, int32_t ie, int32_t je) {
  ++s.NPATH;
  s.IIN(s.NPATH) = i0;
  s.JIN(s.NPATH) = j0;
  s.IFIN(s.NPATH) = ie;
  s.JFIN(s.NPATH) = je;
}

// One rain gauge and one temperature station at (x, y), serving every cell.
inline void one_station(ModelState& s, float x, float y) {
  s.N_RAIN_ST = 1;
  s.RAIN_XY(1, 1) = x;
  s.RAIN_XY(2, 1) = y;
  s.RAIN_STATION_MAP.fill(1);
  s.N_TEMP_ST = 1;
  s.TEMP_XY(1, 1) = x;
  s.TEMP_XY(2, 1) = y;
  s.TEMP_STATION_MAP.fill(1);
}

// Usual month lengths and monthly evapotranspiration factors a and b.
inline void usual_months(ModelState& s, float et_a, float et_b) {
  const int32_t days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (int32_t m = 1; m <= 12; ++m) {
    s.DAYS_IN_MONTH(m) = days[m - 1];
    s.ET_MONTH_A(m) = et_a;
    s.ET_MONTH_B(m) = et_b;
  }
}

// A single cross-section at (i, j).
inline void one_section(ModelState& s, int32_t i, int32_t j) {
  s.N_SECTIONS = 1;
  s.SECTION_I(1) = i;
  s.SECTION_J(1) = j;
}

}  // namespace tarvex::test

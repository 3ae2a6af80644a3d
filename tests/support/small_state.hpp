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
  s->control.RUN_MODE = mode;
  s->catchment.NI = ni;
  s->catchment.NJ = nj;
  s->size_grids(ni, nj);
  s->forcing.DT_RAIN = 3600.0f;
  s->params.DT_SIM = 3600.0f;
  s->plan_steps();
  s->catchment.CELL_DX = 100.0f;
  s->catchment.CELL_DY = 100.0f;
  return s;
}

// An n x n state of n records whose cells are all catchment cells (slope
// 0.01) but (n, n).
inline std::unique_ptr<ModelState> square_state(int32_t n) {
  auto s = small_state(n, n);
  s->catchment.SLOPE.fill(0.01f);
  s->catchment.SLOPE(n, n) = -1.0f;
  s->forcing.N_DATA = n;
  s->plan_steps();
  return s;
}

// Hillslope, channel and subsurface parameters of the routing tests on
// flat 500 m cells.
inline void set_routing(ModelState& s) {
  // Hillslopes: one roughness class.
  s.params.NCLASS = 1;
  s.params.KS_CLASS(1) = 20.0f;
  s.params.WD_HILL = 10.0f;
  s.catchment.ROUGH_CLASS.fill(1);
  // Channels: none unless a test lowers A_CHANNEL (km2) below the areas.
  s.params.A_CHANNEL = 1000.0f;
  s.params.WD_CHAN = 10.0f;
  s.params.KS_CHAN_TOP = 40.0f;
  s.params.KS_CHAN_OUT = 20.0f;
  s.catchment.ELEVATION.fill(500.0f);
  s.params.K_SUB = 0.001f;
  s.params.W_SUB = 100.0f;
}

// Appends the path (i0, j0) -> (ie, je).
inline void add_path(ModelState& s, int32_t i0, int32_t j0, int32_t ie, int32_t je) {
  ++s.catchment.NPATH;
  s.catchment.IIN(s.catchment.NPATH) = i0;
  s.catchment.JIN(s.catchment.NPATH) = j0;
  s.catchment.IFIN(s.catchment.NPATH) = ie;
  s.catchment.JFIN(s.catchment.NPATH) = je;
}

// One rain gauge and one temperature station at (x, y), serving every cell.
inline void one_station(ModelState& s, float x, float y) {
  s.forcing.N_RAIN_ST = 1;
  s.forcing.RAIN_XY(1, 1) = x;
  s.forcing.RAIN_XY(2, 1) = y;
  s.forcing.RAIN_STATION_MAP.fill(1);
  s.forcing.N_TEMP_ST = 1;
  s.forcing.TEMP_XY(1, 1) = x;
  s.forcing.TEMP_XY(2, 1) = y;
  s.forcing.TEMP_STATION_MAP.fill(1);
}

// Usual month lengths and monthly evapotranspiration factors a and b.
inline void usual_months(ModelState& s, float et_a, float et_b) {
  const int32_t days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (int32_t m = 1; m <= 12; ++m) {
    s.forcing.DAYS_IN_MONTH(m) = days[m - 1];
    s.forcing.ET_MONTH_A(m) = et_a;
    s.forcing.ET_MONTH_B(m) = et_b;
  }
}

// A single cross-section at (i, j).
inline void one_section(ModelState& s, int32_t i, int32_t j) {
  s.catchment.N_SECTIONS = 1;
  s.catchment.SECTION_I(1) = i;
  s.catchment.SECTION_J(1) = j;
}

}  // namespace tarvex::test

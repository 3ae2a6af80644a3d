#pragma once
// Small in-memory model states for the simulation tests.
#include <cstdint>
#include <cstring>
#include <memory>

#include "support/grid_reference.hpp"
#include "simulation/continuous.hpp"
#include "support/small_state.hpp"

namespace tarvex::test {

// NI x NJ catchment, every cell active, one rain gauge and one temperature
// station at cell (1, 1), hourly records and steps, no evapotranspiration,
// no paths (routing moves nothing), usual month lengths.
inline std::unique_ptr<ModelState> sim_state(int32_t ni, int32_t nj) {
  auto s = small_state(ni, nj);
  s->forcing.N_DATA = 1;
  s->plan_steps();
  s->catchment.SLOPE.fill(0.01f);
  s->run.CUM_RAIN.fill(0.0f);
  s->catchment.SOIL_CAPACITY.fill(100.0f);
  s->params.IA_RATIO = 0.2f;
  s->params.F_SUB_CAP = 1.0f;
  s->params.TAU_SUB = 86400.0f;
  s->forcing.INTERP_METHOD = 1;
  one_station(*s, 1.0f, 1.0f);
  usual_months(*s, 1.0f, 1.0f);
  s->forcing.START_MONTH = 1;
  s->forcing.START_DOY = 1.0f;
  return s;
}

// A row of three hillslope cells draining east into the cross-section and
// outlet cell (1, 4), one path through them, routing parameters set.
inline std::unique_ptr<ModelState> routed_row() {
  auto s = sim_state(1, 4);
  set_routing(*s);
  s->catchment.OUTLET_I = 1;
  s->catchment.OUTLET_J = 4;
  for (int32_t j = 1; j <= 4; ++j) {
    s->catchment.FLOW_DIR(1, j) = 6;
    s->catchment.AREA_CELLS(1, j) = j;
  }
  s->catchment.SLOPE(1, 4) = -1.0f;
  add_path(*s, 1, 1, 1, 4);
  one_section(*s, 1, 4);
  return s;
}

// A sim_state with the work grids of CONTINUOUS, stepped one record at a time.
struct ContinuousCells {
  std::unique_ptr<ModelState> s;
  Grid<float> runoff;
  Grid<int32_t> map_step, tmap_step;
  Grid<float> w_step;
  ContinuousCells(int32_t ni, int32_t nj) : s(sim_state(ni, nj)) {
    runoff.resize(ni, nj);
    map_step.resize(ni, nj);
    tmap_step.resize(ni, nj);
    w_step.resize(4 * ni, nj);
  }
  void step(int32_t n, int32_t month = 1) {
    reference::CONTINUOUS(*s, n, month, 0, 0, tmap_step, runoff, map_step, w_step);
  }
};

inline uint32_t bits(float v) {
  uint32_t u;
  std::memcpy(&u, &v, sizeof u);
  return u;
}

}  // namespace tarvex::test

#pragma once
// A loaded model state of a small catchment, built in memory: one row of
// four cells draining east to the outlet cell (1,4), one rain gauge and one
// temperature station, N_DATA hourly records with a storm in the middle.
#include <array>
#include <cstdint>

#include "support/small_state.hpp"

namespace tarvex::test {

inline void build_small_catchment(ModelState& s, int32_t n_data, float dt_sim) {
  s = *small_state(1, 4, 4);
  s.forcing.N_DATA = n_data;
  s.params.DT_SIM = dt_sim;
  s.plan_steps();
  s.params.NCLASS = 1;
  s.params.WD_CHAN = 10.0f;
  s.params.KS_CHAN_TOP = 30.0f;
  s.params.KS_CHAN_OUT = 25.0f;
  s.params.W_SUB = 100.0f;
  s.catchment.OUTLET_I = 1;
  s.catchment.OUTLET_J = 4;
  s.forcing.INTERP_METHOD = 1;
  one_section(s, 1, 4);
  s.forcing.START_DAY = 1;
  s.forcing.START_MONTH = 1;
  s.forcing.START_YEAR = 2000;
  s.forcing.START_DOY = 1.0f;

  for (int32_t j = 1; j <= s.catchment.NJ; ++j) {
    s.catchment.FLOW_DIR(1, j) = j < s.catchment.NJ ? 6 : 0;
    s.catchment.AREA_CELLS(1, j) = j;
    s.catchment.ELEVATION(1, j) = 400.0f - 10.0f * static_cast<float>(j);
    s.catchment.SLOPE(1, j) = 0.05f;
    s.catchment.ROUGH_CLASS(1, j) = 1;
    s.catchment.SOIL_CAPACITY(1, j) = 40.0f;
    s.run.CUM_RAIN(1, j) = 0.0f;
  }
  add_path(s, 1, 1, 1, 4);
  one_station(s, 1.0f, 2.0f);
  s.forcing.TEMP_Z(1) = 380.0f;
  for (int32_t n = 1; n <= n_data; ++n) {
    const bool storm = n > n_data / 4 && n <= n_data / 2;
    s.forcing.RAIN_DATA(n, 1) = storm ? 4.0f + static_cast<float>(n % 3) : 0.0f;
    s.forcing.TEMP_DATA(n, 1) = 8.0f + static_cast<float>(n % 24) * 0.25f;
  }
  usual_months(s, 1.0f, 0.5f);
  s.forcing.ET_SLOPE = 2.0f;
  s.forcing.ET_OFFSET = 1.0f;
}

// Parameters for the catchment above: A_CHANNEL (cells 3 and 4 are channel
// cells), WD_HILL, KS_CLASS 1 to 3, K_SUB, TAU_SUB, F_SUB_CAP, IA_RATIO.
inline constexpr std::array<double, 9> kSmallParams = {0.025, 5.0, 10.0, 12.0, 14.0, 0.02, 36000.0, 2.0, 0.2};

}  // namespace tarvex::test

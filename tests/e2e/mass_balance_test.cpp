// Water balance of a continuous run on the committed small catchment: the
// rain that falls equals what the cells release as surface runoff and
// subsurface outflow plus what they still store, and what reaches the outlet
// equals what the cells release, up to the small imbalance of the
// variable-coefficient routing.
#include <gtest/gtest.h>

#include <memory>

#include "driver/read_param.hpp"
#include "routing/routing.hpp"
#include "simulation/check_temp.hpp"
#include "simulation/continuous.hpp"
#include "simulation/gauge_check.hpp"
#include "simulation/initial_value.hpp"
#include "simulation/run_steps.hpp"
#include "simulation/simulation_run.hpp"
#include "simulation/step_shift.hpp"
#include "simulation/update_day.hpp"
#include "support/testkit.hpp"

namespace tarvex {
namespace {

struct Volumes {
  double rain = 0.0;      // m3 fallen on the catchment
  double released = 0.0;  // m3 of surface runoff and subsurface outflow
  double stored = 0.0;    // m3 in the soil and subsurface stores at the end
  double outlet = 0.0;    // m3 arrived at the outlet cell
};

// Loads the small set with evapotranspiration off, the outlet as the only
// cross-section, then steps the continuous run by hand, adding up volumes.
Volumes run_balance(std::unique_ptr<ModelState>& s, float cn_scale) {
  test::TempDir d;
  test::copy_dir(test::test_data_dir() / "small", d.path());
  test::ChangeDir cd(d.path());
  s = std::make_unique<ModelState>();
  s->RUN_MODE = 3;
  test::capture_stdout([&] { READ_PARAM(*s, test::control(3)); });
  s->ET_SLOPE = 0.0f;
  s->ET_OFFSET = 0.0f;
  if (cn_scale > 0.0f) s->SOIL_CAPACITY.fill(cn_scale);

  const double cell = static_cast<double>(s->CELL_DX) * s->CELL_DY;  // m2
  const int32_t oi = s->IFIN(s->NPATH), oj = s->JFIN(s->NPATH);
  RunTables& t = s->single_run;
  t.resize(s->NI, s->NJ);
  INITIAL_VALUE(*s);
  Calendar cal{0.0f, s->START_DOY, s->START_MONTH, 0};
  int32_t MISS_FLAG = 0, NMISS = 0, TMISS_FLAG = 0;
  MissList miss, tmiss;
  Volumes v;
  const int32_t NSTEPS = RUN_STEP_COUNT(*s, RunKind::single);
  for (int32_t IT = 1; IT <= NSTEPS; ++IT) {
    const int32_t N = RUN_RECORD_OF_STEP(*s, RunKind::single, IT);
    RAIN_GAUGE_CHECK(*s, N, MISS_FLAG, NMISS, miss, t);
    t.STEP_RUNOFF.fill(0.0f);
    CHECK_TEMP(*s, N, TMISS_FLAG, t.TEMP_STATION_MAP_STEP, tmiss);
    CONTINUOUS(*s, N, cal.MONTH, MISS_FLAG, TMISS_FLAG, t.TEMP_STATION_MAP_STEP, t.STEP_RUNOFF,
               t.RAIN_STATION_MAP_STEP, t.RAIN_WEIGHT_STEP);
    UPDATE_DAY(*s, cal);
    for (int32_t i = 1; i <= s->NI; ++i) {
      for (int32_t j = 1; j <= s->NJ; ++j) {
        if (!(s->SLOPE(i, j) > 0.0f)) continue;
        v.released += t.STEP_RUNOFF(i, j) / 1000.0 * cell + static_cast<double>(s->SUB_FLOW(i, j)) * s->DT_SIM;
      }
    }
    ROUTING(*s, t.STEP_RUNOFF);
    v.outlet += (static_cast<double>(s->QIN_SUP(oi, oj)) + s->QIN_SUB(oi, oj)) * s->DT_SIM;
    STEP_SHIFT(*s);
  }
  // Drain the network: no more runoff or subsurface release, route until
  // nothing arrives any more.
  Grid<float> dry;
  dry.resize(s->NI, s->NJ);
  Grid<float> sub_flow = s->SUB_FLOW;
  s->SUB_FLOW.fill(0.0f);
  for (int32_t k = 0; k < 200000; ++k) {
    ROUTING(*s, dry);
    const double q = static_cast<double>(s->QIN_SUP(oi, oj)) + s->QIN_SUB(oi, oj);
    v.outlet += q * s->DT_SIM;
    STEP_SHIFT(*s);
    if (q < 1e-9 && k > 1000) break;
  }
  s->SUB_FLOW = sub_flow;
  for (int32_t i = 1; i <= s->NI; ++i) {
    for (int32_t j = 1; j <= s->NJ; ++j) {
      if (!(s->SLOPE(i, j) > 0.0f)) continue;
      v.rain += s->CUM_RAIN(i, j) / 1000.0 * cell;
      v.stored += (static_cast<double>(s->SOIL_WATER(i, j)) + s->SUB_STORE(i, j)) / 1000.0 * cell;
    }
  }
  return v;
}

// What fell is released or stored; routing, once the network has drained,
// delivers what was released, up to the imbalance of the variable
// coefficients.
void expect_balance(float cn_scale) {
  std::unique_ptr<ModelState> s;
  const Volumes v = run_balance(s, cn_scale);
  ASSERT_GT(v.rain, 100.0);
  EXPECT_NEAR(v.released + v.stored, v.rain, 1e-4 * v.rain);
  EXPECT_NEAR(v.outlet, v.released, 0.01 * v.released);
}

TEST(MassBalance, ContinuousRunOfTheSmallCatchment) { expect_balance(0.0f); }

TEST(MassBalance, CurveNumber100EverywhereCreatesNoWater) { expect_balance(0.0001f); }

}  // namespace
}  // namespace tarvex

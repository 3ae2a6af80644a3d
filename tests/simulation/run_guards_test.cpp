// Guards of the run driver against inputs the loading cannot see in full:
// steps past the last record, discharges that are not numbers.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "io/input_error.hpp"
#include "sim_state.hpp"
#include "simulation/run_steps.hpp"
#include "simulation/simulation_run.hpp"

namespace tarvex {
namespace {

using test::small_state;

TEST(RunSteps, LastStepsOfALongSeriesWithVeryShortStepsStayOnTheLastRecord) {
  auto s = small_state(1, 1);
  s->N_DATA = 40000;
  s->DT_SIM = 10.0f;  // 360 steps per record
  const int32_t last = RUN_STEP_COUNT(*s, RunKind::single);
  ASSERT_EQ(last, 14400000);
  for (RunKind kind : {RunKind::single, RunKind::objective}) {
    // In 4-byte reals (IT-1)*DT_SIM/DT_RAIN+1 reaches 40001 for the last steps.
    EXPECT_EQ(RUN_RECORD_OF_STEP(*s, kind, last), 40000);
    EXPECT_EQ(RUN_RECORD_OF_STEP(*s, kind, last - 7), 40000);
    EXPECT_EQ(RUN_RECORD_OF_STEP(*s, kind, 361), 2);
  }
}

// A row of three hillslope cells draining east into the cross-section (1, 4).
std::unique_ptr<ModelState> routed_row() {
  auto s = small_state(1, 4);
  s->RUN_MODE = 3;
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
  s->N_DATA = 4;
  for (int32_t n = 1; n <= 4; ++n) s->RAIN_DATA(n, 1) = 50.0f;
  return s;
}

TEST(RunSimulation, ADischargeThatIsNotANumberEndsTheRunNamingTheStep) {
  auto s = routed_row();
  EXPECT_EQ(RUN_SIMULATION(*s, s->objective_run, RunKind::objective), 4);
  for (int32_t k = 1; k <= 4; ++k) EXPECT_TRUE(std::isfinite(s->Q_SECTION(k, 1)));

  // A width-to-depth ratio that the loading would refuse: the hillslope
  // section degenerates and the routing coefficients are not numbers.
  s->WD_HILL = 1.0e-45f;
  try {
    RUN_SIMULATION(*s, s->objective_run, RunKind::objective);
    FAIL() << "a run with a discharge that is not a number was accepted";
  } catch (const InputError& e) {
    const std::string what = e.what();
    EXPECT_NE(what.find("simulation step "), std::string::npos) << what;
    EXPECT_NE(what.find("(1, 4)"), std::string::npos) << what;
  }
}

}  // namespace
}  // namespace tarvex

// Guards of the run driver against inputs the loading cannot see in full:
// steps past the last record, discharges that are not numbers.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "io/input_error.hpp"
#include "sim_state.hpp"
#include "simulation/run_steps.hpp"
#include "simulation/simulation_run.hpp"
#include "support/testkit.hpp"

namespace tarvex {
namespace {

using test::sim_state;

TEST(RunSteps, LastStepsOfALongSeriesWithVeryShortStepsStayOnTheLastRecord) {
  auto s = sim_state(1, 1);
  s->forcing.N_DATA = 40000;
  s->params.DT_SIM = 10.0f;  // 360 steps per record
  s->plan_steps();
  const int32_t last = RUN_STEP_COUNT(s->params.step_plan, RunKind::single);
  ASSERT_EQ(last, 14400000);
  for (RunKind kind : {RunKind::single, RunKind::objective}) {
    // In 4-byte reals (IT-1)*DT_SIM/DT_RAIN+1 reaches 40001 for the last steps.
    EXPECT_EQ(RUN_RECORD_OF_STEP(s->params.step_plan, kind, last), 40000);
    EXPECT_EQ(RUN_RECORD_OF_STEP(s->params.step_plan, kind, last - 7), 40000);
    EXPECT_EQ(RUN_RECORD_OF_STEP(s->params.step_plan, kind, 361), 2);
  }
}

// The routed row with four wet hours.
std::unique_ptr<ModelState> wet_row() {
  auto s = test::routed_row();
  s->forcing.N_DATA = 4;
  s->plan_steps();
  for (int32_t n = 1; n <= 4; ++n) s->forcing.RAIN_DATA(n, 1) = 50.0f;
  return s;
}

TEST(RunSimulation, ADischargeThatIsNotANumberEndsTheRunNamingTheStep) {
  auto s = wet_row();
  EXPECT_EQ(RUN_SIMULATION(*s, s->run.objective_run, RunKind::objective), 4);
  for (int32_t k = 1; k <= 4; ++k) EXPECT_TRUE(std::isfinite(s->results.Q_SECTION(k, 1)));

  // A width-to-depth ratio that the loading would refuse: the hillslope
  // section degenerates and the routing coefficients are not numbers.
  s->params.WD_HILL = 1.0e-45f;
  // A discharge that is not a number ends the run.
  test::expect_input_error([&] { RUN_SIMULATION(*s, s->run.objective_run, RunKind::objective); },
                           {"simulation step ", "(1, 4)"});
}

// Steps run in blocks: an overflow at the third step still ends the run
// there, after the two steps before it were recorded.
TEST(RunSimulation, AnOverflowEndsTheRunAtItsStep) {
  auto s = wet_row();
  s->forcing.RAIN_DATA(3, 1) = 3.0e38f;
  test::expect_input_error([&] { RUN_SIMULATION(*s, s->run.objective_run, RunKind::objective); },
                           {"simulation step 3 (record 3)", "(1, 4)"});
  EXPECT_TRUE(std::isfinite(s->results.Q_SECTION(2, 1)));
}

}  // namespace
}  // namespace tarvex

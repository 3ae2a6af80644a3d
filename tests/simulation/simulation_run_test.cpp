// The run driver: step count and record of each step, progress reports,
// calendar, re-weighting at records with a missing gauge, the refusal of
// runs the discharge series cannot hold.
#include <gtest/gtest.h>

#include <string>

#include "io/input_error.hpp"
#include "sim_state.hpp"
#include "simulation/manual_calibration.hpp"
#include "simulation/run_steps.hpp"
#include "simulation/simulation_run.hpp"
#include "support/testkit.hpp"

namespace tarvex {
namespace {

using test::capture_stdout;
using test::ChangeDir;
using test::sim_state;
using test::TempDir;

TEST(RunSteps, CountAndRecordOfEachStep) {
  auto s = sim_state(1, 1);
  s->forcing.N_DATA = 100;
  s->params.DT_SIM = 900.0f;
  s->plan_steps();
  for (RunKind kind : {RunKind::single, RunKind::objective}) {
    EXPECT_EQ(RUN_STEP_COUNT(s->params.step_plan, kind), 400);
    for (int32_t it = 1; it <= 4; ++it) EXPECT_EQ(RUN_RECORD_OF_STEP(s->params.step_plan, kind, it), 1);
    EXPECT_EQ(RUN_RECORD_OF_STEP(s->params.step_plan, kind, 5), 2);
    EXPECT_EQ(RUN_RECORD_OF_STEP(s->params.step_plan, kind, 400), 100);
  }
}

TEST(RunSteps, EachDriverKeepsItsOwnGrouping) {
  auto s = sim_state(1, 1);
  s->forcing.N_DATA = 3;
  s->params.DT_SIM = 3600.0f / 31.0f;
  s->plan_steps();
  EXPECT_EQ(RUN_STEP_COUNT(s->params.step_plan, RunKind::single), 92);     // 3*(DT_RAIN/DT_SIM) = 92.99999
  EXPECT_EQ(RUN_STEP_COUNT(s->params.step_plan, RunKind::objective), 93);  // 3*DT_RAIN/DT_SIM = 93
  s->params.DT_SIM = 3600.0f / 7.0f;
  s->forcing.N_DATA = 10;  // step 22 lies inside the series
  s->plan_steps();
  EXPECT_EQ(RUN_RECORD_OF_STEP(s->params.step_plan, RunKind::single, 22), 3);
  EXPECT_EQ(RUN_RECORD_OF_STEP(s->params.step_plan, RunKind::objective, 22), 4);
}

TEST(SingleRun, RecordsEveryStepAndLeavesTheLastProgressRecord) {
  TempDir dir;
  ChangeDir cd(dir.path());
  dir.write("timestep.out", " an older and much longer progress record of another run\nsecond line\n");
  auto s = sim_state(1, 1);
  s->forcing.N_DATA = 100;
  s->params.DT_SIM = 900.0f;
  s->plan_steps();
  test::one_section(*s, 1, 1);
  s->forcing.RAIN_DATA(1, 1) = 4.0f;
  s->forcing.RAIN_DATA(2, 1) = 8.0f;
  int32_t NOUT = -1;
  std::string out = capture_stdout([&] { NOUT = MANUAL_CALIBRATION(*s); });
  EXPECT_EQ(NOUT, 400);
  EXPECT_EQ(out, "");
  EXPECT_EQ(dir.read("timestep.out"), " Completed time step 400 / 400\n");
  EXPECT_EQ(s->run.CUM_RAIN(1, 1), 12.0f);
  EXPECT_EQ(s->run.single_run.STEP_RUNOFF.rows(), 1);  // sized by the run

  s->catchment.N_SECTIONS = 0;
  capture_stdout([&] { NOUT = MANUAL_CALIBRATION(*s); });
  EXPECT_EQ(NOUT, 0);
}

TEST(SingleRun, AnnouncesEachYearAfterItsLastStep) {
  TempDir dir;
  ChangeDir cd(dir.path());
  auto s = sim_state(1, 1);
  s->forcing.N_DATA = 8759;
  s->plan_steps();
  int32_t NOUT = 0;
  EXPECT_EQ(capture_stdout([&] { NOUT = MANUAL_CALIBRATION(*s); }), "");
  s->forcing.N_DATA = 2 * 8760;
  s->plan_steps();
  EXPECT_EQ(capture_stdout([&] { NOUT = MANUAL_CALIBRATION(*s); }), " Year 1 completed\n Year 2 completed\n");
  s->forcing.N_DATA = 8760;
  s->params.DT_SIM = 1800.0f;  // 17520 steps make the year
  s->plan_steps();
  EXPECT_EQ(capture_stdout([&] { NOUT = MANUAL_CALIBRATION(*s); }), " Year 1 completed\n");
}

TEST(SingleRun, EventModeKeepsTheCalendarContinuousModeAdvancesIt) {
  TempDir dir;
  ChangeDir cd(dir.path());
  auto s = sim_state(1, 1);
  s->forcing.N_DATA = 48;
  s->plan_steps();
  s->forcing.START_MONTH = 5;
  s->forcing.START_DOY = 150.0f;
  Calendar cal;
  s->control.RUN_MODE = 2;
  RUN_SIMULATION(*s, s->run.single_run, RunKind::single, cal);
  EXPECT_EQ(cal.HOUR, 0.0f);
  EXPECT_EQ(cal.DAY, 150.0f);
  EXPECT_EQ(cal.MONTH, 5);

  s->control.RUN_MODE = 3;
  RUN_SIMULATION(*s, s->run.single_run, RunKind::single, cal);
  EXPECT_EQ(cal.DAY, 152.0f);
  EXPECT_EQ(cal.MONTH, 6);
}

TEST(ObjectiveRun, IsSilentContinuousAndCountsEveryStep) {
  TempDir dir;
  ChangeDir cd(dir.path());
  auto s = sim_state(1, 1);
  s->control.RUN_MODE = 2;  // ignored: the objective run is always continuous
  s->forcing.N_DATA = 8760;
  s->plan_steps();
  s->forcing.START_DOY = 1.0f;
  s->forcing.START_MONTH = 1;
  Calendar cal;
  int32_t NOUT = 0;
  EXPECT_EQ(capture_stdout([&] { NOUT = RUN_SIMULATION(*s, s->run.objective_run, RunKind::objective, cal); }), "");
  EXPECT_EQ(NOUT, 8760);  // also without a cross-section
  EXPECT_FALSE(dir.exists("timestep.out"));
  EXPECT_EQ(cal.DAY, 1.0f);  // 365 days later
  EXPECT_EQ(cal.MONTH, 1);
}

TEST(RunSimulation, RefusesARunLongerThanTheDischargeSeries) {
  TempDir dir;
  ChangeDir cd(dir.path());
  auto s = sim_state(1, 1);
  s->forcing.N_DATA = 40000;
  s->params.DT_SIM = 1800.0f;  // 80000 steps
  s->plan_steps();
  test::one_section(*s, 1, 1);
  s->run.SOIL_WATER(1, 1) = 7.0f;
  int32_t NOUT = -1;
  test::expect_input_error([&] { NOUT = MANUAL_CALIBRATION(*s); }, {"80000", "40000"});
  EXPECT_EQ(s->run.SOIL_WATER(1, 1), 7.0f);  // refused before the run started
  EXPECT_FALSE(dir.exists("timestep.out"));
  EXPECT_THROW(RUN_SIMULATION(*s, s->run.objective_run, RunKind::objective), InputError);

  // Exactly 40000 steps fit; without a cross-section nothing is recorded.
  s->forcing.N_DATA = 20000;
  s->plan_steps();
  EXPECT_EQ(RUN_SIMULATION(*s, s->run.objective_run, RunKind::objective), 40000);
  s->forcing.N_DATA = 40000;
  s->plan_steps();
  s->catchment.N_SECTIONS = 0;
  EXPECT_EQ(RUN_SIMULATION(*s, s->run.objective_run, RunKind::objective), 80000);
}

// Two gauges on a 1 x 2 catchment, each on one cell; gauge 2 is missing at
// record 2 only.
std::unique_ptr<ModelState> two_gauges(int32_t interp) {
  auto s = sim_state(1, 2);
  s->control.RUN_MODE = 2;
  s->forcing.N_DATA = 3;
  s->plan_steps();
  s->forcing.INTERP_METHOD = interp;
  s->forcing.N_RAIN_ST = 2;
  s->forcing.RAIN_XY(1, 2) = 1.0f;
  s->forcing.RAIN_XY(2, 2) = 2.0f;
  s->forcing.RAIN_STATION_MAP(1, 2) = 2;
  s->forcing.RAIN_WEIGHT(1, 1) = 1.0f;  // gauge 1 at (1, 1)
  s->forcing.RAIN_WEIGHT(2, 2) = 1.0f;  // gauge 2 at (1, 2)
  const float g1[3] = {1.0f, 2.0f, 4.0f};
  const float g2[3] = {10.0f, -1.0f, 30.0f};
  for (int32_t n = 1; n <= 3; ++n) {
    s->forcing.RAIN_DATA(n, 1) = g1[n - 1];
    s->forcing.RAIN_DATA(n, 2) = g2[n - 1];
  }
  s->forcing.RAIN_MISSING(2, 2) = 1;
  return s;
}

TEST(RunSimulation, ReweightsGaugesOnlyAtRecordsWithAMissingGauge) {
  TempDir dir;
  ChangeDir cd(dir.path());
  for (int32_t interp : {1, 2}) {
    auto s = two_gauges(interp);
    // Stale step tables that would be wrong at every record.
    s->run.single_run.resize(1, 2);
    s->run.single_run.RAIN_STATION_MAP_STEP.fill(2);
    s->run.single_run.RAIN_WEIGHT_STEP.fill(0.0f);
    s->run.single_run.RAIN_WEIGHT_STEP(2, 1) = 1.0f;
    s->run.single_run.RAIN_WEIGHT_STEP(2, 2) = 1.0f;
    MANUAL_CALIBRATION(*s);
    EXPECT_EQ(s->run.CUM_RAIN(1, 1), 7.0f) << interp;
    EXPECT_EQ(s->run.CUM_RAIN(1, 2), 42.0f) << interp;  // gauge 1's 2 mm at record 2
  }
}

TEST(RunSimulation, EveryRunStartsDryButRainKeepsAccumulating) {
  TempDir dir;
  ChangeDir cd(dir.path());
  auto s = sim_state(1, 1);
  s->forcing.N_DATA = 5;
  s->plan_steps();
  s->catchment.SOIL_CAPACITY.fill(10.0f);
  for (int32_t n = 1; n <= 5; ++n) s->forcing.RAIN_DATA(n, 1) = 3.0f;
  RUN_SIMULATION(*s, s->run.objective_run, RunKind::objective);
  const float soil = s->run.SOIL_WATER(1, 1);
  const float sub = s->run.SUB_STORE(1, 1);
  RUN_SIMULATION(*s, s->run.objective_run, RunKind::objective);
  EXPECT_EQ(s->run.SOIL_WATER(1, 1), soil);
  EXPECT_EQ(s->run.SUB_STORE(1, 1), sub);
  EXPECT_EQ(s->run.CUM_RAIN(1, 1), 30.0f);
}

}  // namespace
}  // namespace tarvex

namespace tarvex {
namespace {

// A row of three CN = 100 hillslope cells draining east into the outlet
// cell (1, 4), the cross-section; ten wet hours, then the run drains.
std::unique_ptr<ModelState> stiff_row() {
  auto s = test::routed_row();
  s->catchment.SOIL_CAPACITY.fill(0.0001f);
  s->params.F_SUB_CAP = 2.0f;
  s->params.TAU_SUB = 18000.0f;
  s->forcing.N_DATA = 300;
  s->plan_steps();
  for (int32_t n = 1; n <= 10; ++n) s->forcing.RAIN_DATA(n, 1) = 2.0f;
  return s;
}

TEST(RunSimulation, CurveNumber100CellsReleaseNoMoreThanTheirRain) {
  auto s = stiff_row();
  const int32_t NOUT = RUN_SIMULATION(*s, s->run.objective_run, RunKind::objective);
  ASSERT_EQ(NOUT, 300);
  double outlet = 0.0, surface = 0.0;
  for (int32_t k = 1; k <= NOUT; ++k) {
    EXPECT_LE(s->results.Q_SECTION_SURF(k, 1), s->results.Q_SECTION(k, 1));
    outlet += s->results.Q_SECTION(k, 1) * 3600.0;  // m3
    surface += s->results.Q_SECTION_SURF(k, 1) * 3600.0;
  }
  const double rain = 3.0 * 10.0 * 2.0 / 1000.0 * 100.0 * 100.0;  // m3 on the three cells
  EXPECT_GT(surface, 0.0);
  // The production conserves water exactly (see the stiff-cell tests); the
  // variable-parameter routing moves the volume only approximately (a few
  // per cent here). The explicit stages would send out about nine times the
  // rain.
  EXPECT_LE(outlet, rain * 1.1);
  EXPECT_GE(outlet, rain * 0.9);  // nearly all of it has left after 290 dry hours
}

}  // namespace
}  // namespace tarvex

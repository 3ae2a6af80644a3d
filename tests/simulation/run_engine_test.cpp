// The run engine against the grid functions it replaces in the time loop:
// same discharge bits, same grids at the end of a run, for every thread
// count and with the coefficient reuse on or off.
#include "simulation/run_engine.hpp"
#include "support/grid_reference.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "bench/synthetic_catchment.hpp"
#include "routing/muskingum_batch.hpp"
#include "routing/powf_batch.hpp"
#include "simulation/station_weights.hpp"
#include "simulation/initial_value.hpp"
#include "support/testkit.hpp"

namespace tarvex {
namespace {

// Outlet series of the benchmark catchment (--size=60 --records=200) as the
// grid functions computed them before the engine existed.
constexpr uint64_t kContinuousHash = 0xfb79ab1b4165f0fdull;
constexpr uint64_t kEventHash = 0xd0a350f937ac2db0ull;

// Engine options under which threads engage on small catchments.
EngineOptions small_catchment_options() {
  EngineOptions o;
  o.cells_per_thread = 64;
  return o;
}

uint64_t run_hash(ModelState& s, bool event, const EngineOptions& opt) {
  s.control.RUN_MODE = event ? 2 : 4;
  int32_t n = 0;
  if (event) {
    test::capture_stdout([&] { n = RUN_SIMULATION(s, s.run.single_run, RunKind::single, opt); });
  } else {
    n = RUN_SIMULATION(s, s.run.objective_run, RunKind::objective, opt);
  }
  return synthetic::discharge_hash(s, n);
}

TEST(RunEngine, BenchmarkCatchmentKeepsItsDischargeBits) {
  test::TempDir d;  // the event run writes its progress file
  test::ChangeDir cd(d.path());
  auto c = synthetic::build_catchment(60, 200);
  for (int32_t jobs : {1, 2, 5}) {
    // Vector lanes; one cell at a time; no reuse; tiles of 40 cells, blocks
    // of 5 steps.
    for (int32_t way : {0, 1, 2, 3}) {
      c.s->control.RUN_JOBS = jobs;
      EngineOptions opt = small_catchment_options();
      opt.tile_cells = way == 3 ? 40 : 8192;
      opt.block_steps = way == 3 ? 5 : 64;
      opt.lanes = way == 0;
      opt.dry_reuse = way != 2;
      EXPECT_EQ(run_hash(*c.s, false, opt), kContinuousHash) << jobs << " threads, way " << way;
      EXPECT_EQ(run_hash(*c.s, true, opt), kEventHash) << jobs << " threads, way " << way;
    }
  }
}

bool same_bits(const Grid<float>& a, const Grid<float>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// Every grid a run writes, and the step runoff, bit for bit.
void expect_same_grids(const ModelState& x, const ModelState& y, const RunTables& tx, const RunTables& ty,
                       const std::string& what) {
  const Grid<float> RunState::*grids[] = {
      &RunState::CUM_RAIN,    &RunState::EVENT_RAIN,   &RunState::INFILTRATION, &RunState::SOIL_WATER,
      &RunState::SUB_STORE,   &RunState::ET_DEFICIT,   &RunState::SUB_FLOW,     &RunState::CELL_TEMP,
      &RunState::CELL_ET,     &RunState::C1_SUP,       &RunState::C2_SUP,       &RunState::C3_SUP,
      &RunState::C4_SUP,      &RunState::C1_SUB,       &RunState::C2_SUB,       &RunState::C3_SUB,
      &RunState::C4_SUB,      &RunState::QIN_SUP,      &RunState::QOUT_SUP,     &RunState::QIN_SUB,
      &RunState::QOUT_SUB,    &RunState::QIN_SUP_OLD,  &RunState::QOUT_SUP_OLD, &RunState::QIN_SUB_OLD,
      &RunState::QOUT_SUB_OLD};
  for (std::size_t k = 0; k < std::size(grids); ++k) {
    EXPECT_TRUE(same_bits(x.run.*grids[k], y.run.*grids[k])) << "grid " << k << ", " << what;
  }
  EXPECT_TRUE(same_bits(tx.STEP_RUNOFF, ty.STEP_RUNOFF)) << what;
}

// A run on the grid functions alone; the steps recorded.
int32_t grid_function_run(ModelState& s, RunTables& t, RunKind kind) {
  return reference::reference_run(s, t, kind);
}

// A second temperature station in the north-west corner, 200 m higher and
// 1.5 degrees colder, missing at records 90 and 91.
void add_temperature_station(ModelState& s) {
  const decltype(s.forcing.TEMP_DATA) data = s.forcing.TEMP_DATA;
  const decltype(s.forcing.TEMP_XY) xy = s.forcing.TEMP_XY;
  const float z = s.forcing.TEMP_Z(1);
  s.control.limits = kNoLimits;  // one station at most otherwise
  s.forcing.N_TEMP_ST = 2;
  s.forcing.TEMP_XY.resize(2, 2);
  s.forcing.TEMP_Z.v.assign(2, z);
  s.forcing.TEMP_DATA.resize(s.forcing.N_DATA, 2);
  s.forcing.TEMP_MISSING.resize(s.forcing.N_DATA, 2);
  s.forcing.TEMP_XY(1, 1) = xy(1, 1);
  s.forcing.TEMP_XY(2, 1) = xy(2, 1);
  s.forcing.TEMP_XY(1, 2) = 1.0f;
  s.forcing.TEMP_XY(2, 2) = 1.0f;
  s.forcing.TEMP_Z(2) = z + 200.0f;
  for (int32_t n = 1; n <= s.forcing.N_DATA; ++n) {
    s.forcing.TEMP_DATA(n, 1) = data(n, 1);
    s.forcing.TEMP_DATA(n, 2) = data(n, 1) - 1.5f;
  }
  for (int32_t n : {90, 91}) {
    s.forcing.TEMP_MISSING(n, 2) = 1;
    s.forcing.TEMP_DATA(n, 2) = -999.0f;
  }
  nearest_station(s.catchment.NI, s.catchment.NJ, s.forcing.N_TEMP_ST, s.forcing.TEMP_XY, nullptr, s.forcing.TEMP_STATION_MAP, s.catchment.SLOPE);
}

// Every grid a run writes ends as the grid functions leave it, and the
// discharge of every step is theirs, for both methods and both
// interpolations, with gauges missing now and then; and a fast subsurface
// store whose heavy-rain steps are stiff on some cells. The engine runs in
// tiles of 50 cells and blocks of 10 steps, over a change of month. With
// the nearest-station interpolation a temperature station drops out and the
// continuous runs take two steps a record; with the weighted one the
// cross-section is a routed cell above the outlet.
TEST(RunEngine, LeavesEveryGridAsTheGridFunctions) {
  test::TempDir d;
  test::ChangeDir cd(d.path());
  EngineOptions opt = small_catchment_options();
  opt.tile_cells = 50;
  opt.block_steps = 10;
  for (int32_t mode : {2, 4, 5}) {
    for (int32_t interp : {1, 2}) {
      auto a = synthetic::build_catchment(40, 150);
      auto b = synthetic::build_catchment(40, 150);
      for (ModelState* s : {a.s.get(), b.s.get()}) {
        s->control.RUN_MODE = mode == 5 ? 4 : mode;
        if (mode == 5) s->params.TAU_SUB = 1300.0f;
        s->forcing.INTERP_METHOD = interp;
        s->control.RUN_JOBS = 3;
        s->forcing.START_MONTH = 7;  // July 26: August from step 145, inside the last block
        s->forcing.START_DAY = 26;
        s->forcing.START_DOY = 207.0f;
        for (int32_t n = 1; n <= s->forcing.N_DATA; ++n) {
          for (int32_t k = 1; k <= s->forcing.N_TEMP_ST; ++k) s->forcing.TEMP_DATA(n, k) += 15.0f;  // summer: evapotranspiration
        }
        for (int32_t n : {20, 21, 60}) s->forcing.RAIN_MISSING(n, 1 + n % 3) = 1;
        if (interp == 1 && mode != 2) {
          add_temperature_station(*s);
          s->params.DT_SIM = 1800.0f;
          s->plan_steps();
        }
        if (interp == 2) s->catchment.SECTION_I(1) = s->catchment.OUTLET_I - 1;
      }
      const RunKind kind = mode == 2 ? RunKind::single : RunKind::objective;
      RunTables& ta = mode == 2 ? a.s->run.single_run : a.s->run.objective_run;
      RunTables& tb = mode == 2 ? b.s->run.single_run : b.s->run.objective_run;
      int32_t n = 0;
      test::capture_stdout([&] { n = RUN_SIMULATION(*a.s, ta, kind, opt); });
      const std::string what = "mode " + std::to_string(mode) + ", interp " + std::to_string(interp);
      ASSERT_EQ(grid_function_run(*b.s, tb, kind), n) << what;
      expect_same_grids(*a.s, *b.s, ta, tb, what);
      for (int32_t k = 1; k <= n; ++k) {  // the discharge of every step
        const float qa[2] = {a.s->results.Q_SECTION(k, 1), a.s->results.Q_SECTION_SURF(k, 1)};
        const float qb[2] = {b.s->results.Q_SECTION(k, 1), b.s->results.Q_SECTION_SURF(k, 1)};
        ASSERT_EQ(std::memcmp(qa, qb, sizeof qa), 0) << what << ", step " << k;
      }
    }
  }
}

TEST(RunEngine, TakesMoreThanFourGaugesAndLeavesTheGridsAsTheGridFunctions) {
  test::TempDir d;
  test::ChangeDir cd(d.path());
  const EngineOptions opt = small_catchment_options();
  for (int32_t interp : {1, 2}) {
    auto a = synthetic::build_catchment(30, 120);
    auto b = synthetic::build_catchment(30, 120);
    for (ModelState* s : {a.s.get(), b.s.get()}) {
      synthetic::add_gauges(*s, 6);
      s->forcing.INTERP_METHOD = interp;
      s->control.RUN_JOBS = 2;
    }
    {
      RunTables t;
      t.resize(a.s->catchment.NI, a.s->catchment.NJ, a.s->weight_planes());
      INITIAL_VALUE(*a.s);
      RunEngine engine(opt);
      EXPECT_NO_THROW(engine.build(*a.s, t, RunKind::objective)) << "interp " << interp;
    }
    RUN_SIMULATION(*a.s, a.s->run.objective_run, RunKind::objective, opt);
    grid_function_run(*b.s, b.s->run.objective_run, RunKind::objective);
    expect_same_grids(*a.s, *b.s, a.s->run.objective_run, b.s->run.objective_run, "six gauges, interp " + std::to_string(interp));
  }
}

TEST(RunEngine, ThreadsFollowTheWork) {
  EXPECT_EQ(run_threads(1, 1000000), 1);
  EXPECT_EQ(run_threads(4, 1000000), 4);
  EXPECT_EQ(run_threads(8, 3 * 16384), 3);  // one thread per 16384 routed cells
  EXPECT_EQ(run_threads(8, 100), 1);
  EXPECT_EQ(run_threads(8, 100, 16), 6);  // a smaller minimum from the options
  EXPECT_GE(run_threads(0, 1000000), 1);
}

}  // namespace
}  // namespace tarvex

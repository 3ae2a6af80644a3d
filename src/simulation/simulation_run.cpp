#include "simulation/simulation_run.hpp"

#include <algorithm>
#include <cmath>
#include <new>
#include <string>
#include <vector>

#include "io/input_error.hpp"
#include "io/text_writer.hpp"
#include "simulation/check_temp.hpp"
#include "simulation/gauge_check.hpp"
#include "simulation/initial_value.hpp"
#include "io/progress_file.hpp"
#include "simulation/run_engine.hpp"
#include "simulation/run_steps.hpp"

namespace tarvex {

namespace {

// Prints "Year n completed" after the last step of every 8760 records.
void announce_year(const RunModel& s, int32_t IT, int32_t& YEAR) {
  const StepPlan& plan = s.params.step_plan;
  const float PY = plan.steps_per_record * 8760.0f;  // steps in 8760 records
  const int32_t Y = static_cast<int32_t>(static_cast<float>(IT) / PY);
  const float rest = static_cast<float>(IT) - static_cast<float>(Y * 8760) * plan.dt_record / plan.dt_step;
  if (static_cast<int32_t>(rest) == 0) {
    print_line(ListLine().text("Year ").num(YEAR).text(" completed").str());
    YEAR = YEAR + 1;
  }
}

// A discharge that is not a number, or beyond the range of 4-byte reals,
// would reach the result files unnoticed: the inputs are outside what the
// model can compute (the loading checks each value on its own, not every
// combination).
[[noreturn]] void refuse_overflow(const RunModel& s, int32_t IT, int32_t N, int32_t k, float q) {
  throw InputError("simulation step " + std::to_string(IT) + " (record " + std::to_string(N) +
                   "): the discharge at the output cross-section (" + std::to_string(s.catchment.SECTION_I(k)) + ", " +
                   std::to_string(s.catchment.SECTION_J(k)) + ") is " + shortest(q) +
                   "; the inputs lie outside the range the model can compute in 4-byte reals (check the "
                   "parameters, cell sizes, elevations and the rain and temperature series)");
}

}  // namespace

int32_t RUN_SIMULATION(const RunModel& s, RunTables& t, RunKind kind, const EngineOptions& options) {
  Calendar cal;
  return RUN_SIMULATION(s, t, kind, cal, options);
}

int32_t RUN_SIMULATION(const RunModel& s, RunTables& t, RunKind kind, Calendar& cal, const EngineOptions& options) {
  const bool single = kind == RunKind::single;
  const int32_t NSTEPS = RUN_STEP_COUNT(s.params.step_plan, kind);
  // The load refuses a step count the discharge series cannot hold; a state
  // that did not pass it stops here rather than overrun them.
  if (s.catchment.N_SECTIONS > 0 && NSTEPS > s.control.limits.records) {
    throw InputError("a run of " + std::to_string(NSTEPS) + " simulation steps over discharge series of " +
                     std::to_string(s.control.limits.records));
  }
  const bool event = single && s.control.RUN_MODE == 2;

  s.results.size_series(NSTEPS, s.control.limits);
  s.results.ET_STEP.clear();
  try {
    t.resize(s.catchment.NI, s.catchment.NJ, weight_planes(s.control.limits, s.forcing));
  } catch (const std::bad_alloc&) {
    throw InputError("the step tables of " + std::to_string(weight_planes(s.control.limits, s.forcing)) + " rain weight planes of " +
                     std::to_string(s.catchment.NI) + " x " + std::to_string(s.catchment.NJ) + " cells do not fit in memory");
  }
  INITIAL_VALUE(s);

  int32_t IOUT = 1;
  int32_t YEAR = 1;
  cal.HOUR = 0.0f;
  cal.MONTH = s.forcing.START_MONTH;
  cal.DAY = s.forcing.START_DOY;
  cal.DAY_STEPS = 0;

  int32_t MISS_FLAG = 0, NMISS = 0, TMISS_FLAG = 0;
  MissList MISSLIST, TMISSLIST;
  MISSLIST.size_to(s.forcing.N_RAIN_ST);
  TMISSLIST.size_to(s.forcing.N_TEMP_ST);
  ProgressFile progress;

  RunEngine engine(options);
  if (NSTEPS > 0) engine.build(s, t, kind);

  // The discharge at the cross-sections after step IT (record N).
  const auto record_step = [&](int32_t IT, int32_t N, const float* sup, const float* sub) {
    if (s.catchment.N_SECTIONS > 0) {
      for (int32_t k = 1; k <= s.catchment.N_SECTIONS; ++k) {
        s.results.Q_SECTION_SURF(IOUT, k) = sup[k - 1];
        s.results.Q_SECTION(IOUT, k) = sup[k - 1] + sub[k - 1];
        if (!std::isfinite(s.results.Q_SECTION(IOUT, k))) {
          engine.write_back(s, t);
          refuse_overflow(s, IT, N, k, s.results.Q_SECTION(IOUT, k));
        }
      }
      IOUT = IOUT + 1;
    }
    if (single) progress.write(IT, NSTEPS);
  };

  if (NSTEPS > 0) {
    // Blocks of steps in which no station is missing (a step with one runs
    // alone, after the check that builds its tables). The engine computes a
    // block at once; the steps are then announced, checked and recorded in
    // order, as if run one by one. A refusal names its step and leaves the
    // series and the calendar there; the grids written back then hold the
    // state at the end of the block (the run ends, nothing writes them).
    const int32_t K = engine.block_steps();
    const std::size_t ns = static_cast<std::size_t>(std::max(s.catchment.N_SECTIONS, 0));
    std::vector<StepInputs> block(static_cast<std::size_t>(K));
    std::vector<float> sup(ns * static_cast<std::size_t>(K)), sub(sup.size());
    const bool want_et = s.results.want_et && !event;
    std::vector<double> et(want_et ? static_cast<std::size_t>(K) : 0);
    s.results.ET_STEP.assign(want_et ? static_cast<std::size_t>(NSTEPS) : 0, 0.0);
    const auto any_missing = [](const auto& MISSING, int32_t N, int32_t stations) {
      for (int32_t k = 1; k <= stations; ++k) {
        if (MISSING(N, k) == 1) return true;
      }
      return false;
    };
    for (int32_t IT = 1; IT <= NSTEPS;) {
      Calendar ahead = cal;
      int32_t n = 0;
      while (n < K && IT + n <= NSTEPS) {
        const int32_t step = IT + n;
        const int32_t N = RUN_RECORD_OF_STEP(s.params.step_plan, kind, step);
        int32_t miss = 0, tmiss = 0;
        if (n == 0) {
          RAIN_GAUGE_CHECK(s, N, MISS_FLAG, NMISS, MISSLIST, t);
          if (!event) CHECK_TEMP(s, N, TMISS_FLAG, t.TEMP_STATION_MAP_STEP, TMISSLIST);
          miss = MISS_FLAG;
          tmiss = event ? 0 : TMISS_FLAG;
        } else if (any_missing(s.forcing.RAIN_MISSING, N, s.forcing.N_RAIN_ST) ||
                   (!event && any_missing(s.forcing.TEMP_MISSING, N, s.forcing.N_TEMP_ST))) {
          break;
        }
        block[static_cast<std::size_t>(n)] = StepInputs{N, ahead.MONTH, miss, tmiss, step == NSTEPS};
        if (!event) UPDATE_DAY(s, ahead);
        ++n;
        if (miss != 0 || tmiss != 0) break;
      }
      engine.run(s, t, block.data(), n, sup.data(), sub.data(), want_et ? et.data() : nullptr);
      for (int32_t j = 0; want_et && j < n; ++j) s.results.ET_STEP[static_cast<std::size_t>(IT - 1 + j)] = et[static_cast<std::size_t>(j)];
      for (int32_t j = 0; j < n; ++j, ++IT) {
        const int32_t N = block[static_cast<std::size_t>(j)].N;
        if (single) announce_year(s, IT, YEAR);
        if (j > 0) {
          // Nothing is missing: the checks only keep their lists current.
          RAIN_GAUGE_CHECK(s, N, MISS_FLAG, NMISS, MISSLIST, t);
          if (!event) CHECK_TEMP(s, N, TMISS_FLAG, t.TEMP_STATION_MAP_STEP, TMISSLIST);
        }
        if (!event) UPDATE_DAY(s, cal);
        record_step(IT, N, sup.data() + ns * static_cast<std::size_t>(j), sub.data() + ns * static_cast<std::size_t>(j));
      }
    }
    engine.write_back(s, t);
  }

  progress.close();
  return single ? IOUT - 1 : NSTEPS;
}

}  // namespace tarvex

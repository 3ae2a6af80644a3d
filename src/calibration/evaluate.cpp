#include "calibration/evaluate.hpp"

#include <string>
#include <vector>

#include "calibration/sce_settings.hpp"
#include "io/input_error.hpp"
#include "output/write_output.hpp"
#include "simulation/run_steps.hpp"
#include "simulation/simulation_run.hpp"

namespace tarvex {

void set_parameters(Parameters& p, const double* X, int32_t NOPT) {
  if (NOPT < MODEL_PARAMS) {
    throw InputError("the parameter vector holds " + std::to_string(NOPT) + " values; the model takes " +
                     std::to_string(MODEL_PARAMS));
  }
  p.A_CHANNEL = static_cast<float>(X[0]);
  p.WD_HILL = static_cast<float>(X[1]);
  p.KS_CLASS(1) = static_cast<float>(X[2]);
  p.KS_CLASS(2) = static_cast<float>(X[3]);
  p.KS_CLASS(3) = static_cast<float>(X[4]);
  p.K_SUB = static_cast<float>(X[5]);
  p.TAU_SUB = static_cast<float>(X[6]);
  p.F_SUB_CAP = static_cast<float>(X[7]);
  p.IA_RATIO = static_cast<float>(X[8]);
}

RunScore evaluate_run(const RunModel& s) {
  // Initial state, time loop, Q_SECTION per simulation step.
  int32_t NOUT = RUN_SIMULATION(s, s.run.objective_run, RunKind::objective);

  // Mean of the steps of each record. A last block that would reach past
  // the simulated steps is cut there; it lies beyond the records kept.
  RunScore r;
  r.aggregated = !s.params.step_plan.same_step;
  if (r.aggregated) {
    const float R = s.params.step_plan.steps_per_record;
    for (int32_t k_s = 1; k_s <= s.catchment.N_SECTIONS; ++k_s) {
      const std::vector<float> mean = record_means(s.results.Q_SECTION, k_s, NOUT, R);
      for (std::size_t m = 0; m < mean.size(); ++m) s.results.Q_SIM_AGG(static_cast<int32_t>(m) + 1, k_s) = mean[m];
    }
    NOUT = static_cast<int32_t>(static_cast<float>(NOUT) / R);
  }
  r.NOUT = NOUT;

  float OF = 0.0f, OF_OBSERVED = 0.0f;
  if (s.catchment.N_SECTIONS > 0) {
    for (int32_t IOUT = 1; IOUT <= NOUT; ++IOUT) {
      for (int32_t k_s = 1; k_s <= s.catchment.N_SECTIONS; ++k_s) {
        const float d = simulated_value(s.results, r, IOUT, k_s) - s.forcing.Q_OBS(IOUT, k_s);
        OF = OF + d * d;
        if (!observed_missing(s.forcing.Q_OBS(IOUT, k_s))) OF_OBSERVED = OF_OBSERVED + d * d;
      }
    }
  }
  r.OBJ = OF;
  r.OBJ_OBSERVED = OF_OBSERVED;
  return r;
}

int32_t compared_records(const StepPlan& plan) {
  const int32_t steps = RUN_STEP_COUNT(plan, RunKind::objective);
  if (plan.same_step) return steps;
  return static_cast<int32_t>(static_cast<float>(steps) / plan.steps_per_record);
}

int64_t observed_values(const RunModel& s, int32_t records) {
  int64_t n = 0;
  for (int32_t IOUT = 1; IOUT <= records; ++IOUT) {
    for (int32_t k_s = 1; k_s <= s.catchment.N_SECTIONS; ++k_s) {
      // Records past the table read as the zeros a run grows it with.
      const float q = IOUT <= s.forcing.Q_OBS.rows() ? s.forcing.Q_OBS(IOUT, k_s) : 0.0f;
      n += observed_missing(q) ? 0 : 1;
    }
  }
  return n;
}

FitStatistics run_fit(const RunModel& s, const RunScore& r, std::vector<double>& sim, std::vector<double>& obs) {
  sim.clear();
  obs.clear();
  for (int32_t IOUT = 1; IOUT <= r.NOUT; ++IOUT) {
    for (int32_t k_s = 1; k_s <= s.catchment.N_SECTIONS; ++k_s) {
      sim.push_back(simulated_value(s.results, r, IOUT, k_s));
      obs.push_back(s.forcing.Q_OBS(IOUT, k_s));
    }
  }
  return fit_statistics(sim, obs);
}

}  // namespace tarvex

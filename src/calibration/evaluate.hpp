#pragma once
// One objective-function run without records: the parameters enter the
// state, the run is made, the simulated discharge is averaged to the record
// step and compared with Q_OBS. FUNCVAL and the search share it.
#include <cstdint>
#include <vector>

#include "calibration/fit_statistics.hpp"
#include "model/model_state.hpp"

namespace tarvex {

struct RunScore {
  int32_t NOUT = 0;         // records compared
  bool aggregated = false;  // the simulated series is Q_SIM_AGG, not Q_SECTION
  float OBJ = 0.0f;         // sum of squared differences, 4-byte reals (may be infinite)
  // The same sum over the records whose observed value is not missing
  // (observed_missing): what the search minimises as sse.
  float OBJ_OBSERVED = 0.0f;
};

// Records a run compares with Q_OBS: its steps, or with DT_RAIN != DT_SIM
// its records. Throws InputError when the run has too many steps.
int32_t compared_records(const StepPlan& plan);
// Observed values among the first `records` records of Q_OBS that are not
// missing (every section).
int64_t observed_values(const RunModel& s, int32_t records);

// X[0..8] become A_CHANNEL, WD_HILL, KS_CLASS(1..3), K_SUB, TAU_SUB,
// F_SUB_CAP and IA_RATIO (rounded to 4-byte reals). NOPT below 9 throws
// InputError.
void set_parameters(Parameters& p, const double* X, int32_t NOPT);

// The objective-function run on s.params, scored against Q_OBS. A run that
// the time loop refuses throws InputError.
RunScore evaluate_run(const RunModel& s);

// A search worker's own records: the parameters it sets, the state and the
// series of its runs. The catchment and forcing are the loaded model's, read
// by every worker.
struct WorkerRecords {
  Parameters params;
  RunState run;
  Results results;

  // A worker's runs are scored, never written: no evapotranspiration series.
  explicit WorkerRecords(const ModelState& m) : params(m.params), run(m.run), results(m.results) {
    results.want_et = false;
    results.ET_STEP.clear();
  }
  RunModel over(const ModelState& m) { return RunModel{m.control, m.catchment, m.forcing, params, run, results}; }
};

// Simulated discharge of record IOUT at section k_s after evaluate_run.
inline float simulated_value(const Results& res, const RunScore& r, int32_t IOUT, int32_t k_s) {
  return r.aggregated ? res.Q_SIM_AGG(IOUT, k_s) : res.Q_SECTION(IOUT, k_s);
}

// Fit statistics of the compared records (record by record, sections in
// order); sim and obs are scratch buffers kept by the caller.
FitStatistics run_fit(const RunModel& s, const RunScore& r, std::vector<double>& sim, std::vector<double>& obs);

}  // namespace tarvex

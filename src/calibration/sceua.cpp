#include "calibration/sceua.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "calibration/dated_outlet.hpp"
#include "calibration/best_control.hpp"
#include "calibration/evaluate.hpp"
#include "calibration/funcval.hpp"
#include "calibration/parameter_vector.hpp"
#include "calibration/period_scoring.hpp"
#include "calibration/remote_evaluator.hpp"
#include "calibration/sce_calibration.hpp"
#include "calibration/sce_report.hpp"
#include "load/csv_forcing.hpp"
#include "calibration/sensitivity.hpp"
#include "calibration/uncertainty.hpp"
#include "model/warn_error.hpp"
#include "output/dated_output.hpp"
#include "io/input_error.hpp"
#include "io/record_reader.hpp"
#include "io/text_writer.hpp"
#include "simulation/run_steps.hpp"
#include "io/unread_values.hpp"

namespace tarvex {

int SCEUA(ModelState& s, const SceSettings& p, TextWriter& report, const ControlFile& ctl,
           const SearchOptions* search) {
  // The evaluation maps the first nine parameters onto the model; with fewer
  // records it would run on parameters nobody gave.
  if (p.NPAR < MODEL_PARAMS) {
    throw InputError("file 'scein.dat': " + std::to_string(p.NPAR) + " parameter records; the model takes " +
                     std::to_string(MODEL_PARAMS) +
                     " (A_CHANNEL, WD_HILL, KS_CLASS 1 to 3, K_SUB, TAU_SUB, F_SUB_CAP, IA_RATIO); "
                     "no evaluation is run");
  }
  check_parameter_vector(s, p);
  const bool run_search = search != nullptr && search->analysis();
  const bool sensitivity = run_search && search->sensitivity != SearchOptions::Sensitivity::none;
  const bool uncertainty = run_search && search->uncertainty != SearchOptions::Uncertainty::none;
  if (sensitivity) {
    check_sensitivity_settings(p, *search);
  } else if (uncertainty) {
    check_uncertainty_settings(p, *search);
  } else if (run_search) {
    check_search_settings(p);
  }

  const std::string& OBS_FILE = *ctl.observed.file;
  const int32_t N_OBS_HEAD = *ctl.observed.header_records;
  const int32_t N_OBS = *ctl.observed.values;
  if (N_OBS > s.control.limits.observed) refuse_run(1014);
  // A run compares up to its last record: those past the file read as zero.
  s.size_observed(std::max(N_OBS, RUN_STEP_COUNT(s.params.step_plan, RunKind::objective)));

  if (is_csv_name(OBS_FILE)) {
    load_observed_csv(s, OBS_FILE, run_window(s, ctl, N_OBS), run_search);
  } else {
    RecordReader obs(OBS_FILE);
    if (N_OBS_HEAD > 0) obs.skip(N_OBS_HEAD, "a header record");
    for (int32_t n = 1; n <= N_OBS; ++n) {
      ListRead r = obs.read("observed discharge value " + std::to_string(n));
      for (int32_t k = 1; k <= s.catchment.N_SECTIONS; ++k) s.forcing.Q_OBS(n, k) = r.f32();
      r.finish();
      for (int32_t k = 1; k <= s.catchment.N_SECTIONS; ++k) {
        if (!(std::fabs(s.forcing.Q_OBS(n, k)) <= MAX_OBSERVED_DISCHARGE)) {
          obs.fail("record " + std::to_string(obs.record()) + ": observed discharge value " + std::to_string(n) +
                   ": " + shortest(s.forcing.Q_OBS(n, k)) + " m3/s lies outside -" + shortest(MAX_OBSERVED_DISCHARGE) +
                   " to " + shortest(MAX_OBSERVED_DISCHARGE) + " m3/s");
        }
      }
    }
  }

  // The search leaves missing observations out of its objective: with none
  // left there is nothing to fit, and every point would score alike.
  PeriodScoring periods;
  if (run_search) {
    // Without a cross-section no discharge is compared at all.
    if (s.catchment.N_SECTIONS < 1) {
      throw InputError("file '" + ctl.name() + "': record " + std::to_string(ctl.run.n_sections.record()) +
                       ": N_SECTIONS = " + std::to_string(s.catchment.N_SECTIONS) +
                       ": no cross-section to compare with the observed discharge of '" + OBS_FILE +
                       "'; the search has nothing to fit");
    }
    int32_t records = 0;
    try {
      records = compared_records(s.params.step_plan);
    } catch (const InputError&) {
      records = -1;  // the run refuses its step count at the first evaluation
    }
    if (search->periods.any()) {
      const SeriesWindow w = run_window(s, ctl, 0);
      periods = score_calibration_only(s, search->periods, w.start, w.step, records >= 0 ? records : N_OBS, OBS_FILE);
    }
    if (records >= 0 && observed_values(s, records) == 0) {
      throw InputError("file '" + OBS_FILE + "': no observed discharge in the " + std::to_string(records) +
                       " records the run compares: every value is missing (negative or not a number); "
                       "the search has nothing to fit");
    }
  }

  write_search_banner(report);
  if (sensitivity) return run_sensitivity(s, p, report, *search, search_inputs(ctl));
  if (uncertainty) {
    std::vector<double> best;
    const int status = run_uncertainty(s, p, report, *search, search_inputs(ctl), &best, &periods);
    if (status == 0 && !best.empty()) {
      const char* name =
          search->uncertainty == SearchOptions::Uncertainty::glue ? kGlueControlFile : kDreamControlFile;
      const std::string why = write_best_control(ctl, best, name);
      if (!why.empty()) warn(std::string("'") + name + "' is not written: " + why);
    }
    return status;
  }
  int status = 0;
  if (run_search) {
    SearchOptions options = *search;
    if (search->periods.validation) options.validation_observed = validation_observed(periods);
    std::vector<double> best;
    status = run_calibration_search(s, p, report, options, search_inputs(ctl), &best);
    // A process that served evaluations of another's search has no best run.
    const RemoteEvaluator* remote = remote_evaluator();
    if (remote && remote->serves()) return status;
    if (search->periods.any()) report_periods(s, periods, search->periods, report);
    if (!best.empty()) {
      const std::string why = write_best_control(ctl, best);
      if (!why.empty()) warn(std::string("'") + kBestControlFile + "' is not written: " + why);
    }
  } else if (search != nullptr && search->score_control) {
    s.results.want_et = dated_inputs(4, ctl);  // for outlet.csv's water balance
    // The model took the control file's values when it was loaded.
    std::vector<double> x(&p.PAR0(1), &p.PAR0(1) + p.NPAR);
    const Parameters& q = s.params;
    const float v[MODEL_PARAMS] = {q.A_CHANNEL, q.WD_HILL, q.KS_CLASS(1), q.KS_CLASS(2), q.KS_CLASS(3),
                                   q.K_SUB,     q.TAU_SUB, q.F_SUB_CAP,   q.IA_RATIO};
    for (int j = 0; j < MODEL_PARAMS; ++j) x[static_cast<std::size_t>(j)] = v[j];
    FUNCVAL(s, x.data(), p.NPAR);
  } else {
    s.results.want_et = dated_inputs(4, ctl);  // for outlet.csv's water balance
    FUNCVAL(s, &p.PAR0(1), p.NPAR);
  }
  if (run_search || dated_inputs(4, ctl)) write_dated_outlet(s, N_OBS, periods);
  return status;
}

}  // namespace tarvex

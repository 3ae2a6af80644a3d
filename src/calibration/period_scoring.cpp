#include "calibration/period_scoring.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "calibration/evaluate.hpp"
#include "calibration/fit_statistics.hpp"
#include "calibration/sce_calibration.hpp"
#include "io/csv_series.hpp"
#include "io/input_error.hpp"
#include "io/quoted.hpp"

namespace tarvex {

std::string describe_periods(const ScorePeriods& p) {
  std::string d = p.calibration ? p.calibration->text : std::string("every record after the warm-up");
  if (p.calibration && p.validation) d += " (validation " + p.validation->text + ")";
  if (!p.calibration && p.validation) d += " but the validation period " + p.validation->text;
  if (p.warmup_days > 0.0) d += ", warm-up " + shortest(p.warmup_days) + " days";
  return d;
}

PeriodScoring score_calibration_only(ModelState& s, const ScorePeriods& p, int64_t start, int64_t step,
                                     int32_t records, const std::string& obs_file) {
  PeriodScoring ps;
  const int32_t n = std::min(records, s.forcing.Q_OBS.rows());
  ps.periods = record_periods(p, start, step, n);
  int64_t kept = 0;
  for (int32_t IOUT = 1; IOUT <= n; ++IOUT) {
    ps.observed.push_back(s.forcing.Q_OBS(IOUT, 1));
    const bool scored = ps.periods[static_cast<std::size_t>(IOUT - 1)] == RecordPeriod::calibration;
    for (int32_t k = 1; k <= s.catchment.N_SECTIONS; ++k) {
      ps.read.push_back(s.forcing.Q_OBS(IOUT, k));
      if (!scored) s.forcing.Q_OBS(IOUT, k) = std::numeric_limits<float>::quiet_NaN();
      kept += scored && !observed_missing(s.forcing.Q_OBS(IOUT, k)) ? 1 : 0;
    }
  }
  if (kept == 0) {
    throw InputError("file " + quoted_name(obs_file) + ": no observed discharge in the calibration period, " +
                     describe_periods(p) + ", among the " + std::to_string(n) + " records the run compares (" +
                     format_iso_time(start) + " to " + format_iso_time(start + (n - 1) * step) +
                     "); the search has nothing to fit");
  }
  return ps;
}

FitStatistics validation_fit(const Results& res, const RunScore& r, const std::vector<float>& observed,
                             std::vector<double>& sim, std::vector<double>& obs) {
  sim.clear();
  obs.clear();
  const std::size_t n = std::min(observed.size(), static_cast<std::size_t>(std::max(r.NOUT, 0)));
  for (std::size_t m = 0; m < n; ++m) {
    if (std::isnan(observed[m])) continue;
    sim.push_back(simulated_value(res, r, static_cast<int32_t>(m + 1), 1));
    obs.push_back(observed[m]);
  }
  return fit_statistics(sim, obs);
}

std::vector<float> validation_observed(const PeriodScoring& ps) {
  std::vector<float> v(ps.observed.size(), std::numeric_limits<float>::quiet_NaN());
  for (std::size_t m = 0; m < v.size(); ++m) {
    if (ps.periods[m] == RecordPeriod::validation) v[m] = ps.observed[m];
  }
  return v;
}

void report_periods(const ModelState& s, const PeriodScoring& ps, const ScorePeriods& p, TextWriter& report) {
  report.line("");
  report.line("  SCORED: CALIBRATION PERIOD " + describe_periods(p));
  print_line("  Scored: calibration period " + describe_periods(p));
  if (!p.validation) return;
  RunScore r;
  r.aggregated = !s.params.step_plan.same_step;
  r.NOUT = static_cast<int32_t>(ps.periods.size());
  std::vector<double> sim, obs;
  const FitStatistics fit = validation_fit(s.results, r, validation_observed(ps), sim, obs);
  report.line("");
  report.line("  VALIDATION PERIOD " + p.validation->text);
  print_line("  Validation period " + p.validation->text);
  for (const std::string& l : fit_table(fit)) {
    report.line(l);
    print_line(l);
  }
}

}  // namespace tarvex

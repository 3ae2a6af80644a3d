#include "calibration/dated_outlet.hpp"

#include <cmath>
#include <string>
#include <vector>

#include "calibration/evaluate.hpp"
#include "io/csv_series.hpp"
#include "output/dated_output.hpp"

namespace tarvex {

void write_dated_outlet(const ModelState& s, int32_t n_obs, const PeriodScoring& periods) {
  if (s.catchment.N_SECTIONS < 1 || !valid_date(s.forcing.START_YEAR, s.forcing.START_MONTH, s.forcing.START_DAY)) return;
  const double step = std::round(static_cast<double>(s.forcing.DT_RAIN));
  if (!(step >= 1.0 && std::fabs(step - static_cast<double>(s.forcing.DT_RAIN)) < 1.0e-3)) return;
  const int32_t records = compared_records(s.params.step_plan);
  RunScore r;
  r.aggregated = !s.params.step_plan.same_step;
  std::vector<float> simulated, observed;
  for (int32_t n = 1; n <= records; ++n) simulated.push_back(simulated_value(s.results, r, n, 1));
  std::vector<std::string> labels;
  for (int32_t n = 1; n <= records; ++n) {
    const auto m = static_cast<std::size_t>(n - 1);
    if (n <= n_obs && n <= s.forcing.Q_OBS.rows()) observed.push_back(m < periods.observed.size() ? periods.observed[m] : s.forcing.Q_OBS(n, 1));
    labels.emplace_back(periods.periods.empty() ? "calibration"
                        : m < periods.periods.size() ? period_name(periods.periods[m]) : "");
  }
  const std::vector<double> et =
      record_sums(s.results.ET_STEP, records, r.aggregated ? s.params.step_plan.steps_per_record : 1.0f);
  write_outlet_csv("outlet.csv", day_seconds(s.forcing.START_YEAR, s.forcing.START_MONTH, s.forcing.START_DAY),
                   static_cast<int64_t>(step), simulated, observed, labels, et);
}

}  // namespace tarvex

#pragma once
// The search scored on its calibration period only, and the best run's fit
// on the validation period.
#include <cstdint>
#include <string>
#include <vector>

#include "calibration/evaluate.hpp"
#include "calibration/fit_statistics.hpp"
#include "calibration/score_periods.hpp"
#include "io/text_writer.hpp"
#include "model/model_state.hpp"

namespace tarvex {

struct PeriodScoring {
  std::vector<RecordPeriod> periods;  // records 1..n
  std::vector<float> observed;        // section 1, records 1..n, as read
  std::vector<float> read;            // records 1..n, every section in order, as read
};

// "FROM/TO (validation FROM/TO), warm-up D days": which records are scored.
std::string describe_periods(const ScorePeriods& p);

// Marks the observations of records 1..records outside the calibration
// period as missing, so that the objective and the fit leave them out, and
// keeps them for the validation fit. Throws InputError naming obs_file when
// the calibration period holds no observed value.
PeriodScoring score_calibration_only(ModelState& s, const ScorePeriods& p, int64_t start, int64_t step,
                                     int32_t records, const std::string& obs_file);

// Fit of the run r made on s over the records whose value in observed
// (records from 1) is not NaN; sim and obs are scratch buffers.
FitStatistics validation_fit(const Results& res, const RunScore& r, const std::vector<float>& observed,
                             std::vector<double>& sim, std::vector<double>& obs);
// observed as read on the validation records, NaN on the others; empty
// without a validation period.
std::vector<float> validation_observed(const PeriodScoring& ps);

// After the search, with its best run in s: the calibration period on a
// line of the report, and with a validation period its fit table, in the
// report and on standard output.
void report_periods(const ModelState& s, const PeriodScoring& ps, const ScorePeriods& p, TextWriter& report);

}  // namespace tarvex

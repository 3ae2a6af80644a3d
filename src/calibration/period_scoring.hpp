#pragma once
// The search scored on its calibration period only, and the best run's fit
// on the validation period.
#include <cstdint>
#include <string>
#include <vector>

#include "calibration/score_periods.hpp"
#include "io/text_writer.hpp"
#include "model/model_state.hpp"

namespace tarvex {

struct PeriodScoring {
  std::vector<RecordPeriod> periods;  // records 1..n
  std::vector<float> observed;        // section 1, records 1..n, as read
};

// Marks the observations of records 1..records outside the calibration
// period as missing, so that the objective and the fit leave them out, and
// keeps them for the validation fit. Throws InputError naming obs_file when
// the calibration period holds no observed value.
PeriodScoring score_calibration_only(ModelState& s, const ScorePeriods& p, int64_t start, int64_t step,
                                     int32_t records, const std::string& obs_file);

// After the search, with its best run in s: the calibration period on a
// line of the report, and with a validation period its fit table, in the
// report and on standard output.
void report_periods(const ModelState& s, const PeriodScoring& ps, const ScorePeriods& p, TextWriter& report);

}  // namespace tarvex

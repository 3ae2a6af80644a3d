#pragma once
// "outlet.csv" of a calibration pass: the series of the last run made on the
// state (the single evaluation, or the search's best point) with dates.
#include <cstdint>

#include "calibration/period_scoring.hpp"
#include "model/model_state.hpp"

namespace tarvex {

// Writes outlet.csv for section 1 from the records the run compares and
// the first n_obs observed values; with periods set, the observations as
// read and the period of each record (else every compared record is
// calibration). Nothing when there is no cross-section,
// or when the start date (record 10) is no calendar day or the record step
// no whole number of seconds, which only a text-layout pass may have.
void write_dated_outlet(const ModelState& s, int32_t n_obs, const PeriodScoring& periods);

}  // namespace tarvex

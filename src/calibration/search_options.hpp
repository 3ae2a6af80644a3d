#pragma once
// Command-line choices of the calibration search (tarvex --search).
#include <vector>

#include "calibration/fit_statistics.hpp"
#include "calibration/score_periods.hpp"

namespace tarvex {

struct SearchOptions {
  bool search = false;                  // run the search instead of one evaluation
  Objective objective = Objective::sse; // what the search minimises
  int jobs = 0;                         // threads; 0: the machine's cores
  bool resume = false;                  // continue from the checkpoint
  bool progress = false;                // progress lines on stderr even when it is no terminal
  ScorePeriods periods;                 // --warmup, --calibration-period, --validation-period
  // Observed values of the validation records (section 1, records from 1),
  // NaN on the others; empty without a validation period.
  std::vector<float> validation_observed;
};

}  // namespace tarvex

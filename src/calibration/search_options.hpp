#pragma once
// Command-line choices of the calibration search (tarvex --search).
#include <vector>
#include <cstdint>
#include <optional>

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

  // Sensitivity analysis over the bounds of "scein.dat" instead of a search.
  enum class Sensitivity { none, morris, sobol };
  Sensitivity sensitivity = Sensitivity::none;
  int64_t samples = 0;                  // trajectories or base samples; 0: the method's default
  uint64_t seed = 1;                    // of the analysis's sample and bootstrap
  // The single evaluation scores the control file's parameter values
  // instead of the initial values of "scein.dat".
  bool score_control = false;

  // Prediction uncertainty over the bounds of "scein.dat": GLUE or DREAM(ZS).
  enum class Uncertainty { none, glue, dream };
  Uncertainty uncertainty = Uncertainty::none;
  std::optional<double> behavioural;    // GLUE's threshold; unset: the objective's default
  double min_ess = 0.0;                  // --min-ess: DREAM also stops only at this effective sample size

  bool analysis() const {
    return search || sensitivity != Sensitivity::none || uncertainty != Uncertainty::none;
  }
};

}  // namespace tarvex

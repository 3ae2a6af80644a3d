#pragma once
// The statistics of prediction bands: likelihood-weighted quantiles, the
// P-factor and R-factor, and the behavioural threshold of GLUE (Beven and
// Binley 1992) on each objective. Double precision.
#include <optional>
#include <span>
#include <vector>

#include "calibration/fit_statistics.hpp"

namespace tarvex {

// The smallest value whose cumulative normalised weight reaches q (0 < q <=
// 1); values and weights of equal length, weights >= 0 with a positive sum.
// NaN with no value. `order` is scratch.
double weighted_quantile(std::span<const double> values, std::span<const double> weights, double q,
                         std::vector<std::size_t>& order);

// The share of observed values (missing ones left out) inside low .. high,
// and the mean width of the band over the records with an observation,
// divided by the standard deviation (n - 1) of those observations.
struct BandFit {
  long observed = 0;
  double p_factor = 0.0;
  double r_factor = 0.0;
};
BandFit band_fit(std::span<const double> observed, std::span<const double> low, std::span<const double> high);

// A behavioural threshold on the value an objective minimises. Given as
// the user reads the objective: an efficiency (nse, lognse, kge, kge2012) at
// least `value`, an error (sse, rmse) or |PBIAS| at most `value`. Without a
// value: efficiencies 0.5; sse 0.5 sum (obs - mean)^2 and rmse its root mean
// (NSE = 0.5 for both); pbias 25 %.
struct Behavioural {
  double limit = 0.0;   // the minimised value must not exceed it
  double shown = 0.0;   // the threshold in the objective's own terms
};
Behavioural behavioural_limit(Objective objective, std::optional<double> value, std::span<const double> observed);

// GLUE weights: limit - f for behavioural points (f <= limit), 0 for the
// others; equal weights for the behavioural points when all sit on the limit.
std::vector<double> glue_weights(std::span<const double> f, double limit);

}  // namespace tarvex

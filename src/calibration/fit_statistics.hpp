#pragma once
// Goodness of fit of a simulated discharge series to an observed one, with
// the definitions of the R package hydroGOF: Nash-Sutcliffe efficiency (NSE),
// NSE of the logarithms, Kling-Gupta efficiency (2009) and its 2012 variant,
// percent bias, root mean square error. Double precision.
#include <optional>
#include <span>
#include <string_view>

namespace tarvex {

// An observed value that is negative or NaN is missing: its pair is left out.
bool observed_missing(double obs);

struct FitStatistics {
  long pairs = 0;        // pairs used
  double sse = 0.0;      // sum of (sim - obs)^2
  double rmse = 0.0;     // sqrt(sse / pairs)
  double nse = 0.0;      // 1 - sse / sum (obs - mean obs)^2
  double log_nse = 0.0;  // NSE of ln(sim + eps), ln(obs + eps), eps = mean obs / 100
  double r = 0.0;        // Pearson correlation
  double alpha = 0.0;    // sd sim / sd obs
  double beta = 0.0;     // mean sim / mean obs
  double gamma = 0.0;    // (sd sim / mean sim) / (sd obs / mean obs)
  double kge = 0.0;      // 1 - sqrt((r-1)^2 + (alpha-1)^2 + (beta-1)^2)
  double kge2012 = 0.0;  // 1 - sqrt((r-1)^2 + (gamma-1)^2 + (beta-1)^2)
  double pbias = 0.0;    // 100 sum (sim - obs) / sum obs, percent (not rounded)
};

// sim and obs of equal length (std::invalid_argument otherwise). A simulated
// NaN is not left out: it makes the statistics NaN. With no pair left every
// statistic is NaN; degenerate series (constant observations, zero means)
// give the IEEE results of the formulas (infinities or NaN).
FitStatistics fit_statistics(std::span<const double> sim, std::span<const double> obs);

// What the search minimises.
enum class Objective { sse, nse, lognse, kge, kge2012, rmse, pbias };

// "sse", "nse", "lognse", "kge", "kge2012", "rmse" or "pbias", in any case
// ("KGE" is kge); nullopt for anything else.
std::optional<Objective> parse_objective(std::string_view name);
std::string_view objective_name(Objective objective);

// The value minimised: sse and rmse as they are, efficiencies as 1 - E,
// percent bias as |PBIAS|.
double objective_value(Objective objective, const FitStatistics& s);

}  // namespace tarvex

#include "calibration/fit_statistics.hpp"

#include <array>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace tarvex {

namespace {

constexpr std::array<std::string_view, 7> kNames = {"sse", "nse", "lognse", "kge",
                                                     "kge2012", "rmse", "pbias"};

double nse_of(double sse, double ss_obs) { return 1.0 - sse / ss_obs; }

}  // namespace

bool observed_missing(double obs) { return std::isnan(obs) || obs < 0.0; }

FitStatistics fit_statistics(std::span<const double> sim, std::span<const double> obs) {
  if (sim.size() != obs.size())
    throw std::invalid_argument("fit statistics: simulated and observed series differ in length");
  FitStatistics s;
  double sum_sim = 0.0, sum_obs = 0.0;
  for (std::size_t i = 0; i < obs.size(); ++i) {
    if (observed_missing(obs[i])) continue;
    ++s.pairs;
    sum_sim += sim[i];
    sum_obs += obs[i];
  }
  if (s.pairs == 0) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    s.sse = s.rmse = s.nse = s.log_nse = s.r = s.alpha = s.beta = s.gamma = s.kge = s.kge2012 =
        s.pbias = nan;
    return s;
  }
  const double n = static_cast<double>(s.pairs);
  const double mean_sim = sum_sim / n, mean_obs = sum_obs / n;
  const double eps = mean_obs / 100.0;
  double sxx = 0.0, syy = 0.0, sxy = 0.0, sse = 0.0;
  double log_sse = 0.0, log_sum_obs = 0.0;
  for (std::size_t i = 0; i < obs.size(); ++i) {
    if (observed_missing(obs[i])) continue;
    const double ds = sim[i] - mean_sim, dob = obs[i] - mean_obs, e = sim[i] - obs[i];
    sxx += ds * ds;
    syy += dob * dob;
    sxy += ds * dob;
    sse += e * e;
    const double le = std::log(sim[i] + eps) - std::log(obs[i] + eps);
    log_sse += le * le;
    log_sum_obs += std::log(obs[i] + eps);
  }
  const double log_mean_obs = log_sum_obs / n;
  double log_ss_obs = 0.0;
  for (std::size_t i = 0; i < obs.size(); ++i) {
    if (observed_missing(obs[i])) continue;
    const double d = std::log(obs[i] + eps) - log_mean_obs;
    log_ss_obs += d * d;
  }

  // Standard deviations with the same divisor for both series (it cancels).
  const double sd_sim = std::sqrt(sxx / n), sd_obs = std::sqrt(syy / n);
  s.sse = sse;
  s.rmse = std::sqrt(sse / n);
  s.nse = nse_of(sse, syy);
  s.log_nse = nse_of(log_sse, log_ss_obs);
  s.r = sxy / std::sqrt(sxx * syy);
  s.alpha = sd_sim / sd_obs;
  s.beta = mean_sim / mean_obs;
  s.gamma = (sd_sim / mean_sim) / (sd_obs / mean_obs);
  const double dr = s.r - 1.0, da = s.alpha - 1.0, db = s.beta - 1.0, dg = s.gamma - 1.0;
  s.kge = 1.0 - std::sqrt(dr * dr + da * da + db * db);
  s.kge2012 = 1.0 - std::sqrt(dr * dr + dg * dg + db * db);
  s.pbias = 100.0 * (sum_sim - sum_obs) / sum_obs;
  return s;
}

std::optional<Objective> parse_objective(std::string_view name) {
  auto same = [](std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t k = 0; k < a.size(); ++k) {
      const char c = a[k] >= 'A' && a[k] <= 'Z' ? static_cast<char>(a[k] - 'A' + 'a') : a[k];
      if (c != b[k]) return false;
    }
    return true;
  };
  for (std::size_t i = 0; i < kNames.size(); ++i)
    if (same(name, kNames[i])) return static_cast<Objective>(i);
  return std::nullopt;
}

std::string_view objective_name(Objective objective) {
  return kNames[static_cast<std::size_t>(objective)];
}

double objective_value(Objective objective, const FitStatistics& s) {
  switch (objective) {
    case Objective::sse:
      return s.sse;
    case Objective::nse:
      return 1.0 - s.nse;
    case Objective::lognse:
      return 1.0 - s.log_nse;
    case Objective::kge:
      return 1.0 - s.kge;
    case Objective::kge2012:
      return 1.0 - s.kge2012;
    case Objective::rmse:
      return s.rmse;
    case Objective::pbias:
      return std::fabs(s.pbias);
  }
  return std::numeric_limits<double>::quiet_NaN();
}

}  // namespace tarvex

#include "calibration/glue.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace tarvex {

double weighted_quantile(std::span<const double> values, std::span<const double> weights, double q,
                         std::vector<std::size_t>& order) {
  if (values.empty()) return std::numeric_limits<double>::quiet_NaN();
  order.resize(values.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return values[a] < values[b]; });
  const double total = std::accumulate(weights.begin(), weights.end(), 0.0);
  double sum = 0.0;
  for (std::size_t i : order) {
    sum += weights[i];
    // A relative tolerance keeps q = 0.5 of weights 1, 1 on the first value.
    if (sum >= q * total * (1.0 - 1e-12)) return values[i];
  }
  return values[order.back()];
}

BandFit band_fit(std::span<const double> observed, std::span<const double> low, std::span<const double> high) {
  BandFit b;
  long inside = 0;
  double width = 0.0, sum = 0.0;
  for (std::size_t i = 0; i < observed.size(); ++i) {
    if (observed_missing(observed[i])) continue;
    ++b.observed;
    inside += observed[i] >= low[i] && observed[i] <= high[i] ? 1 : 0;
    width += high[i] - low[i];
    sum += observed[i];
  }
  if (b.observed == 0) {
    b.p_factor = b.r_factor = std::numeric_limits<double>::quiet_NaN();
    return b;
  }
  const double n = static_cast<double>(b.observed);
  const double mean = sum / n;
  double ss = 0.0;
  for (double o : observed) {
    if (!observed_missing(o)) ss += (o - mean) * (o - mean);
  }
  b.p_factor = static_cast<double>(inside) / n;
  b.r_factor = b.observed > 1 ? width / n / std::sqrt(ss / (n - 1.0)) : std::numeric_limits<double>::quiet_NaN();
  return b;
}

Behavioural behavioural_limit(Objective objective, std::optional<double> value, std::span<const double> observed) {
  Behavioural b;
  switch (objective) {
    case Objective::nse:
    case Objective::lognse:
    case Objective::kge:
    case Objective::kge2012:
      b.shown = value.value_or(0.5);
      b.limit = 1.0 - b.shown;
      return b;
    case Objective::pbias:
      b.shown = b.limit = value.value_or(25.0);
      return b;
    case Objective::sse:
    case Objective::rmse:
      break;
  }
  if (value) {
    b.shown = b.limit = *value;
    return b;
  }
  double sum = 0.0, ss = 0.0;
  long n = 0;
  for (double o : observed) {
    if (observed_missing(o)) continue;
    sum += o;
    ++n;
  }
  const double mean = n > 0 ? sum / static_cast<double>(n) : 0.0;
  for (double o : observed) {
    if (!observed_missing(o)) ss += (o - mean) * (o - mean);
  }
  b.limit = objective == Objective::sse ? 0.5 * ss : std::sqrt(0.5 * ss / static_cast<double>(std::max(n, 1L)));
  b.shown = b.limit;
  return b;
}

std::vector<double> glue_weights(std::span<const double> f, double limit) {
  std::vector<double> w(f.size(), 0.0);
  double total = 0.0;
  long behavioural = 0;
  for (std::size_t i = 0; i < f.size(); ++i) {
    if (std::isfinite(f[i]) && f[i] <= limit) {
      w[i] = limit - f[i];
      total += w[i];
      ++behavioural;
    }
  }
  if (behavioural > 0 && !(total > 0.0)) {
    for (std::size_t i = 0; i < f.size(); ++i) w[i] = std::isfinite(f[i]) && f[i] <= limit ? 1.0 : 0.0;
  }
  return w;
}

}  // namespace tarvex

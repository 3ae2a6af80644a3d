#include "calibration/morris.hpp"

#include <cmath>
#include <limits>
#include <numeric>
#include <stdexcept>

#include "calibration/analysis_random.hpp"

namespace tarvex {

MorrisDesign morris_design(int factors, int trajectories, int levels, uint64_t seed) {
  if (factors < 1 || trajectories < 1 || levels < 2 || levels % 2 != 0) {
    throw std::invalid_argument("a Morris design needs factors and trajectories, and an even number of levels");
  }
  MorrisDesign d;
  d.factors = factors;
  d.trajectories = trajectories;
  d.levels = levels;
  d.delta = static_cast<double>(levels) / (2.0 * static_cast<double>(levels - 1));
  AnalysisRandom rng(seed);
  const auto k = static_cast<std::size_t>(factors);
  for (int t = 0; t < trajectories; ++t) {
    // A base point on the levels from which +delta stays in the cube, a
    // random direction per factor and a random order of the factors.
    std::vector<double> x(k);
    std::vector<double> step(k);
    for (std::size_t i = 0; i < k; ++i) {
      const auto level = static_cast<double>(rng.below(static_cast<uint64_t>(levels / 2)));
      x[i] = level / static_cast<double>(levels - 1);
      step[i] = d.delta;
      if (rng.below(2) == 1) {
        x[i] += d.delta;
        step[i] = -d.delta;
      }
    }
    std::vector<std::size_t> order(k);
    std::iota(order.begin(), order.end(), std::size_t{0});
    for (std::size_t i = k; i > 1; --i) std::swap(order[i - 1], order[rng.below(i)]);
    d.points.push_back(x);
    d.moved.push_back(-1);
    for (std::size_t i : order) {
      x[i] += step[i];
      d.points.push_back(x);
      d.moved.push_back(static_cast<int>(i));
    }
  }
  return d;
}

MorrisIndices morris_indices(const MorrisDesign& d, std::span<const double> f) {
  if (f.size() != d.points.size()) throw std::invalid_argument("one value per point of the Morris design");
  const auto k = static_cast<std::size_t>(d.factors);
  std::vector<std::vector<double>> ee(k);
  for (std::size_t m = 0; m < d.points.size(); ++m) {
    if (d.moved[m] < 0) continue;
    const auto i = static_cast<std::size_t>(d.moved[m]);
    if (!std::isfinite(f[m]) || !std::isfinite(f[m - 1])) continue;
    // Divided by the signed step, so that a step down counts alike.
    ee[i].push_back((f[m] - f[m - 1]) / (d.points[m][i] - d.points[m - 1][i]));
  }
  MorrisIndices r;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (std::size_t i = 0; i < k; ++i) {
    const std::vector<double>& e = ee[i];
    const auto n = static_cast<double>(e.size());
    double sum = 0.0, abs_sum = 0.0;
    for (double v : e) {
      sum += v;
      abs_sum += std::fabs(v);
    }
    const double mu = e.empty() ? nan : sum / n;
    double ss = 0.0;
    for (double v : e) ss += (v - mu) * (v - mu);
    r.mu.push_back(mu);
    r.mu_star.push_back(e.empty() ? nan : abs_sum / n);
    r.sigma.push_back(e.size() < 2 ? nan : std::sqrt(ss / (n - 1.0)));
    r.effects.push_back(static_cast<int>(e.size()));
  }
  return r;
}

}  // namespace tarvex

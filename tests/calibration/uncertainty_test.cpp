// The numerics of the uncertainty analyses: weighted quantiles, P- and
// R-factor, GLUE's thresholds and weights, the Latin hypercube, and DREAM(ZS)
// on Gaussians with known moments (fixed seeds, generous bounds).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "calibration/dream.hpp"
#include "calibration/glue.hpp"

namespace tarvex {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(WeightedQuantile, StepsAtTheCumulativeWeight) {
  std::vector<std::size_t> order;
  const std::vector<double> v = {3, 1, 2, 4}, even = {1, 1, 1, 1};
  EXPECT_EQ(weighted_quantile(v, even, 0.25, order), 1.0);
  EXPECT_EQ(weighted_quantile(v, even, 0.5, order), 2.0);  // cumulative 0.5 reached at 2, not past it
  EXPECT_EQ(weighted_quantile(v, even, 0.51, order), 3.0);
  EXPECT_EQ(weighted_quantile(v, even, 0.975, order), 4.0);
  // Unsorted values, weights that sum to 10: 1 (0.1), 2 (0.3), 3 (0.6), 4 (1.0).
  const std::vector<double> w = {3, 1, 2, 4};
  EXPECT_EQ(weighted_quantile(v, w, 0.05, order), 1.0);
  EXPECT_EQ(weighted_quantile(v, w, 0.3, order), 2.0);
  EXPECT_EQ(weighted_quantile(v, w, 0.5, order), 3.0);
  EXPECT_EQ(weighted_quantile(v, w, 0.95, order), 4.0);
  // A zero weight is never chosen.
  EXPECT_EQ(weighted_quantile(std::vector<double>{1, 2}, std::vector<double>{0, 1}, 0.025, order), 2.0);
  EXPECT_TRUE(std::isnan(weighted_quantile({}, {}, 0.5, order)));
}

TEST(BandFit, SharesInsideAndWidthOverSpread) {
  // Observations 1, 2, 3 (sd 1) and a missing one; 1 and 3 inside.
  const std::vector<double> obs = {1, 2, 3, -1}, low = {0, 2.5, 2, 0}, high = {2, 3, 4, 100};
  const BandFit f = band_fit(obs, low, high);
  EXPECT_EQ(f.observed, 3);
  EXPECT_DOUBLE_EQ(f.p_factor, 2.0 / 3.0);
  EXPECT_DOUBLE_EQ(f.r_factor, 1.5);  // widths 2, 0.5, 2; the missing record's band left out
  EXPECT_TRUE(std::isnan(band_fit(std::vector<double>{-1}, std::vector<double>{0}, std::vector<double>{1}).p_factor));
}

TEST(Behavioural, ThresholdsMapOntoTheMinimisedValue) {
  const std::vector<double> obs = {1, 2, 3, std::nan("")};  // sum of squares about the mean 2
  EXPECT_DOUBLE_EQ(behavioural_limit(Objective::nse, std::nullopt, obs).limit, 0.5);
  EXPECT_DOUBLE_EQ(behavioural_limit(Objective::kge, 0.7, obs).limit, 1.0 - 0.7);
  EXPECT_DOUBLE_EQ(behavioural_limit(Objective::sse, std::nullopt, obs).limit, 1.0);
  EXPECT_DOUBLE_EQ(behavioural_limit(Objective::rmse, std::nullopt, obs).limit, std::sqrt(1.0 / 3.0));
  EXPECT_DOUBLE_EQ(behavioural_limit(Objective::pbias, std::nullopt, obs).limit, 25.0);
  EXPECT_DOUBLE_EQ(behavioural_limit(Objective::sse, 4.0, obs).limit, 4.0);

  const std::vector<double> w = glue_weights(std::vector<double>{0.2, 0.6, kInf, 0.5, std::nan("")}, 0.5);
  EXPECT_EQ(w, (std::vector<double>{0.5 - 0.2, 0, 0, 0, 0}));
  // Every behavioural point on the threshold: equal weights, not none.
  EXPECT_EQ(glue_weights(std::vector<double>{0.5, 0.7, 0.5}, 0.5), (std::vector<double>{1, 0, 1}));
}

TEST(LatinHypercube, OnePointPerStratumInEveryDimension) {
  const auto x = latin_hypercube(17, 3, 5);
  ASSERT_EQ(x.size(), 17u);
  for (std::size_t j = 0; j < 3; ++j) {
    std::vector<int> hits(17, 0);
    for (const auto& p : x) {
      ASSERT_GE(p[j], 0.0);
      ASSERT_LT(p[j], 1.0);
      ++hits[static_cast<std::size_t>(p[j] * 17)];
    }
    for (int h : hits) EXPECT_EQ(h, 1);
  }
  EXPECT_EQ(latin_hypercube(17, 3, 5), x);
  EXPECT_NE(latin_hypercube(17, 3, 6), x);
}

// Posterior moments of the second half of the chains.
void moments(const DreamResult& r, std::size_t j, double& mean, double& sd) {
  double s = 0, ss = 0, n = 0;
  for (std::size_t g = r.states.size() / 2; g < r.states.size(); ++g) {
    for (const auto& x : r.states[g]) {
      s += x[j];
      ss += x[j] * x[j];
      n += 1;
    }
  }
  mean = s / n;
  sd = std::sqrt(ss / n - mean * mean);
}

TEST(Dream, SamplesAOneDimensionalGaussian) {
  // N(2, 0.5^2) on [-10, 10].
  const LogDensityBatch density = [](const std::vector<std::vector<double>>& pts) {
    std::vector<double> out;
    for (const auto& x : pts) out.push_back(-0.5 * (x[0] - 2) * (x[0] - 2) / 0.25);
    return out;
  };
  DreamSettings set;
  set.budget = 30000;
  set.seed = 7;
  set.rhat_stop = 0.0;  // the whole budget
  const DreamResult r = dream_zs({-10.0}, {10.0}, set, density);
  EXPECT_EQ(r.evaluations, 30000);
  EXPECT_EQ(r.states.size(), 10000u);
  double mean = 0, sd = 0;
  moments(r, 0, mean, sd);
  EXPECT_NEAR(mean, 2.0, 0.1);
  EXPECT_NEAR(sd, 0.5, 0.1);
  EXPECT_LT(r.rhat[0], 1.1);
  EXPECT_GT(r.acceptance, 0.1);
  // The same seed, the same chains; another seed, other chains.
  const DreamResult again = dream_zs({-10.0}, {10.0}, set, density);
  EXPECT_EQ(again.states, r.states);
  set.seed = 8;
  EXPECT_NE(dream_zs({-10.0}, {10.0}, set, density).states, r.states);
}

TEST(Dream, SamplesACorrelatedGaussianAndStopsOnRhat) {
  // Unit variances, correlation 0.8, means (1, -1); a third dimension fixed.
  const double rho = 0.8;
  const LogDensityBatch density = [&](const std::vector<std::vector<double>>& pts) {
    std::vector<double> out;
    for (const auto& x : pts) {
      EXPECT_EQ(x[2], 3.0);  // lower = upper: never moved
      const double a = x[0] - 1, b = x[1] + 1;
      out.push_back(-0.5 * (a * a - 2 * rho * a * b + b * b) / (1 - rho * rho));
    }
    return out;
  };
  DreamSettings set;
  set.budget = 60000;
  set.seed = 3;
  set.rhat_stop = 0.0;
  const DreamResult r = dream_zs({-8.0, -8.0, 3.0}, {8.0, 8.0, 3.0}, set, density);
  double m0 = 0, s0 = 0, m1 = 0, s1 = 0;
  moments(r, 0, m0, s0);
  moments(r, 1, m1, s1);
  EXPECT_NEAR(m0, 1.0, 0.2);
  EXPECT_NEAR(m1, -1.0, 0.2);
  EXPECT_NEAR(s0, 1.0, 0.2);
  EXPECT_NEAR(s1, 1.0, 0.2);
  for (std::size_t g = 1; g < r.states.size(); ++g) {
    for (const auto& x : r.states[g]) {
      ASSERT_GE(x[0], -8.0);
      ASSERT_LE(x[0], 8.0);
    }
  }
  // With the default threshold it stops well before the budget.
  set.rhat_stop = 1.2;
  const DreamResult quick = dream_zs({-8.0, -8.0, 3.0}, {8.0, 8.0, 3.0}, set, density);
  EXPECT_TRUE(quick.converged);
  EXPECT_LT(quick.evaluations, 60000);
  for (double v : quick.rhat) EXPECT_LT(v, 1.2);
}

TEST(Dream, RefusesWhatItCannotSample) {
  const LogDensityBatch flat = [](const std::vector<std::vector<double>>& p) { return std::vector<double>(p.size()); };
  DreamSettings set;
  EXPECT_THROW(dream_zs({1.0}, {1.0}, set, flat), std::invalid_argument);
  set.chains = 2;
  EXPECT_THROW(dream_zs({0.0}, {1.0}, set, flat), std::invalid_argument);
}

TEST(Dream, RhatSeparatesChainsThatDisagree) {
  DreamResult r;
  r.dims = 1;
  r.chains = 3;
  for (int g = 0; g < 10; ++g) {
    const double wiggle = g % 2 == 0 ? 0.1 : -0.1;
    r.states.push_back({{wiggle}, {-wiggle}, {wiggle}});
  }
  EXPECT_LT(gelman_rubin(r, 0, 10)[0], 1.01);
  for (auto& s : r.states) s[2][0] += 5.0;  // a chain stuck elsewhere
  EXPECT_GT(gelman_rubin(r, 0, 10)[0], 3.0);
}

// AR(1) chains x_g = rho x_{g-1} + e_g have the closed form ESS = m n (1 - rho) / (1 + rho);
// independent draws count fully, and a constant dimension counts every state
// (its R-hat 1), whatever its mean rounds to.
TEST(Dream, EffectiveSampleSizeOfAutoregressiveChains) {
  const int m = 4, n = 20000;
  DreamResult r;
  r.dims = 3;
  r.chains = m;
  r.states.assign(n, std::vector<std::vector<double>>(m, std::vector<double>(3, 0.0)));
  uint64_t state = 12345;
  auto uniform = [&] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<double>(state >> 11) * 0x1p-53;
  };
  const double rho = 0.9;
  for (int c = 0; c < m; ++c) {
    double a = 0.0;
    for (int g = 0; g < n; ++g) {
      a = rho * a + std::sqrt(1 - rho * rho) * standard_normal(1.0 - uniform(), uniform());
      r.states[g][c][0] = a;
      r.states[g][c][1] = standard_normal(1.0 - uniform(), uniform());
      r.states[g][c][2] = 0.002;  // a fixed parameter: its mean rounds off 0.002
    }
  }
  const std::vector<double> ess = effective_sample_size(r, 0, n);
  const double all = static_cast<double>(m) * n;
  EXPECT_NEAR(ess[0] / (all * (1 - rho) / (1 + rho)), 1.0, 0.15);
  EXPECT_NEAR(ess[1] / all, 1.0, 0.1);
  EXPECT_EQ(ess[2], all);
  EXPECT_EQ(gelman_rubin(r, 0, n)[2], 1.0);
  // A stop on R-hat alone comes earlier than one that also asks for samples.
  auto normal = [](const std::vector<std::vector<double>>& pts) {
    std::vector<double> out;
    for (const auto& x : pts) out.push_back(-0.5 * (x[0] * x[0] + x[1] * x[1]));
    return out;
  };
  DreamSettings set;
  set.budget = 200000;
  const DreamResult quick = dream_zs({-10.0, -10.0}, {10.0, 10.0}, set, normal);
  set.min_ess = 2000;
  const DreamResult sampled = dream_zs({-10.0, -10.0}, {10.0, 10.0}, set, normal);
  ASSERT_TRUE(quick.converged && sampled.converged);
  EXPECT_LT(quick.evaluations, sampled.evaluations);
  for (double e : sampled.ess) EXPECT_GE(e, 2000.0);
}

}  // namespace
}  // namespace tarvex

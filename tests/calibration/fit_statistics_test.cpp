// Goodness-of-fit statistics against values worked out by hand.
#include "calibration/fit_statistics.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace tarvex {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// obs 1 2 3 (the -5 and the NaN are missing), sim 2 2 4:
//   mean obs 2, mean sim 8/3, sim - obs = 1 0 1, sse 2, rmse sqrt(2/3)
//   sum (obs - 2)^2 = 2                    -> NSE = 1 - 2/2 = 0
//   var obs 2/3, var sim 8/9, cov 2/3      -> r = (2/3) / sqrt(16/27) = sqrt(3)/2
//   alpha = sqrt((8/9) / (2/3)) = 2/sqrt(3), beta = 4/3, gamma = alpha/beta = sqrt(3)/2
//   KGE  = 1 - sqrt((r-1)^2 + (alpha-1)^2 + (1/3)^2) = 0.608857...
//   KGE' = 1 - sqrt(2 (r-1)^2 + (1/3)^2)             = 0.616581...
//   PBIAS = 100 * 2 / 6 = 33.33 %
//   eps = 0.02: ln(obs+eps) = 0.019803 0.703098 1.105257 (mean 0.609386,
//   squares about it 0.347608 + 0.008782 + 0.245888 = 0.602278);
//   ln(sim+eps) - ln(obs+eps) = 0.683295 0 0.286025 (squares 0.548702)
//                                          -> log-NSE = 1 - 0.548702/0.602278 = 0.088956
TEST(FitStatistics, HandComputedSeriesWithMissingObservations) {
  const std::vector<double> obs = {1.0, -5.0, 2.0, kNaN, 3.0};
  const std::vector<double> sim = {2.0, 9.0, 2.0, 9.0, 4.0};
  const FitStatistics s = fit_statistics(sim, obs);
  const double r = std::sqrt(3.0) / 2.0;
  EXPECT_EQ(s.pairs, 3);
  EXPECT_DOUBLE_EQ(s.sse, 2.0);
  EXPECT_DOUBLE_EQ(s.rmse, std::sqrt(2.0 / 3.0));
  EXPECT_NEAR(s.nse, 0.0, 1e-15);
  EXPECT_DOUBLE_EQ(s.r, r);
  EXPECT_DOUBLE_EQ(s.alpha, 2.0 / std::sqrt(3.0));
  EXPECT_DOUBLE_EQ(s.beta, 4.0 / 3.0);
  EXPECT_DOUBLE_EQ(s.gamma, r);
  EXPECT_NEAR(s.kge, 0.6088574, 1e-7);
  EXPECT_NEAR(s.kge2012, 0.6165818, 1e-7);
  EXPECT_DOUBLE_EQ(s.pbias, 100.0 / 3.0);
  EXPECT_NEAR(s.log_nse, 0.088956, 1e-6);

  EXPECT_DOUBLE_EQ(objective_value(Objective::sse, s), 2.0);
  EXPECT_NEAR(objective_value(Objective::kge, s), 1.0 - 0.6088574, 1e-7);
  EXPECT_NEAR(objective_value(Objective::lognse, s), 1.0 - 0.088956, 1e-6);

  // A perfect fit scores 0 on every objective; a lower simulation gives a
  // negative bias, minimised as its magnitude.
  const FitStatistics perfect = fit_statistics(std::vector<double>{1, 2, 3}, std::vector<double>{1, 2, 3});
  for (const char* name : {"sse", "nse", "lognse", "kge", "kge2012", "rmse", "pbias"}) {
    const auto o = parse_objective(name);
    ASSERT_TRUE(o) << name;
    EXPECT_EQ(objective_name(*o), name);
    EXPECT_NEAR(objective_value(*o, perfect), 0.0, 1e-15) << name;
  }
  const FitStatistics low = fit_statistics(std::vector<double>{0.5, 1, 1.5}, std::vector<double>{1, 2, 3});
  EXPECT_DOUBLE_EQ(low.pbias, -50.0);
  EXPECT_DOUBLE_EQ(objective_value(Objective::pbias, low), 50.0);
  EXPECT_EQ(parse_objective("NSE"), Objective::nse);
  EXPECT_EQ(parse_objective("KGE2012"), Objective::kge2012);
  EXPECT_EQ(parse_objective("LogNse"), Objective::lognse);
  EXPECT_FALSE(parse_objective("kge2"));
  EXPECT_FALSE(parse_objective("ns"));
}

// No usable pair, or a simulated NaN, must not look like a good fit.
TEST(FitStatistics, NothingToCompareOrFailedSimulationGivesNaN) {
  const FitStatistics none = fit_statistics(std::vector<double>{1, 2}, std::vector<double>{-1, kNaN});
  EXPECT_EQ(none.pairs, 0);
  EXPECT_TRUE(std::isnan(objective_value(Objective::sse, none)));
  const FitStatistics failed = fit_statistics(std::vector<double>{1, kNaN}, std::vector<double>{1, 2});
  EXPECT_TRUE(std::isnan(objective_value(Objective::sse, failed)));
  EXPECT_TRUE(std::isnan(objective_value(Objective::kge, failed)));
  EXPECT_THROW(fit_statistics(std::vector<double>{1}, std::vector<double>{1, 2}), std::invalid_argument);
}

}  // namespace
}  // namespace tarvex

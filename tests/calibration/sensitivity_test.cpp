// The numerics of the sensitivity analyses: the Sobol' sequence against the
// published Joe-Kuo points, the Jansen estimators and the Morris effects on
// functions whose indices are known in closed form.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <vector>

#include "calibration/morris.hpp"
#include "calibration/sobol_indices.hpp"
#include "calibration/sobol_sequence.hpp"

namespace tarvex {
namespace {

TEST(SobolSequence, MatchesPublishedPoints) {
  const SobolSequence seq(40);
  std::vector<double> x(40);
  // Points 0 to 7 of dimensions 1 to 6, Gray-code order.
  const double first[8][6] = {{0, 0, 0, 0, 0, 0},
                              {0.5, 0.5, 0.5, 0.5, 0.5, 0.5},
                              {0.75, 0.25, 0.25, 0.25, 0.75, 0.75},
                              {0.25, 0.75, 0.75, 0.75, 0.25, 0.25},
                              {0.375, 0.375, 0.625, 0.875, 0.375, 0.125},
                              {0.875, 0.875, 0.125, 0.375, 0.875, 0.625},
                              {0.625, 0.125, 0.875, 0.625, 0.625, 0.875},
                              {0.125, 0.625, 0.375, 0.125, 0.125, 0.375}};
  for (int k = 0; k < 8; ++k) {
    seq.point(static_cast<uint64_t>(k), x);
    for (int d = 0; d < 6; ++d) EXPECT_EQ(x[static_cast<std::size_t>(d)], first[k][d]) << k << " " << d;
  }
  // Later points reach the direction numbers of every degree up to 8
  // (dimensions 1, 2, 3, 9, 18, 40).
  const int dims[6] = {0, 1, 2, 8, 17, 39};
  const struct {
    uint64_t k;
    double v[6];
  } later[] = {
      {1000, {0.2197265625, 0.0966796875, 0.5185546875, 0.5009765625, 0.3447265625, 0.4794921875}},
      {40000,
       {0.0245819091796875, 0.4809112548828125, 0.2424774169921875, 0.3511810302734375, 0.7907867431640625,
        0.7976531982421875}},
      {65535,
       {1.52587890625e-05, 0.9999847412109375, 0.5637969970703125, 0.8950958251953125, 0.1863250732421875,
        0.4355621337890625}},
  };
  for (const auto& p : later) {
    seq.point(p.k, x);
    for (int d = 0; d < 6; ++d) EXPECT_EQ(x[static_cast<std::size_t>(dims[d])], p.v[d]) << p.k << " " << dims[d];
  }
  EXPECT_THROW(SobolSequence(41), std::invalid_argument);
}

TEST(SobolSequence, ShiftedSequenceKeepsItsStrata) {
  // Each dimension of the first 2^m points, shifted or not, holds one point
  // in each interval of width 2^-m; seeds give other points.
  const SobolSequence a(18, 7), b(18, 8);
  std::vector<double> x(18), y(18);
  std::vector<std::set<int>> cells(18);
  bool differ = false;
  for (uint64_t k = 0; k < 64; ++k) {
    a.point(k, x);
    b.point(k, y);
    for (std::size_t d = 0; d < 18; ++d) {
      ASSERT_GE(x[d], 0.0);
      ASSERT_LT(x[d], 1.0);
      cells[d].insert(static_cast<int>(x[d] * 64));
      differ = differ || x[d] != y[d];
    }
  }
  for (const std::set<int>& c : cells) EXPECT_EQ(c.size(), 64u);
  EXPECT_TRUE(differ);
}

// Values of the scheme for f on rows of a 2k-dimensional sequence.
template <class F>
std::vector<double> scheme_values(F f, int k, int rows, uint64_t seed) {
  const SobolSequence seq(2 * k, seed);
  std::vector<double> ab(static_cast<std::size_t>(2 * k)), out;
  for (int j = 0; j < rows; ++j) {
    seq.point(static_cast<uint64_t>(j), ab);
    for (const std::vector<double>& x : saltelli_row(ab, k)) out.push_back(f(x));
  }
  return out;
}

TEST(SobolIndices, ProductWithAnInertFactor) {
  // f = x1 x2 on the unit square, x3 inert: V = 7/144, S1 = 3/7 and
  // ST = 4/7 for x1 and x2, both 0 for x3.
  auto f = [](const std::vector<double>& x) { return x[0] * x[1]; };
  std::vector<double> v = scheme_values(f, 3, 4096, 3);
  const SobolIndices r = sobol_indices(v, 3, 200, 5);
  EXPECT_EQ(r.rows, 4096);
  EXPECT_NEAR(r.variance, 7.0 / 144.0, 1e-4);
  for (int i = 0; i < 2; ++i) {
    EXPECT_NEAR(r.first[static_cast<std::size_t>(i)], 3.0 / 7.0, 0.01) << i;
    EXPECT_NEAR(r.total[static_cast<std::size_t>(i)], 4.0 / 7.0, 0.01) << i;
    EXPECT_LT(r.first_low[static_cast<std::size_t>(i)], r.first[static_cast<std::size_t>(i)]);
    EXPECT_GT(r.total_high[static_cast<std::size_t>(i)], r.total[static_cast<std::size_t>(i)]);
  }
  // A factor the function ignores changes no value: its total index is 0.
  EXPECT_EQ(r.total[2], 0.0);
  EXPECT_NEAR(r.first[2], 0.0, 0.01);

  // The same values with the factors listed the other way round.
  auto g = [](const std::vector<double>& x) { return x[1] * x[2]; };
  const SobolIndices s = sobol_indices(scheme_values(g, 3, 4096, 3), 3, 0, 0);
  EXPECT_EQ(s.total[0], 0.0);
  EXPECT_NEAR(s.total[2], 4.0 / 7.0, 0.01);
  EXPECT_TRUE(std::isnan(s.first_low[0]));  // no bootstrap asked

  // A row holding a failed run is left out whole.
  v[5 * 8 + 3] = std::numeric_limits<double>::infinity();
  EXPECT_EQ(sobol_indices(v, 3, 0, 0).rows, 4095);
  EXPECT_THROW(sobol_indices(std::vector<double>(8, 1.0), 3, 0, 0), std::invalid_argument);
}

TEST(SobolIndices, AdditiveFunctionSharesItsVariance) {
  // f = x1 + 2 x2 + 3 x3: S1 = ST = c_i^2 / 14.
  auto f = [](const std::vector<double>& x) { return x[0] + 2 * x[1] + 3 * x[2]; };
  const SobolIndices r = sobol_indices(scheme_values(f, 3, 2048, 11), 3, 0, 0);
  for (int i = 0; i < 3; ++i) {
    const double c = i + 1.0;
    EXPECT_NEAR(r.first[static_cast<std::size_t>(i)], c * c / 14.0, 0.01);
    EXPECT_NEAR(r.total[static_cast<std::size_t>(i)], c * c / 14.0, 0.01);
  }
}

TEST(Morris, TrajectoriesAndEffects) {
  const MorrisDesign d = morris_design(5, 6, 4, 42);
  ASSERT_EQ(d.points.size(), 36u);
  EXPECT_DOUBLE_EQ(d.delta, 2.0 / 3.0);
  for (int t = 0; t < 6; ++t) {
    std::set<int> moved;
    for (int s = 0; s <= 5; ++s) {
      const std::size_t m = static_cast<std::size_t>(t * 6 + s);
      for (double u : d.points[m]) {
        // On the grid 0, 1/3, 2/3, 1.
        EXPECT_NEAR(u * 3, std::round(u * 3), 1e-12);
        EXPECT_GE(u, 0.0);
        EXPECT_LE(u, 1.0);
      }
      if (s == 0) {
        EXPECT_EQ(d.moved[m], -1);
        continue;
      }
      const int i = d.moved[m];
      moved.insert(i);
      for (int j = 0; j < 5; ++j) {
        const double step = d.points[m][static_cast<std::size_t>(j)] - d.points[m - 1][static_cast<std::size_t>(j)];
        EXPECT_NEAR(std::fabs(step), j == i ? d.delta : 0.0, 1e-12);
      }
    }
    EXPECT_EQ(moved.size(), 5u);  // every factor once per trajectory
  }
  EXPECT_THROW(morris_design(5, 6, 3, 1), std::invalid_argument);

  // A linear function: each effect is its coefficient, so mu = c, mu* = |c|,
  // sigma = 0; an inert factor has none.
  const double c[5] = {3.0, -2.0, 0.5, 0.0, -7.0};
  std::vector<double> f;
  for (const std::vector<double>& x : d.points) {
    double v = 1.0;
    for (int j = 0; j < 5; ++j) v += c[j] * x[static_cast<std::size_t>(j)];
    f.push_back(v);
  }
  MorrisIndices r = morris_indices(d, f);
  for (std::size_t j = 0; j < 5; ++j) {
    EXPECT_NEAR(r.mu[j], c[j], 1e-9);
    EXPECT_NEAR(r.mu_star[j], std::fabs(c[j]), 1e-9);
    EXPECT_NEAR(r.sigma[j], 0.0, 1e-9);
    EXPECT_EQ(r.effects[j], 6);
  }
  // A failed run removes the two effects it takes part in.
  f[8] = std::numeric_limits<double>::infinity();
  r = morris_indices(d, f);
  int used = 0;
  for (int e : r.effects) used += e;
  EXPECT_EQ(used, 28);
  EXPECT_NEAR(r.mu_star[4], 7.0, 1e-9);
}

}  // namespace
}  // namespace tarvex

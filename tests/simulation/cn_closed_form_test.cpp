// Event runoff against the curve-number relation (USDA-SCS, NEH-4 / TR-55):
//   Q = (P - Ia)^2 / (P - Ia + S) for P > Ia, 0 otherwise,
//   Ia = lambda S,  S = 25400 / CN - 254 mm,
// evaluated in double. The retention comes from the curve-number grid as the
// loader converts it, the runoff from CN_METHOD. The model works in 4-byte
// reals: S = 254 (100 / CN - 1) carries an absolute error of a few float
// epsilons of 254 + 2 S (the subtraction of 1 near CN = 100), the runoff a
// few of P + S; dQ/dP and dQ/dS are below 2 in size: 4 epsilons of
// P + 2 S + 254 hold both, with a factor 2 to spare.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "load/soil_storativity.hpp"
#include "sim_state.hpp"
#include "support/grid_reference.hpp"

namespace tarvex {
namespace {

constexpr double kEps = 0x1p-24;  // half a float ulp, relative

double retention(double cn) { return 25400.0 / cn - 254.0; }

double closed_form(double P, double S, double lambda) {
  const double Ia = lambda * S;
  return P > Ia ? (P - Ia) * (P - Ia) / (P - Ia + S) : 0.0;
}

// Rounding allowance of one evaluation, mm.
double tolerance(double P, double S) { return 4.0 * kEps * (P + 2.0 * S + 254.0); }

const std::vector<double> kCurveNumbers = {30.0, 45.0, 55.0, 65.0, 72.0, 80.0, 86.0, 91.0, 95.0, 98.0, 99.0};

// One row of cells, one curve number each, rained on by one gauge.
struct Row {
  std::unique_ptr<ModelState> s;
  Grid<float> runoff;
  Grid<int32_t> map_step;
  Grid<float> w_step;

  Row(const std::vector<double>& cns, float lambda) {
    const int32_t n = static_cast<int32_t>(cns.size());
    s = test::sim_state(1, n);
    s->control.RUN_MODE = 2;
    s->params.IA_RATIO = lambda;
    s->forcing.N_DATA = 16;
    s->plan_steps();
    std::string grid;
    for (double cn : cns) grid += std::to_string(cn) + " ";
    auto r = GridReader::from_text(grid + "\n", "cn.txt");
    SOIL_STORATIVITY(*s, r);
    runoff.resize(1, n);
    map_step.resize(1, n);
    w_step.resize(4, n);
  }
  // Rain P (mm) in record n, one step per record.
  void rain(int32_t n, double P) {
    s->forcing.RAIN_DATA(n, 1) = static_cast<float>(P);
    reference::CN_METHOD(*s, n, 0, runoff, map_step, w_step);
  }
};

TEST(CnClosedForm, OneStormOverTheRangeOfRainAndCurveNumbers) {
  for (float lambda : {0.2f, 0.05f}) {
    // Each storm on a fresh row: the relation applies to the rain since the
    // start of the event. The depths include the initial abstraction of
    // every cell, just below and just above it.
    std::vector<double> depths = {0.0, 0.3, 1.0, 2.5, 6.0, 12.0, 25.0, 40.0, 60.0, 90.0, 130.0, 200.0, 320.0, 500.0};
    for (double cn : kCurveNumbers) {
      const double Ia = static_cast<double>(lambda) * retention(cn);
      for (double f : {0.999, 1.0, 1.001}) depths.push_back(Ia * f);
    }
    for (double P : depths) {
      Row row(kCurveNumbers, lambda);
      row.rain(1, P);
      const double Pf = static_cast<float>(P);  // the rain the model receives
      for (int32_t j = 1; j <= static_cast<int32_t>(kCurveNumbers.size()); ++j) {
        const double S = retention(kCurveNumbers[static_cast<std::size_t>(j - 1)]);
        const double Q = closed_form(Pf, S, lambda);
        SCOPED_TRACE(::testing::Message() << "lambda " << lambda << ", P " << Pf << " mm, CN "
                                          << kCurveNumbers[static_cast<std::size_t>(j - 1)]);
        EXPECT_NEAR(row.runoff(1, j), Q, tolerance(Pf, S));
        EXPECT_NEAR(row.s->run.INFILTRATION(1, j), Pf - Q, tolerance(Pf, S));
        if (Pf <= static_cast<double>(lambda) * S * (1.0 - 64.0 * kEps)) {
          // Below the initial abstraction nothing runs off, exactly.
          EXPECT_EQ(row.runoff(1, j), 0.0f);
          EXPECT_EQ(row.s->run.INFILTRATION(1, j), static_cast<float>(Pf));
        }
      }
    }
  }
}

TEST(CnClosedForm, AStormInStepsRunsOffWhatItWouldAtOnce) {
  // Uneven steps, dry ones among them: each step yields the growth of the
  // closed form over it, and the event total is the closed form of the total.
  const double steps[] = {3.0, 0.0, 11.5, 27.0, 0.4, 0.0, 58.0, 9.0, 1.2, 40.0};
  Row row(kCurveNumbers, 0.2f);
  std::vector<double> total(kCurveNumbers.size(), 0.0);
  double P = 0.0;
  int32_t n = 0;
  for (double p : steps) {
    const double before = P;
    row.rain(++n, p);
    P += static_cast<float>(p);
    for (std::size_t k = 0; k < kCurveNumbers.size(); ++k) {
      const double S = retention(kCurveNumbers[k]);
      const double q = closed_form(P, S, 0.2) - closed_form(before, S, 0.2);
      SCOPED_TRACE(::testing::Message() << "step " << n << ", CN " << kCurveNumbers[k]);
      EXPECT_NEAR(row.runoff(1, static_cast<int32_t>(k) + 1), q, 2.0 * tolerance(P, S));
      total[k] += row.runoff(1, static_cast<int32_t>(k) + 1);
    }
  }
  for (std::size_t k = 0; k < kCurveNumbers.size(); ++k) {
    const double S = retention(kCurveNumbers[k]);
    EXPECT_NEAR(total[k], closed_form(P, S, 0.2), 2.0 * n * tolerance(P, S)) << "CN " << kCurveNumbers[k];
  }
}

TEST(CnClosedForm, CurveNumber100RunsOffAllTheRain) {
  // S = 0 is held at 0.0001 mm, which keeps Q within 0.0001 mm of P.
  for (double P : {0.01, 1.0, 30.0, 250.0}) {
    Row fresh({100.0}, 0.2f);
    fresh.rain(1, P);
    EXPECT_NEAR(fresh.runoff(1, 1), P, 1e-4 + tolerance(P, 0.0)) << P;
  }
}

}  // namespace
}  // namespace tarvex

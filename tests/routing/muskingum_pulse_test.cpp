// A small flood pulse on a steady flow in a straight uniform channel, routed
// by ROUTING, against the linear diffusive wave
//   dQ/dt + c dQ/dx = Dh d2Q/dx2,  c = dQ/dA,  Dh = Q / (2 S W)
// (Cunge 1969). Its impulse response over a reach of length x has mean delay
// x / c and variance 2 Dh x / c^3 (the first two moments of the inverse
// Gaussian travel-time law), so between two cross-sections of the channel the
// pulse's centroid moves by x / c and its variance grows by 2 Dh x / c^3,
// whatever the pulse's shape upstream.
//
// The Muskingum-Cunge scheme with constant coefficients reproduces both
// moments exactly on any grid (its numerical diffusion is matched to Dh), as
// long as the diffusion number is not raised to 1 - Cr. What remains is the
// pulse's own height: the coefficients follow the reference discharge, and a
// pulse of relative height eps moves the celerity by at most
// (dln c / dln Q) eps < eps / 4 (at its peak). That bounds the error of the
// travel time by eps/4 of it, and the error of the variance by the shear
// across the pulse, 2 sigma T eps/4 (sigma the pulse's duration, T the travel
// time); the channels are chosen so that this is a few per cent of the
// spread.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/grid_reference.hpp"
#include "open_channel.hpp"
#include "routing_fixture.hpp"

namespace tarvex {
namespace {

struct Channel {
  int32_t cells;     // routed cells; the end cell of the path follows them
  float dx;          // m, cell size along the channel
  float dt;          // s, simulation step
  float slope;       // bed slope
  float ks;          // Strickler coefficient, m^(1/3)/s
  float wd;          // width-to-depth ratio of the section
  double q0;         // m3/s, steady base flow
  double eps;        // pulse height over the base flow
};

// Duration (standard deviation) of the pulse, steps.
constexpr double kPulseSd = 3.0;

struct Moments {
  double mean = 0.0, var = 0.0;  // s, s2
};

// Centroid and variance in time of the flow above the base flow.
Moments moments(const std::vector<double>& q, double q0, double dt) {
  double m0 = 0.0, m1 = 0.0, m2 = 0.0;
  for (std::size_t k = 0; k < q.size(); ++k) {
    const double y = q[k] - q0, t = static_cast<double>(k) * dt;
    m0 += y;
    m1 += y * t;
    m2 += y * t * t;
  }
  Moments m;
  m.mean = m1 / m0;
  m.var = m2 / m0 - m.mean * m.mean;
  return m;
}

struct Routed {
  std::vector<double> upper, lower;  // outflow of the two cross-section cells, m3/s
};

// A 1 x (cells + 1) grid, every cell a channel cell draining east with the
// same roughness (KS_CHAN_TOP = KS_CHAN_OUT), at steady flow q0; a Gaussian
// pulse enters the head cell, and the outflows of cells `upper` and `lower`
// are recorded at every step.
Routed route_pulse(const Channel& ch, int32_t upper, int32_t lower, int32_t steps) {
  const int32_t nj = ch.cells + 1;
  auto s = test::routing_state(1, nj);
  s->catchment.CELL_DX = ch.dx;
  s->catchment.CELL_DY = ch.dx;
  s->params.DT_SIM = ch.dt;
  s->plan_steps();
  s->params.A_CHANNEL = 0.0f;
  s->params.WD_CHAN = ch.wd;
  s->params.KS_CHAN_TOP = ch.ks;
  s->params.KS_CHAN_OUT = ch.ks;
  s->catchment.OUTLET_I = 1;
  s->catchment.OUTLET_J = nj;
  s->catchment.SLOPE.fill(ch.slope);
  for (int32_t j = 1; j <= nj; ++j) {
    s->catchment.FLOW_DIR(1, j) = 6;
    s->catchment.AREA_CELLS(1, j) = j;
    s->run.QIN_SUP_OLD(1, j) = static_cast<float>(ch.q0);
    s->run.QOUT_SUP_OLD(1, j) = static_cast<float>(ch.q0);
  }
  test::add_path(*s, 1, 1, 1, nj);
  Grid<float> runoff;
  runoff.resize(1, nj);

  const double t0 = 4.0 * kPulseSd * ch.dt, sd = kPulseSd * ch.dt;
  Routed r;
  for (int32_t k = 0; k < steps; ++k) {
    const double t = static_cast<double>(k) * ch.dt;
    s->run.QIN_SUP(1, 1) = static_cast<float>(ch.q0 * (1.0 + ch.eps * std::exp(-0.5 * (t - t0) * (t - t0) / (sd * sd))));
    reference::ROUTING(*s, runoff);
    r.upper.push_back(s->run.QOUT_SUP(1, upper));
    r.lower.push_back(s->run.QOUT_SUP(1, lower));
    // Next step: this step's flows become the previous step's.
    s->run.QIN_SUP_OLD = s->run.QIN_SUP;
    s->run.QOUT_SUP_OLD = s->run.QOUT_SUP;
    s->run.QIN_SUP.fill(0.0f);
    s->run.QOUT_SUP.fill(0.0f);
  }
  return r;
}

void expect_diffusive_wave(const Channel& ch) {
  const test::Section sec = test::strickler_section(ch.q0, ch.ks, ch.slope, ch.wd);
  const double W = sec.W, c = sec.c, Dh = sec.Dh;
  // The scheme must not raise its diffusion number here (Cr + D >= 1).
  ASSERT_GE(c * ch.dt / ch.dx + 2.0 * Dh / (c * ch.dx), 1.0);

  const int32_t upper = 5, lower = ch.cells - 5;
  const double x = static_cast<double>(lower - upper) * ch.dx;
  const double travel = x / c;
  const double spread = 2.0 * Dh * x / (c * c * c);
  // Long enough for the pulse to pass the lower section completely.
  const int32_t steps = static_cast<int32_t>((ch.cells * ch.dx / c + 30.0 * std::sqrt(spread)) / ch.dt) + 60;

  const Routed r = route_pulse(ch, upper, lower, steps);
  const Moments a = moments(r.upper, ch.q0, ch.dt);
  const Moments b = moments(r.lower, ch.q0, ch.dt);
  SCOPED_TRACE(::testing::Message() << "c = " << c << " m/s, W = " << W << " m, Dh = " << Dh << " m2/s");
  const double shear = 2.0 * kPulseSd * ch.dt * travel * ch.eps / 4.0;
  ASSERT_LT(shear, 0.05 * spread);
  EXPECT_NEAR(b.mean - a.mean, travel, ch.eps / 4.0 * travel);
  EXPECT_NEAR(b.var - a.var, spread, shear);
  // Nothing is lost or gained: the pulse's volume arrives whole.
  double va = 0.0, vb = 0.0;
  for (std::size_t k = 0; k < r.upper.size(); ++k) {
    va += r.upper[k] - ch.q0;
    vb += r.lower[k] - ch.q0;
  }
  EXPECT_NEAR(vb, va, 1e-3 * va);
}

TEST(MuskingumPulse, LowlandRiverTranslatesAndSpreadsLikeTheDiffusiveWave) {
  // c ~ 1.2 m/s, Dh ~ 310 m2/s, Cr ~ 0.75, D ~ 0.5.
  expect_diffusive_wave({40, 1000.0f, 600.0f, 0.001f, 30.0f, 20.0f, 10.0, 0.01});
}

TEST(MuskingumPulse, LargeRiverWithCourantNumberAboveOne) {
  // c ~ 1.7 m/s, Dh ~ 1600 m2/s, Cr ~ 3, D ~ 3.8.
  expect_diffusive_wave({40, 500.0f, 900.0f, 0.0005f, 35.0f, 40.0f, 100.0, 0.01});
}

}  // namespace
}  // namespace tarvex

#include <gtest/gtest.h>

#include <cmath>

#include "io/input_error.hpp"
#include "routing/celerity.hpp"
#include "open_channel.hpp"
#include "routing_fixture.hpp"

namespace tarvex {
namespace {

using test::routing_state;

struct Coefs {
  float c1, c2, c3, c4;
  bool operator==(const Coefs&) const = default;
};

Coefs sup(const ModelState& s, int32_t i, int32_t j) {
  return {s.run.C1_SUP(i, j), s.run.C2_SUP(i, j), s.run.C3_SUP(i, j), s.run.C4_SUP(i, j)};
}

TEST(CelerSup, DryCellMatchesHandComputedCoefficients) {
  auto s = routing_state(3, 3);
  CELER_SUP(*s, 2, 2, 2, 3);
  // r = 10, K = 20, S = 0.01, Q = 0.0001 m3/s, L = 100 m, dt = 3600 s:
  // W = 0.10762 m, ck = 0.13430 m/s, D = 0.0069187, Cr = 4.8347.
  const Coefs c = sup(*s, 2, 2);
  EXPECT_NEAR(c.c1, 0.6576294, 2e-6);
  EXPECT_NEAR(c.c2, 0.9976312, 2e-6);
  EXPECT_NEAR(c.c3, -0.6552606, 2e-6);
  EXPECT_NEAR(c.c4, 1.6552606, 2e-6);
  EXPECT_NEAR(static_cast<double>(c.c1) + c.c2 + c.c3, 1.0, 1e-6);
  EXPECT_EQ(s->run.C1_SUP(2, 3), 0.0f);  // only the one cell is written

  // Negative flows, and any flow on a cell without area, floor to the same Q.
  s->run.QIN_SUP(2, 2) = -3.0f;
  CELER_SUP(*s, 2, 2, 2, 3);
  EXPECT_EQ(sup(*s, 2, 2), c);
  s->run.QIN_SUP(2, 2) = 30.0f;
  s->catchment.AREA_CELLS(2, 2) = 0;
  CELER_SUP(*s, 2, 2, 2, 3);
  EXPECT_EQ(sup(*s, 2, 2), c);
}

TEST(CelerSup, SmallCourantNumberGivesTheDiffusionCorrection) {
  auto s = routing_state(3, 3);
  s->params.DT_SIM = 60.0f;  // Cr = 0.0806, D = 0.0069: Cr + D < 1
  s->plan_steps();
  CELER_SUP(*s, 2, 2, 3, 2);
  const Coefs c = sup(*s, 2, 2);
  const double Cr = 0.0805784;
  EXPECT_NEAR(c.c1, 0.0, 1e-7);
  EXPECT_NEAR(c.c2, Cr, 1e-6);
  EXPECT_NEAR(c.c3, 1.0 - Cr, 1e-6);
  EXPECT_EQ(c.c2, c.c4);

  // C2 = Cr is inversely proportional to the flow length: the mean cell
  // size along either axis, 1.4142 times it diagonally (not sqrt 2).
  CELER_SUP(*s, 2, 2, 2, 1);
  EXPECT_EQ(s->run.C2_SUP(2, 2), c.c2);
  for (auto [in, jn] : {std::pair{1, 1}, {1, 3}, {3, 1}, {3, 3}}) {
    CELER_SUP(*s, 2, 2, in, jn);
    EXPECT_NEAR(static_cast<double>(c.c2) / s->run.C2_SUP(2, 2), 1.4142, 1e-6);
  }
}

TEST(CelerSup, ChannelCellAtTheOutletUsesTheOutletRoughness) {
  auto hill = routing_state(3, 3);
  hill->run.QIN_SUP(2, 2) = 1.5f;
  CELER_SUP(*hill, 2, 2, 3, 3);
  auto chan = routing_state(3, 3);
  chan->run.QIN_SUP(2, 2) = 1.5f;
  chan->params.A_CHANNEL = 0.01f;  // every cell is a channel cell
  chan->catchment.ELEVATION(2, 2) = chan->catchment.ELEVATION(3, 3);
  CELER_SUP(*chan, 2, 2, 3, 3);
  // Same section (WD_CHAN = WD_HILL) and KS_CHAN_OUT = KS_CLASS(1).
  EXPECT_EQ(sup(*chan, 2, 2), sup(*hill, 2, 2));
}

// Each cell's coefficients carry the diffusive wave of its own section: the
// response of one cell is delayed by L / c on average and spread by
// 2 Dh L / c^3, with c and Dh those of the reference discharge (the mean of
// this step's inflow, the previous inflow and the previous outflow) in a
// section of the cell's roughness: the class's on hillslopes; in channels,
// geometric in elevation from KS_CHAN_OUT at the outlet to KS_CHAN_TOP at
// 3282 m. L is the mean cell size, 1.4142 times it to a diagonal neighbour.
TEST(CelerSup, CoefficientsDelayAndSpreadLikeTheDiffusiveWave) {
  auto s = routing_state(4, 4);
  s->params.NCLASS = 3;
  s->params.KS_CLASS(2) = 12.5f;
  s->params.KS_CLASS(3) = 33.0f;
  s->catchment.ROUGH_CLASS(1, 2) = 2;
  s->catchment.ROUGH_CLASS(3, 3) = 3;
  s->params.WD_CHAN = 4.0f;
  s->params.A_CHANNEL = 0.05f;
  s->catchment.AREA_CELLS(2, 2) = 9;  // channel cells
  s->catchment.AREA_CELLS(4, 1) = 40;
  s->catchment.ELEVATION(2, 2) = 812.25f;
  s->catchment.ELEVATION(4, 1) = 3282.0f;
  s->catchment.ELEVATION(4, 4) = 420.0f;  // the outlet
  s->catchment.SLOPE(1, 2) = 0.0001f;
  s->catchment.SLOPE(3, 3) = 0.62f;
  float q = 0.013f;
  for (int32_t i = 1; i <= 4; ++i) {
    for (int32_t j = 1; j <= 4; ++j, q *= 2.3f) {
      s->run.QIN_SUP(i, j) = q;
      s->run.QIN_SUP_OLD(i, j) = 2.0f * q;
      s->run.QOUT_SUP_OLD(i, j) = 0.5f * q;
    }
  }
  const double z_out = 420.0, k_top = s->params.KS_CHAN_TOP, k_out = s->params.KS_CHAN_OUT;
  const auto channel_k = [&](double z) { return k_out * std::pow(k_top / k_out, (z - z_out) / (3282.0 - z_out)); };
  struct Case {
    int32_t i, j, in, jn;
    double K, r;
  };
  const Case cases[] = {
      {1, 2, 2, 3, 12.5, 10.0},                 // class 2, gentle slope, diagonal
      {2, 2, 3, 3, channel_k(812.25), 4.0},     // channel, diagonal
      {3, 3, 4, 3, 33.0, 10.0},                 // class 3, steep
      {4, 1, 4, 2, k_top, 4.0},                 // channel at the reference top
      {1, 1, 2, 2, 20.0, 10.0},                 // class 1
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "cell " << c.i << "," << c.j);
    const double Q = (3.5 * static_cast<double>(s->run.QIN_SUP(c.i, c.j))) / 3.0;
    const double L = c.i != c.in && c.j != c.jn ? 100.0 * 1.4142 : 100.0;
    const test::Section sec = test::strickler_section(Q, c.K, s->catchment.SLOPE(c.i, c.j), c.r);
    const double dt = s->params.DT_SIM, delay = L / sec.c, spread = 2.0 * sec.Dh * L / std::pow(sec.c, 3.0);
    // The diffusion number is not raised here: Cr + D >= 1.
    ASSERT_GE(sec.c * dt / L + 2.0 * sec.Dh / (sec.c * L), 1.0);

    CELER_SUP(*s, c.i, c.j, c.in, c.jn);
    const Coefs k = sup(*s, c.i, c.j);
    EXPECT_NEAR(static_cast<double>(k.c1) + k.c2 + k.c3, 1.0, 1e-6);
    EXPECT_NEAR(k.c4, 1.0 - static_cast<double>(k.c3), 1e-6);  // lateral inflow kept whole
    const test::CellMoments m = test::cell_moments(k.c1, k.c2, k.c3);
    // The coefficients are floats: half an ulp each, amplified where the
    // moments take differences of them (large Courant numbers), on top of
    // the float celerity (1e-6).
    const double u = 0x1p-24, c1 = k.c1, c2 = k.c2, c3 = k.c3, a = c1 + c2;
    const double mean_tol = 2.0 * u * (std::abs(c2) + std::abs(c3) + m.mean * (std::abs(c1) + std::abs(c2))) / a;
    EXPECT_NEAR(m.mean * dt, delay, mean_tol * dt + 1e-6 * delay);
    const double terms = (std::abs(c1 * c2) / (a * a) + std::abs(c3) / ((1.0 - c3) * (1.0 - c3))) * dt * dt;
    if (terms < 1e5 * spread) {  // else the terms cancel down to their rounding
      EXPECT_NEAR(m.var * dt * dt, spread, 4.0 * u * terms + 1e-5 * spread);
    }
  }
}

TEST(CelerSup, RoughnessClassOutsideTheTableIsRefused) {
  auto s = routing_state(2, 2);
  for (int32_t cls : {0, 4}) {
    s->catchment.ROUGH_CLASS(1, 1) = cls;
    EXPECT_THROW(CELER_SUP(*s, 1, 1, 1, 2), InputError);
  }
  EXPECT_THROW(CELER_SUP(*s, 3, 1, 2, 1), InputError);  // cell off the grid
}

TEST(CelerSub, DelaysByTheSubsurfaceCelerityAndSpreadsWithTwiceTheSurfaceDiffusivity) {
  auto s = routing_state(3, 3);
  s->params.K_SUB = 1.0f;          // ck = K_SUB * slope = 0.01 m/s
  s->run.QIN_SUB(2, 2) = 3.0f;  // Q = 1 m3/s
  CELER_SUB(*s, 2, 2, 2, 1);
  const double c1 = s->run.C1_SUB(2, 2), c2 = s->run.C2_SUB(2, 2), c3 = s->run.C3_SUB(2, 2), c4 = s->run.C4_SUB(2, 2);
  EXPECT_NEAR(c1 + c2 + c3, 1.0, 1e-6);
  EXPECT_NEAR(c4, 1.0 - c3, 1e-6);
  // Delay L / ck = 1e4 s; diffusivity Q / (S W_SUB) = 1 m2/s, spread
  // 2 * 1 * 100 / 0.01^3 = 2e8 s2 (Cr = 0.36, D = 2: not raised).
  const test::CellMoments m = test::cell_moments(c1, c2, c3);
  EXPECT_NEAR(m.mean * 3600.0, 1e4, 1e-5 * 1e4);
  EXPECT_NEAR(m.var * 3600.0 * 3600.0, 2e8, 1e-5 * 2e8);
  EXPECT_EQ(s->run.C1_SUP(2, 2), 0.0f);  // surface coefficients untouched
}

}  // namespace
}  // namespace tarvex

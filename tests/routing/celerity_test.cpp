#include <gtest/gtest.h>

#include <cmath>

#include "io/input_error.hpp"
#include "routing/celerity.hpp"
#include "routing_fixture.hpp"

namespace tarvex {
namespace {

using test::routing_state;

struct Coefs {
  float c1, c2, c3, c4;
  bool operator==(const Coefs&) const = default;
};

Coefs sup(const ModelState& s, int32_t i, int32_t j) {
  return {s.C1_SUP(i, j), s.C2_SUP(i, j), s.C3_SUP(i, j), s.C4_SUP(i, j)};
}

// The surface law written out term by term, without the per-step constants
// that the routing precomputes.
Coefs surface_by_formula(const ModelState& s, int32_t i, int32_t j, int32_t in, int32_t jn) {
  const float z_out = s.ELEVATION(s.OUTLET_I, s.OUTLET_J);
  const float a = s.CELL_DX * s.CELL_DY / 1000000.0f;
  float L = (s.CELL_DX + s.CELL_DY) / 2.0f;
  if (i != in && j != jn) L = ((s.CELL_DX + s.CELL_DY) / 2.0f) * 1.4142f;
  float Q = (s.QIN_SUP(i, j) + s.QIN_SUP_OLD(i, j) + s.QOUT_SUP_OLD(i, j)) / 3.0f;
  if (Q <= 0.0f) Q = 0.0001f;
  float r = s.WD_HILL, K = s.KS_CLASS(s.ROUGH_CLASS(i, j));
  if (static_cast<float>(s.AREA_CELLS(i, j)) * a >= s.A_CHANNEL) {
    r = s.WD_CHAN;
    K = s.KS_CHAN_OUT *
        std::exp(std::log(s.KS_CHAN_TOP / s.KS_CHAN_OUT) / (3282.0f - z_out) * (s.ELEVATION(i, j) - z_out));
  }
  const float S = s.SLOPE(i, j);
  const float W = std::pow(std::pow(r + 2.0f, 0.6666667f) * Q * r / (K * std::sqrt(S)), 0.375f);
  const float ck =
      std::pow(r + 2.0f, -1.6666666f) * (K * std::sqrt(S) * std::pow(W, 0.6666667f)) * (1.6666666f * r + 2.0f);
  double D = static_cast<double>(Q) / (static_cast<double>(S) * ck * static_cast<double>(W) * L);
  const double Cr = static_cast<double>(ck) * s.DT_SIM / L;
  if (Cr + D < 1.0) D = 1.0 - Cr;
  const double den = Cr + 1.0 + D;
  return {static_cast<float>((Cr - 1.0 + D) / den), static_cast<float>((Cr + 1.0 - D) / den),
          static_cast<float>((1.0 - Cr + D) / den), static_cast<float>(2.0 * Cr / den)};
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
  EXPECT_EQ(s->C1_SUP(2, 3), 0.0f);  // only the one cell is written

  // Negative flows, and any flow on a cell without area, floor to the same Q.
  s->QIN_SUP(2, 2) = -3.0f;
  CELER_SUP(*s, 2, 2, 2, 3);
  EXPECT_EQ(sup(*s, 2, 2), c);
  s->QIN_SUP(2, 2) = 30.0f;
  s->AREA_CELLS(2, 2) = 0;
  CELER_SUP(*s, 2, 2, 2, 3);
  EXPECT_EQ(sup(*s, 2, 2), c);
}

TEST(CelerSup, SmallCourantNumberGivesTheDiffusionCorrection) {
  auto s = routing_state(3, 3);
  s->DT_SIM = 60.0f;  // Cr = 0.0806, D = 0.0069: Cr + D < 1
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
  EXPECT_EQ(s->C2_SUP(2, 2), c.c2);
  for (auto [in, jn] : {std::pair{1, 1}, {1, 3}, {3, 1}, {3, 3}}) {
    CELER_SUP(*s, 2, 2, in, jn);
    EXPECT_NEAR(static_cast<double>(c.c2) / s->C2_SUP(2, 2), 1.4142, 1e-6);
  }
}

TEST(CelerSup, ChannelCellAtTheOutletUsesTheOutletRoughness) {
  auto hill = routing_state(3, 3);
  hill->QIN_SUP(2, 2) = 1.5f;
  CELER_SUP(*hill, 2, 2, 3, 3);
  auto chan = routing_state(3, 3);
  chan->QIN_SUP(2, 2) = 1.5f;
  chan->A_CHANNEL = 0.01f;  // every cell is a channel cell
  chan->ELEVATION(2, 2) = chan->ELEVATION(3, 3);
  CELER_SUP(*chan, 2, 2, 3, 3);
  // Same section (WD_CHAN = WD_HILL) and KS_CHAN_OUT = KS_CLASS(1).
  EXPECT_EQ(sup(*chan, 2, 2), sup(*hill, 2, 2));
}

TEST(CelerSup, AgreesBitForBitWithTheWrittenOutLaw) {
  auto s = routing_state(4, 4);
  s->NCLASS = 3;
  s->KS_CLASS(2) = 12.5f;
  s->KS_CLASS(3) = 33.0f;
  s->ROUGH_CLASS(1, 2) = 2;
  s->ROUGH_CLASS(3, 3) = 3;
  s->WD_CHAN = 4.0f;
  s->A_CHANNEL = 0.05f;
  s->AREA_CELLS(2, 2) = 9;  // channel cells
  s->AREA_CELLS(4, 1) = 40;
  s->ELEVATION(2, 2) = 812.25f;
  s->ELEVATION(4, 1) = 3282.0f;
  s->ELEVATION(4, 4) = 420.0f;
  s->SLOPE(1, 2) = 0.0001f;
  s->SLOPE(3, 3) = 0.62f;
  float q = 0.013f;
  for (int32_t i = 1; i <= 4; ++i) {
    for (int32_t j = 1; j <= 4; ++j, q *= 3.1f) {
      s->QIN_SUP(i, j) = q;
      s->QIN_SUP_OLD(i, j) = 2.0f * q;
      s->QOUT_SUP_OLD(i, j) = 0.5f * q;
    }
  }
  const int32_t cells[][4] = {{1, 2, 2, 3}, {2, 2, 3, 3}, {3, 3, 4, 3}, {4, 1, 4, 2}, {1, 1, 2, 2}};
  for (const auto& c : cells) {
    SCOPED_TRACE(::testing::Message() << "cell " << c[0] << "," << c[1]);
    CELER_SUP(*s, c[0], c[1], c[2], c[3]);
    EXPECT_EQ(sup(*s, c[0], c[1]), surface_by_formula(*s, c[0], c[1], c[2], c[3]));
  }
}

TEST(CelerSup, RoughnessClassOutsideTheTableIsRefused) {
  auto s = routing_state(2, 2);
  for (int32_t cls : {0, 4}) {
    s->ROUGH_CLASS(1, 1) = cls;
    EXPECT_THROW(CELER_SUP(*s, 1, 1, 1, 2), InputError);
  }
  EXPECT_THROW(CELER_SUP(*s, 3, 1, 2, 1), InputError);  // cell off the grid
}

TEST(CelerSub, UsesTwiceTheDiffusionNumber) {
  auto s = routing_state(3, 3);
  s->QIN_SUB(2, 2) = 3.0f;  // Q = 1 m3/s
  CELER_SUB(*s, 2, 2, 2, 1);
  // ck = 0.001 * 0.01 = 1e-5 m/s, Cr = 3.6e-4, D = 2 * 1 / (1e-5 * 0.01 * 100 * 100) = 2000.
  const double Cr = 3.6e-4, D = 2000.0, den = Cr + 1.0 + D;
  EXPECT_NEAR(s->C1_SUB(2, 2), (Cr - 1.0 + D) / den, 1e-7);
  EXPECT_NEAR(s->C2_SUB(2, 2), (Cr + 1.0 - D) / den, 1e-7);
  EXPECT_NEAR(s->C3_SUB(2, 2), (1.0 - Cr + D) / den, 1e-7);
  EXPECT_NEAR(s->C4_SUB(2, 2) / (2.0 * Cr / den), 1.0, 1e-6);
  EXPECT_EQ(s->C1_SUP(2, 2), 0.0f);  // surface coefficients untouched
}

}  // namespace
}  // namespace tarvex

// Stiff cells of the subsurface store (very small soil retention, e.g. CN =
// 100): the explicit stages go unstable and their clamps would create water.
// Such steps use the exact solution; every other cell keeps the clamped
// Runge-Kutta arithmetic to the bit.
#include <gtest/gtest.h>

#include "sim_state.hpp"
#include "simulation/continuous.hpp"

namespace tarvex {
namespace {

using test::bits;

using test::ContinuousCells;

TEST(StiffCell, CurveNumber100CatchmentConservesWater) {
  ContinuousCells c(2, 2);
  c.s->catchment.SOIL_CAPACITY.fill(0.0001f);  // CN = 100
  c.s->params.F_SUB_CAP = 2.0f;
  c.s->params.TAU_SUB = 18000.0f;
  const float rain[12] = {0.0f, 2.0f, 5.0f, 0.3f, 0.0f, 0.0f, 10.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f};
  for (int32_t n = 1; n <= 12; ++n) c.s->forcing.RAIN_DATA(n, 1) = rain[n - 1];

  const double mm_per_m3s = 3600.0 * 1000.0 / (100.0 * 100.0);
  double rain_in = 0.0, out = 0.0;
  for (int32_t n = 1; n <= 12; ++n) {
    c.step(n);
    for (int32_t i = 1; i <= 2; ++i) {
      for (int32_t j = 1; j <= 2; ++j) {
        rain_in += rain[n - 1];
        EXPECT_GE(c.runoff(i, j), 0.0f);
        EXPECT_GE(c.s->run.SUB_STORE(i, j), 0.0f);
        EXPECT_LE(c.s->run.SUB_STORE(i, j), 2.0f * 0.0001f);
        out += c.runoff(i, j) + c.s->run.SUB_FLOW(i, j) * mm_per_m3s;
      }
    }
  }
  double stored = 0.0;
  for (int32_t i = 1; i <= 2; ++i)
    for (int32_t j = 1; j <= 2; ++j) stored += c.s->run.SOIL_WATER(i, j) + c.s->run.SUB_STORE(i, j);
  EXPECT_NEAR(out + stored, rain_in, 1e-5 * rain_in);
}

TEST(StiffCell, DeficitCannotDrawMoreThanTheStoreAndItsRecharge) {
  ContinuousCells c(1, 1);
  c.s->catchment.SOIL_CAPACITY.fill(0.0001f);
  c.s->params.F_SUB_CAP = 2.0f;
  c.s->params.TAU_SUB = 18000.0f;
  c.s->forcing.RAIN_DATA(1, 1) = 1.0f;
  c.s->run.SUB_STORE(1, 1) = 0.0002f;                 // full
  c.s->run.ET_DEFICIT(1, 1) = 2.0f / 3600.0f;         // 2 mm over the step
  c.s->run.SOIL_WATER(1, 1) = 0.00002f;               // soil store full: excess = rain
  c.step(1);
  const double out = c.runoff(1, 1) + c.s->run.SUB_FLOW(1, 1) * 3600.0 * 1000.0 / 1.0e4;
  EXPECT_EQ(c.s->run.SUB_STORE(1, 1), 0.0f);
  EXPECT_GE(out, 0.0);
  EXPECT_LE(out, 1.0 + 0.0002);
}

TEST(StiffCell, StableCellsKeepTheClampedStagesToTheBit) {
  // g*DT from 0.2 up to 2.7, with and without a deficit, next to a stiff cell.
  struct Case {
    float S, soil, q, D;
  };
  const Case cases[] = {
      {100.0f, 19.0f, 30.0f, 0.0f},     // g*DT = 0.22
      {50.0f, 0.0f, 0.5f, 1.0e-3f},     // no excess, deficit: clamps lift
      {5.0f, 1.0f, 2.0f, 0.0f},         // 0.7
      {2.0f, 0.4f, 3.0f, 2.0e-4f},      // 1.6
      {1.0f, 0.2f, 0.3f, 5.0e-4f},      // 2.7, just inside the stable range
      {0.0001f, 0.0f, 0.0001f, 0.0f},   // stiff neighbour
  };
  const int32_t n = static_cast<int32_t>(sizeof cases / sizeof cases[0]);
  ContinuousCells c(1, n);
  c.s->params.F_SUB_CAP = 2.0f;
  c.s->params.TAU_SUB = 18000.0f;
  c.s->forcing.RAIN_DATA(1, 1) = 5.0f;
  for (int32_t j = 1; j <= n; ++j) {
    const Case& k = cases[j - 1];
    c.s->catchment.SOIL_CAPACITY(1, j) = k.S;
    c.s->run.SOIL_WATER(1, j) = k.soil;
    c.s->run.SUB_STORE(1, j) = k.q;
    c.s->run.ET_DEFICIT(1, j) = k.D;
  }
  c.step(1);
  // Store, runoff and subsurface flow of the stable cells as the clamped
  // stages gave them before stiff cells had their own solution.
  const uint32_t expected[][3] = {{0x41dd5456u, 0x3f13a01cu, 0x3c8338fcu},
                                  {0x00000000u, 0x00000000u, 0x3a836fa4u},
                                  {0x4092a440u, 0x3fd2a440u, 0x3aefa9d0u},
                                  {0x403dc468u, 0x406e9ac1u, 0x3ad92ee1u},
                                  {0x3f02710du, 0x3f94722fu, 0x39871e6fu}};
  for (int32_t j = 1; j < n; ++j) {
    EXPECT_EQ(bits(c.s->run.SUB_STORE(1, j)), expected[j - 1][0]) << "cell " << j;
    EXPECT_EQ(bits(c.runoff(1, j)), expected[j - 1][1]) << "cell " << j;
    EXPECT_EQ(bits(c.s->run.SUB_FLOW(1, j)), expected[j - 1][2]) << "cell " << j;
  }
  // The stiff cell releases no more than the 5 mm it received (the explicit
  // stages would release more).
  const double out = c.runoff(1, n) + c.s->run.SUB_FLOW(1, n) * 360.0;
  EXPECT_LE(out, 5.0 + 0.0001);
}

}  // namespace
}  // namespace tarvex

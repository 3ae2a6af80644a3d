// Continuous soil water balance: soil store, clamped Runge-Kutta stages of
// the subsurface store, lapse rate, monthly evapotranspiration.
#include <gtest/gtest.h>

#include "sim_state.hpp"
#include "simulation/continuous.hpp"

namespace tarvex {
namespace {

using test::bits;

using test::ContinuousCells;

TEST(Continuous, CellOffTheCatchmentGetsMinusOneAndKeepsItsState) {
  ContinuousCells c(1, 2);
  c.s->catchment.SLOPE(1, 2) = 0.0f;
  c.s->forcing.RAIN_DATA(1, 1) = 30.0f;
  c.s->run.SOIL_WATER(1, 2) = 3.0f;
  c.s->run.SUB_STORE(1, 2) = 4.0f;
  c.s->run.CELL_TEMP(1, 2) = 5.0f;
  c.s->run.CUM_RAIN(1, 2) = -1.0f;
  c.s->forcing.TEMP_DATA(1, 1) = 20.0f;
  c.s->forcing.ET_SLOPE = 1.0f;
  c.step(1);
  EXPECT_EQ(c.runoff(1, 2), -1.0f);
  EXPECT_EQ(c.s->run.SOIL_WATER(1, 2), 3.0f);
  EXPECT_EQ(c.s->run.SUB_STORE(1, 2), 4.0f);
  EXPECT_EQ(c.s->run.CELL_TEMP(1, 2), 5.0f);
  EXPECT_EQ(c.s->run.CELL_ET(1, 2), 0.0f);
  EXPECT_EQ(c.s->run.CUM_RAIN(1, 2), -1.0f);
  EXPECT_EQ(c.s->run.CUM_RAIN(1, 1), 30.0f);
}

TEST(Continuous, SoilStoreHoldsRainUntilFullThenRechargesTheSubsurface) {
  ContinuousCells c(1, 1);
  c.s->forcing.RAIN_DATA(1, 1) = 5.0f;   // below IA_RATIO*S = 20 mm
  c.s->forcing.RAIN_DATA(2, 1) = 25.0f;  // fills the soil store, 10 mm excess
  c.s->run.SUB_STORE(1, 1) = 10.0f;
  c.step(1);
  EXPECT_EQ(c.s->run.SOIL_WATER(1, 1), 5.0f);
  EXPECT_EQ(c.runoff(1, 1), 0.0f);
  EXPECT_LT(c.s->run.SUB_STORE(1, 1), 10.0f);  // only drains
  EXPECT_GT(c.s->run.SUB_STORE(1, 1), 9.0f);

  c.s->run.SUB_STORE(1, 1) = 0.0f;
  c.step(2);
  EXPECT_EQ(c.s->run.SOIL_WATER(1, 1), 20.0f);
  // Empty store: runoff is the excess times half the end fill of the store.
  const float q_end = c.s->run.SUB_STORE(1, 1);
  EXPECT_GT(q_end, 9.0f);
  EXPECT_LT(q_end, 10.0f);
  EXPECT_FLOAT_EQ(c.runoff(1, 1), 10.0f * (q_end / 2.0f) / 100.0f);
  EXPECT_FLOAT_EQ(c.s->run.SUB_FLOW(1, 1), (q_end / 2.0f) / 86400.0f * 100.0f * 100.0f / 1000.0f);
}

TEST(Continuous, ClampsLiftTheStoreUnderADeficit) {
  // q = 1 mm, deficit 2 mm/s, g = 1/4 per s, one-second step, no recharge:
  // k1 = -2.25 lifts q to 1.125; k2 = -2; k3 = -2.03125 lifts q to 2.03125;
  // k4 = -2; dq = -12.3125/6 leaves q below 0, so the store ends empty and
  // the mean store is 2.03125/2.
  ContinuousCells c(1, 1);
  c.s->params.DT_SIM = 1.0f;
  c.s->forcing.DT_RAIN = 1.0f;
  c.s->plan_steps();
  c.s->params.TAU_SUB = 4.0f;
  c.s->catchment.CELL_DX = 10.0f;
  c.s->catchment.CELL_DY = 10.0f;
  c.s->run.SUB_STORE(1, 1) = 1.0f;
  c.s->run.ET_DEFICIT(1, 1) = 2.0f;
  c.step(1);
  EXPECT_EQ(c.s->run.SUB_STORE(1, 1), 0.0f);
  EXPECT_EQ(c.runoff(1, 1), 0.0f);
  EXPECT_FLOAT_EQ(c.s->run.SUB_FLOW(1, 1), 0.25f * 1.015625f * 0.1f);
  EXPECT_EQ(c.s->run.ET_DEFICIT(1, 1), 0.0f);  // no evapotranspiration this step
}

TEST(Continuous, CellTemperatureFollowsTheLapseRate) {
  ContinuousCells c(1, 2);
  c.s->forcing.TEMP_DATA(1, 1) = 10.0f;
  c.s->forcing.TEMP_Z(1) = 500.0f;
  c.s->catchment.ELEVATION(1, 1) = 1500.0f;  // 1000 m above the station
  c.s->catchment.ELEVATION(1, 2) = 500.0f;
  c.step(1);
  EXPECT_NEAR(c.s->run.CELL_TEMP(1, 1), 3.7f, 1e-5f);
  EXPECT_EQ(bits(c.s->run.CELL_TEMP(1, 1)), bits(10.0f - 1000.0f * 0.0063f));  // 4-byte lapse rate
  EXPECT_EQ(c.s->run.CELL_TEMP(1, 2), 10.0f);
}

TEST(Continuous, EvapotranspirationIsTheStepShareOfTheMonthAndNeverNegative) {
  ContinuousCells c(1, 1);
  c.s->params.DT_SIM = 900.0f;
  c.s->plan_steps();
  c.s->forcing.ET_SLOPE = 1.0f;
  c.s->forcing.ET_MONTH_A(4) = 2.0f;
  c.s->forcing.ET_MONTH_B(4) = 0.5f;
  c.s->forcing.TEMP_DATA(1, 1) = 28.8f;  // 28.8 mm over a 30-day April
  c.s->run.SOIL_WATER(1, 1) = 1.0f;
  c.step(1, 4);
  EXPECT_FLOAT_EQ(c.s->run.CELL_ET(1, 1), 28.8f / 2880.0f);
  EXPECT_FLOAT_EQ(c.s->run.SOIL_WATER(1, 1), 0.99f);
  EXPECT_EQ(c.s->run.ET_DEFICIT(1, 1), 0.0f);

  // What the soil store cannot give becomes a deficit rate for the next step.
  c.s->run.SOIL_WATER(1, 1) = 0.004f;
  c.step(1, 4);
  EXPECT_EQ(c.s->run.SOIL_WATER(1, 1), 0.0f);
  EXPECT_FLOAT_EQ(c.s->run.ET_DEFICIT(1, 1), 0.006f / 900.0f);

  // A cold month with a negative formula value takes nothing.
  c.s->forcing.TEMP_DATA(2, 1) = -5.0f;
  c.s->run.SOIL_WATER(1, 1) = 1.0f;
  c.step(2, 4);
  EXPECT_EQ(c.s->run.CELL_ET(1, 1), 0.0f);
  EXPECT_EQ(c.s->run.SOIL_WATER(1, 1), 1.0f);
  EXPECT_EQ(c.s->run.ET_DEFICIT(1, 1), 0.0f);
}

TEST(Continuous, MonthlyEvapotranspirationIsCarriedBeyondFourBytes) {
  // (1.3*17.3*1.1*0.95 + 0.7)/(24*31) evaluated in extended precision and
  // stored in 4 bytes, then a quarter of it: 0x1.0a7b96p-7 mm (the exactly
  // rounded value). Rounding every operation to 4 bytes gives 0x1.0a7b98p-7.
  ContinuousCells c(1, 1);
  c.s->params.DT_SIM = 900.0f;
  c.s->plan_steps();
  c.s->forcing.ET_SLOPE = 1.3f;
  c.s->forcing.ET_OFFSET = 0.7f;
  c.s->forcing.ET_MONTH_B(1) = 1.1f;
  c.s->forcing.ET_MONTH_A(1) = 0.95f;
  c.s->forcing.TEMP_DATA(1, 1) = 17.3f;  // cell at the station's elevation
  c.s->run.SOIL_WATER(1, 1) = 1.0f;
  c.step(1, 1);
  EXPECT_EQ(bits(c.s->run.CELL_ET(1, 1)), bits(0x1.0a7b96p-7f));
}

}  // namespace
}  // namespace tarvex

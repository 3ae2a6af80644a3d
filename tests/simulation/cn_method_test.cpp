// Event runoff by the curve number, as the difference of the accumulated
// runoff before and after each step.
#include <gtest/gtest.h>

#include "sim_state.hpp"
#include "support/grid_reference.hpp"

namespace tarvex {
namespace {

using test::sim_state;

struct CnCell {
  std::unique_ptr<ModelState> s = sim_state(1, 2);
  Grid<float> runoff;
  Grid<int32_t> map_step;
  Grid<float> w_step;
  CnCell() {
    s->control.RUN_MODE = 2;
    s->catchment.SLOPE(1, 2) = -1.0f;
    s->run.CUM_RAIN(1, 2) = -1.0f;
    runoff.resize(1, 2);
    map_step.resize(1, 2);
    w_step.resize(4, 2);
  }
  void step(int32_t n) { reference::CN_METHOD(*s, n, 0, runoff, map_step, w_step); }
};

TEST(CnMethod, RunoffIsTheGrowthOfAccumulatedRunoff) {
  CnCell c;
  c.s->forcing.RAIN_DATA(1, 1) = 20.0f;
  c.s->forcing.RAIN_DATA(2, 1) = 10.0f;
  c.s->forcing.RAIN_DATA(3, 1) = 0.0f;

  c.step(1);  // 20 mm: exactly the initial abstraction 0.2 * 100
  EXPECT_EQ(c.runoff(1, 1), 0.0f);
  EXPECT_EQ(c.s->run.INFILTRATION(1, 1), 20.0f);

  c.step(2);  // 20 -> 30 mm: 10^2 / (80 + 30)
  EXPECT_NEAR(c.runoff(1, 1), 0.909091f, 1e-6f);
  EXPECT_NEAR(c.s->run.INFILTRATION(1, 1), 9.090909f, 1e-5f);
  EXPECT_EQ(c.s->run.EVENT_RAIN(1, 1), 30.0f);
  EXPECT_EQ(c.s->run.CUM_RAIN(1, 1), 30.0f);

  c.step(3);  // no rain: no runoff, no infiltration
  EXPECT_EQ(c.runoff(1, 1), 0.0f);
  EXPECT_EQ(c.s->run.INFILTRATION(1, 1), 0.0f);
}

TEST(CnMethod, CellsOffTheCatchmentAreMarkedAndLeftAlone) {
  CnCell c;
  c.s->forcing.RAIN_DATA(1, 1) = 50.0f;
  c.s->run.EVENT_RAIN(1, 2) = 3.0f;
  c.s->run.INFILTRATION(1, 2) = 4.0f;
  c.step(1);
  EXPECT_EQ(c.runoff(1, 2), -1.0f);
  EXPECT_EQ(c.s->run.EVENT_RAIN(1, 2), 3.0f);
  EXPECT_EQ(c.s->run.INFILTRATION(1, 2), 4.0f);
  EXPECT_EQ(c.s->run.CUM_RAIN(1, 2), -1.0f);
}

TEST(CnMethod, ImperviousCatchmentRunsOffNearlyEverythingAndInfiltratesNothing) {
  CnCell c;
  c.s->params.IMPERVIOUS = 1;
  c.s->catchment.SOIL_CAPACITY.fill(0.00001f);
  c.s->forcing.RAIN_DATA(1, 1) = 5.0f;
  c.s->forcing.RAIN_DATA(2, 1) = 2.0f;
  c.step(1);
  EXPECT_NEAR(c.runoff(1, 1), 5.0f, 1e-4f);
  EXPECT_EQ(c.s->run.INFILTRATION(1, 1), 0.0f);
  c.step(2);
  EXPECT_NEAR(c.runoff(1, 1), 2.0f, 1e-4f);
  EXPECT_EQ(c.s->run.INFILTRATION(1, 1), 0.0f);
}

}  // namespace
}  // namespace tarvex

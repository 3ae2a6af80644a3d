// Per-step distribution of the station data: re-weighting over reporting
// gauges, the temperature check, the rain of one cell in one step.
#include <gtest/gtest.h>

#include <algorithm>

#include "sim_state.hpp"
#include "simulation/check_temp.hpp"
#include "simulation/gauge_check.hpp"
#include "support/grid_reference.hpp"
#include "simulation/station_weights.hpp"

namespace tarvex {
namespace {

using test::sim_state;

TEST(NearestStation, MissingGaugeGoesToNearestReportingOneWithTiesToLowerNumber) {
  auto s = sim_state(3, 5);
  s->catchment.SLOPE(1, 2) = -1.0f;
  s->forcing.N_RAIN_ST = 3;
  const float pos[3][2] = {{1, 1}, {2, 3}, {3, 5}};
  for (int32_t k = 1; k <= 3; ++k) {
    s->forcing.RAIN_XY(1, k) = pos[k - 1][0];
    s->forcing.RAIN_XY(2, k) = pos[k - 1][1];
  }
  bool miss[3] = {false, true, false};
  Grid<int32_t> map;
  map.resize(3, 5);
  map.fill(9);
  nearest_station(3, 5, 3, s->forcing.RAIN_XY, miss, map, s->catchment.SLOPE);
  // Cell (2, 3) held gauge 2; gauges 1 and 3 are both 5 cells^2 away.
  const int32_t expected[3][5] = {{1, -1, 1, 3, 3}, {1, 1, 1, 3, 3}, {1, 1, 3, 3, 3}};
  for (int32_t i = 1; i <= 3; ++i)
    for (int32_t j = 1; j <= 5; ++j) EXPECT_EQ(map(i, j), expected[i - 1][j - 1]) << i << "," << j;

  // All reporting: gauge 2 takes its own cell and its ring.
  nearest_station(3, 5, 3, s->forcing.RAIN_XY, nullptr, map, s->catchment.SLOPE);
  EXPECT_EQ(map(2, 3), 2);
  EXPECT_EQ(map(1, 3), 2);
  EXPECT_EQ(map(1, 1), 1);
}

TEST(InverseDistanceWeights, GaugeOnCellCentreDominatesAndMissingGaugesWeighNothing) {
  auto s = sim_state(1, 3);
  s->catchment.SLOPE(1, 3) = -1.0f;
  s->forcing.N_RAIN_ST = 2;
  s->forcing.RAIN_XY(1, 1) = 1.0f;
  s->forcing.RAIN_XY(2, 1) = 1.0f;
  s->forcing.RAIN_XY(1, 2) = 1.0f;
  s->forcing.RAIN_XY(2, 2) = 3.0f;
  Grid<float> w;
  w.resize(4, 3);
  w.fill(7.0f);
  bool miss[2] = {false, false};
  inverse_distance_weights(1, 3, 2, s->forcing.RAIN_XY, nullptr, w, s->catchment.SLOPE);
  // Cell (1, 1): 1/0.0001 = 10000 against 1/4.
  EXPECT_FLOAT_EQ(w(1, 1), 10000.0f / 10000.25f);
  EXPECT_FLOAT_EQ(w(2, 1), 0.25f / 10000.25f);
  EXPECT_EQ(w(1, 2), 0.5f);
  EXPECT_EQ(w(2, 2), 0.5f);
  EXPECT_EQ(w(1, 3), 0.0f);  // off the catchment
  EXPECT_EQ(w(2, 3), 0.0f);

  miss[0] = true;
  inverse_distance_weights(1, 3, 2, s->forcing.RAIN_XY, miss, w, s->catchment.SLOPE);
  EXPECT_EQ(w(1, 1), 0.0f);
  EXPECT_EQ(w(2, 1), 1.0f);
  EXPECT_EQ(w(1, 2), 0.0f);
  EXPECT_EQ(w(2, 2), 1.0f);

  // Every gauge missing: every weight 0, no division.
  miss[1] = true;
  inverse_distance_weights(1, 3, 2, s->forcing.RAIN_XY, miss, w, s->catchment.SLOPE);
  for (int32_t r = 1; r <= 2; ++r)
    for (int32_t j = 1; j <= 3; ++j) EXPECT_EQ(w(r, j), 0.0f);
  EXPECT_EQ(w(3, 1), 7.0f);  // rows of gauges beyond NST untouched
}

TEST(CheckTemp, ReportingStationLeavesStepMapAlone) {
  auto s = sim_state(2, 2);
  Grid<int32_t> tmap;
  tmap.resize(2, 2);
  tmap.fill(7);
  MissList list;
  int32_t flag = 5;
  CHECK_TEMP(*s, 1, flag, tmap, list);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(tmap(2, 2), 7);
}

// A step missing the same gauges as the last rebuild keeps the table; any
// other set rebuilds it, as a fresh build would.
TEST(RainGaugeCheck, RebuildsTheStepTableOnlyWhenTheMissingGaugesChange) {
  for (int32_t interp : {1, 2}) {
    auto s = sim_state(2, 3);
    s->forcing.N_DATA = 4;
    s->plan_steps();
    s->forcing.N_RAIN_ST = 3;
    s->forcing.INTERP_METHOD = interp;
    const float pos[3][2] = {{1, 1}, {2, 3}, {1, 3}};
    for (int32_t k = 1; k <= 3; ++k) {
      s->forcing.RAIN_XY(1, k) = pos[k - 1][0];
      s->forcing.RAIN_XY(2, k) = pos[k - 1][1];
    }
    for (int32_t n : {1, 2, 4}) s->forcing.RAIN_MISSING(n, n == 2 ? 2 : 1) = 1;  // {1}, {2}, none, {1}
    RunTables t;
    t.resize(2, 3);
    // Cell (2, 2) of the table in use: the nearest gauge, or gauge 1's weight.
    auto cell = [&]() -> float {
      return interp == 1 ? static_cast<float>(t.RAIN_STATION_MAP_STEP(2, 2)) : t.RAIN_WEIGHT_STEP(2, 2);
    };
    MissList list;
    int32_t flag = 0, nmiss = 0;
    RAIN_GAUGE_CHECK(*s, 1, flag, nmiss, list, t);
    const RunTables fresh = t;
    if (interp == 1) t.RAIN_STATION_MAP_STEP(2, 2) = 42;  // marks the table
    else t.RAIN_WEIGHT_STEP(2, 2) = 42.0f;
    RAIN_GAUGE_CHECK(*s, 1, flag, nmiss, list, t);
    EXPECT_EQ(cell(), 42.0f) << interp;  // same gauges missing: kept
    RAIN_GAUGE_CHECK(*s, 2, flag, nmiss, list, t);
    EXPECT_NE(cell(), 42.0f) << interp;
    RAIN_GAUGE_CHECK(*s, 3, flag, nmiss, list, t);
    EXPECT_EQ(flag, 0);
    RAIN_GAUGE_CHECK(*s, 4, flag, nmiss, list, t);
    ASSERT_EQ(flag, 1);
    const auto same = [](const auto& a, const auto& b) {
      return a.size() == b.size() && std::equal(a.data(), a.data() + a.size(), b.data());
    };
    EXPECT_TRUE(same(t.RAIN_WEIGHT_STEP, fresh.RAIN_WEIGHT_STEP)) << interp;
    EXPECT_TRUE(same(t.RAIN_STATION_MAP_STEP, fresh.RAIN_STATION_MAP_STEP)) << interp;
  }
}

TEST(LocalRain, SharesTheRecordAndReadsStepTablesOnlyWhenAGaugeIsMissing) {
  auto s = sim_state(1, 1);
  s->forcing.N_RAIN_ST = 2;
  s->forcing.RAIN_DATA(1, 1) = 4.0f;
  s->forcing.RAIN_DATA(1, 2) = 12.0f;
  s->forcing.RAIN_STATION_MAP(1, 1) = 2;
  Grid<int32_t> map_step;
  map_step.resize(1, 1);
  map_step(1, 1) = 1;
  Grid<float> w_step;
  w_step.resize(4, 1);
  w_step(1, 1) = 1.0f;
  w_step(2, 1) = 0.0f;

  EXPECT_EQ(reference::LOCAL_RAIN(*s, 1, 1, 0, 0.25f, 1, map_step, w_step), 3.0f);
  EXPECT_EQ(reference::LOCAL_RAIN(*s, 1, 1, 1, 0.25f, 1, map_step, w_step), 1.0f);

  s->forcing.INTERP_METHOD = 2;
  s->forcing.RAIN_WEIGHT(1, 1) = 0.5f;
  s->forcing.RAIN_WEIGHT(2, 1) = 0.5f;
  EXPECT_EQ(reference::LOCAL_RAIN(*s, 1, 1, 0, 0.25f, 1, map_step, w_step), 2.0f);
  EXPECT_EQ(reference::LOCAL_RAIN(*s, 1, 1, 1, 0.25f, 1, map_step, w_step), 1.0f);
}

}  // namespace
}  // namespace tarvex

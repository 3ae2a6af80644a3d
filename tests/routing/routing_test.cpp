#include <gtest/gtest.h>

#include <cmath>

#include "io/input_error.hpp"
#include "routing/celerity.hpp"
#include "support/grid_reference.hpp"
#include "routing_fixture.hpp"
#include "support/testkit.hpp"

namespace tarvex {
namespace {

using test::add_path;
using test::routing_state;

// One row of four cells draining east to the outlet (1,4).
std::unique_ptr<ModelState> row_catchment() {
  auto s = routing_state(1, 4);
  for (int32_t j = 1; j <= 3; ++j) s->catchment.FLOW_DIR(1, j) = 6;
  s->catchment.FLOW_DIR(1, 4) = 0;
  return s;
}

// One routing step without new runoff.
void route_dry(ModelState& s) {
  s.run.single_run.STEP_RUNOFF.fill(0.0f);
  reference::ROUTING(s, s.run.single_run.STEP_RUNOFF);
}

TEST(Routing, OneCellPathComputesOnlyItsStartCell) {
  auto s = row_catchment();
  add_path(*s, 1, 1, 1, 2);
  Grid<float>& runoff = s->run.single_run.STEP_RUNOFF;
  runoff.fill(2.0f);
  reference::ROUTING(*s, runoff);

  auto ref = row_catchment();
  CELER_SUP(*ref, 1, 1, 1, 2);
  EXPECT_EQ(s->run.C4_SUP(1, 1), ref->run.C4_SUP(1, 1));
  const float f = 100.0f * 100.0f / 3600.0f / 1000.0f;
  EXPECT_EQ(s->run.QOUT_SUP(1, 1), s->run.C4_SUP(1, 1) * 2.0f * f);
  EXPECT_GT(s->run.QOUT_SUP(1, 1), 0.0f);
  EXPECT_EQ(s->run.QIN_SUP(1, 2), s->run.QOUT_SUP(1, 1));
  // The end cell only receives.
  EXPECT_EQ(s->run.QOUT_SUP(1, 2), 0.0f);
  EXPECT_EQ(s->run.C1_SUP(1, 2), 0.0f);
  EXPECT_EQ(s->run.QIN_SUP(1, 3), 0.0f);
}

TEST(Routing, DryCatchmentStaysDry) {
  auto s = row_catchment();
  add_path(*s, 1, 1, 1, 4);
  reference::ROUTING(*s, s->run.single_run.STEP_RUNOFF);
  for (int32_t j = 1; j <= 3; ++j) {
    EXPECT_EQ(s->run.QOUT_SUP(1, j), 0.0f);
    EXPECT_EQ(s->run.QOUT_SUB(1, j), 0.0f);
    EXPECT_TRUE(std::isfinite(s->run.C1_SUP(1, j)) && std::isfinite(s->run.C3_SUB(1, j)));
  }
  EXPECT_EQ(s->run.QIN_SUP(1, 4), 0.0f);
}

// Two tributaries (1,1) -> (1,2) <- (1,3) join at (1,2), which drains south
// through (2,2) to the outlet (3,2).
std::unique_ptr<ModelState> junction_catchment() {
  auto s = routing_state(3, 3);
  s->catchment.FLOW_DIR(1, 1) = 6;
  s->catchment.FLOW_DIR(1, 3) = 4;
  s->catchment.FLOW_DIR(1, 2) = 8;
  s->catchment.FLOW_DIR(2, 2) = 8;
  s->catchment.FLOW_DIR(3, 2) = 0;
  s->run.single_run.STEP_RUNOFF.fill(0.0f);
  s->run.single_run.STEP_RUNOFF(1, 1) = 3.0f;
  s->run.single_run.STEP_RUNOFF(1, 3) = 5.0f;
  return s;
}

TEST(Routing, JunctionRoutesTheSumOfItsTributaries) {
  auto s = junction_catchment();
  add_path(*s, 1, 1, 1, 2);
  add_path(*s, 1, 3, 1, 2);
  add_path(*s, 1, 2, 3, 2);
  reference::ROUTING(*s, s->run.single_run.STEP_RUNOFF);

  const float qa = s->run.QOUT_SUP(1, 1), qb = s->run.QOUT_SUP(1, 3);
  ASSERT_GT(qa, 0.0f);
  ASSERT_GT(qb, 0.0f);
  EXPECT_EQ(s->run.QIN_SUP(1, 2), qa + qb);
  // The junction's own runoff is zero: its outflow is C1 times the summed
  // inflow, with coefficients from that inflow.
  auto ref = junction_catchment();
  ref->run.QIN_SUP(1, 2) = qa + qb;
  CELER_SUP(*ref, 1, 2, 2, 2);
  EXPECT_EQ(s->run.C1_SUP(1, 2), ref->run.C1_SUP(1, 2));
  EXPECT_EQ(s->run.QOUT_SUP(1, 2), s->run.C1_SUP(1, 2) * (qa + qb));
  EXPECT_EQ(s->run.QIN_SUP(2, 2), s->run.QOUT_SUP(1, 2));
  // The outlet is never computed; it holds what arrives.
  EXPECT_EQ(s->run.QIN_SUP(3, 2), s->run.QOUT_SUP(2, 2));
  EXPECT_EQ(s->run.QOUT_SUP(3, 2), 0.0f);
}

TEST(Routing, FlowReachingAComputedCellWaitsForTheNextStep) {
  auto s = junction_catchment();
  add_path(*s, 1, 2, 3, 2);  // the junction before its tributaries
  add_path(*s, 1, 1, 1, 2);
  add_path(*s, 1, 3, 1, 2);
  reference::ROUTING(*s, s->run.single_run.STEP_RUNOFF);
  EXPECT_EQ(s->run.QOUT_SUP(1, 2), 0.0f);
  EXPECT_EQ(s->run.QIN_SUP(1, 2), s->run.QOUT_SUP(1, 1) + s->run.QOUT_SUP(1, 3));
  EXPECT_EQ(s->run.QIN_SUP(3, 2), 0.0f);
}

TEST(Routing, ChannelCellTakesInItsSubsurfaceInflow) {
  auto s = row_catchment();
  add_path(*s, 1, 2, 1, 3);
  s->catchment.AREA_CELLS(1, 2) = 5;
  s->params.A_CHANNEL = static_cast<float>(5) * (s->catchment.CELL_DX * s->catchment.CELL_DY / 1000000.0f);
  s->run.QIN_SUB(1, 2) = 0.5f;
  s->run.SUB_FLOW(1, 2) = 0.25f;
  route_dry(*s);
  EXPECT_EQ(s->run.QIN_SUP(1, 2), 0.5f);
  EXPECT_EQ(s->run.QIN_SUB(1, 2), 0.5f);  // left in place
  EXPECT_EQ(s->run.QOUT_SUB(1, 2), 0.0f);
  EXPECT_EQ(s->run.QIN_SUB(1, 3), 0.0f);
  EXPECT_EQ(s->run.C4_SUB(1, 2), 0.0f);  // no subsurface routing on a channel cell
  EXPECT_EQ(s->run.QOUT_SUP(1, 2), s->run.C1_SUP(1, 2) * 0.5f);

  // One step below the threshold the cell is a hillslope cell.
  auto h = row_catchment();
  add_path(*h, 1, 2, 1, 3);
  h->catchment.AREA_CELLS(1, 2) = 5;
  h->params.A_CHANNEL = std::nextafter(s->params.A_CHANNEL, 1.0f);
  h->run.QIN_SUB(1, 2) = 0.5f;
  h->run.SUB_FLOW(1, 2) = 0.25f;
  route_dry(*h);
  EXPECT_EQ(h->run.QIN_SUP(1, 2), 0.0f);
  EXPECT_GT(h->run.QOUT_SUB(1, 2), 0.0f);
  EXPECT_EQ(h->run.QIN_SUB(1, 3), h->run.QOUT_SUB(1, 2));
}

TEST(Routing, LateralSubsurfaceInputDependsOnTheRunMode) {
  for (int32_t mode : {2, 3, 4}) {
    SCOPED_TRACE(mode);
    auto s = row_catchment();
    s->control.RUN_MODE = mode;
    add_path(*s, 1, 1, 1, 2);
    s->run.INFILTRATION(1, 1) = 10.0f;  // mm per step
    s->run.SUB_FLOW(1, 1) = 0.25f;      // m3/s
    reference::ROUTING(*s, s->run.single_run.STEP_RUNOFF);
    const float c4 = s->run.C4_SUB(1, 1);
    ASSERT_GT(c4, 0.0f);
    if (mode == 2) {
      EXPECT_EQ(s->run.QOUT_SUB(1, 1), c4 * 10.0f * 100.0f * 100.0f / 3600.0f / 1000.0f);
    } else {
      EXPECT_EQ(s->run.QOUT_SUB(1, 1), c4 * 0.25f);
    }
    EXPECT_EQ(s->run.QIN_SUB(1, 2), s->run.QOUT_SUB(1, 1));
  }
}

TEST(Routing, NegativeOutflowsAreClipped) {
  auto s = row_catchment();
  add_path(*s, 1, 1, 1, 2);
  s->params.K_SUB = 10.0f;  // subsurface Cr = 3.6 > 1 + D
  s->run.QOUT_SUP_OLD(1, 1) = 3.0f;
  s->run.QOUT_SUB_OLD(1, 1) = 3.0f;
  route_dry(*s);
  ASSERT_LT(s->run.C3_SUP(1, 1), 0.0f);
  ASSERT_LT(s->run.C3_SUB(1, 1), 0.0f);
  EXPECT_EQ(s->run.QOUT_SUP(1, 1), 0.0f);
  EXPECT_EQ(s->run.QOUT_SUB(1, 1), 0.0f);
  EXPECT_EQ(s->run.QIN_SUP(1, 2), 0.0f);
  EXPECT_EQ(s->run.QIN_SUB(1, 2), 0.0f);
}

// Broken path lists end the walk with an error instead of hanging or
// leaving the grid.
TEST(Routing, BrokenPathsAreRefusedWithoutLeavingTheGrid) {
  struct Case {
    const char* name;
    int32_t codes[4];
    int32_t i0, j0, ie, je;
  };
  const Case cases[] = {
      {"no outflow before the end", {6, 0, 6, 0}, 1, 1, 1, 4},
      {"code 5", {6, 5, 6, 0}, 1, 1, 1, 4},
      {"loop", {6, 4, 6, 0}, 1, 1, 1, 4},
      {"off the grid", {6, 6, 6, 6}, 1, 1, 1, 9},
      {"end cell equal to the start", {6, 6, 6, 0}, 1, 2, 1, 2},
      {"end cell upstream", {6, 6, 6, 0}, 1, 3, 1, 1},
      {"start off the grid", {6, 6, 6, 0}, 0, 1, 1, 4},
      {"start off the grid (columns)", {6, 6, 6, 0}, 1, 5, 1, 4},
      {"code out of range", {6, 12, 6, 0}, 1, 1, 1, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto s = routing_state(1, 4);
    for (int32_t j = 1; j <= 4; ++j) s->catchment.FLOW_DIR(1, j) = c.codes[j - 1];
    add_path(*s, 1, 1, 1, 2);  // a sound link first
    add_path(*s, c.i0, c.j0, c.ie, c.je);
    test::expect_input_error([&] { reference::ROUTING(*s, s->run.single_run.STEP_RUNOFF); }, {"link 2 "});
  }
}

TEST(Routing, GridsOfAnotherSizeAreRefused) {
  auto s = row_catchment();
  add_path(*s, 1, 1, 1, 4);
  Grid<float> small;
  small.resize(1, 3);
  EXPECT_THROW(reference::ROUTING(*s, small), InputError);
}

}  // namespace
}  // namespace tarvex

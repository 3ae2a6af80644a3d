#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "support/testkit.hpp"
#include "terrain/contributing_area.hpp"
#include "terrain/flow_directions.hpp"
#include "terrain/mod1.hpp"
#include "terrain/terrain_reference.hpp"
#include "terrain/unpit.hpp"

namespace tarvex {
namespace {

using test::make_state;

void set_codes(ModelState& s, const std::vector<std::vector<int32_t>>& rows) { test::set_grid(s.catchment.FLOW_DIR, rows); }

std::vector<int32_t> areas(ModelState& s) {
  Grid<int32_t> pending;
  CONTRIBUTING_AREA(s.catchment.FLOW_DIR, s.catchment.AREA_CELLS, pending);
  return std::vector<int32_t>(s.catchment.AREA_CELLS.data(), s.catchment.AREA_CELLS.data() + s.catchment.AREA_CELLS.size());
}

TEST(ContributingArea, ChainOfThreeIntoAnEdgeCell) {
  // Flows against the sweep order (toward row 1) as well as with it.
  auto s = make_state(4, 2);
  set_codes(*s, {{0, 0}, {2, 0}, {2, 0}, {2, 0}});
  EXPECT_EQ(areas(*s), (std::vector<int32_t>{4, 0, 3, 0, 2, 0, 1, 0}));
  set_codes(*s, {{8, 0}, {8, 0}, {8, 0}, {0, 0}});
  EXPECT_EQ(areas(*s), (std::vector<int32_t>{1, 0, 2, 0, 3, 0, 4, 0}));
}

TEST(ContributingArea, TwoSourcesMeeting) {
  auto s = make_state(3, 3);
  set_codes(*s, {{9, 0, 7}, {0, 8, 0}, {0, 0, 0}});
  EXPECT_EQ(areas(*s), (std::vector<int32_t>{1, 0, 1, 0, 3, 0, 0, 4, 0}));
}

TEST(ContributingArea, NoDirectionsGiveZeroEverywhere) {
  auto s = make_state(2, 3);
  set_codes(*s, {{0, 0, 0}, {0, 0, 0}});
  EXPECT_EQ(areas(*s), (std::vector<int32_t>(6, 0)));
}

TEST(ContributingArea, FileLayout) {
  auto s = make_state(2, 1000);
  for (int32_t j = 1; j <= 1000; ++j) {
    s->catchment.FLOW_DIR(1, j) = 8;
    s->catchment.FLOW_DIR(2, j) = j < 1000 ? 6 : 0;
  }
  test::TempDir dir;
  {
    GridWriter out(dir / "a.txt", kAreaGrid);
    Grid<int32_t> pending;
    CONTRIBUTING_AREA(s->catchment.FLOW_DIR, s->catchment.AREA_CELLS, pending);
    write_grid(out, s->catchment.AREA_CELLS);
  }
  EXPECT_EQ(s->catchment.AREA_CELLS(2, 1000), 2000);
  const std::string text = dir.read("a.txt");
  std::vector<std::size_t> lines;
  for (std::size_t p = 0, q; (q = text.find('\n', p)) != std::string::npos; p = q + 1) lines.push_back(q - p);
  EXPECT_EQ(lines, (std::vector<std::size_t>{945 * 8, 55 * 8, 945 * 8, 55 * 8}));
  EXPECT_EQ(text.substr(0, 16), "      1       1 ");
  EXPECT_EQ(text.substr(text.size() - 17), "   1998    2000 \n");
}

// One pass in upstream-first order must give the counts of the repeated
// sweeps, on networks from pit-free random DEMs.
TEST(ContributingArea, MatchesRepeatedSweepsOnRandomNetworks) {
  std::mt19937 rng(77);
  for (int trial = 0; trial < 40; ++trial) {
    const int32_t ni = 1 + static_cast<int32_t>(rng() % 40);
    const int32_t nj = 1 + static_cast<int32_t>(rng() % 40);
    auto s = make_state(ni, nj);
    test::random_dem(*s, rng, 15.0f, 0.5f, trial % 3 == 0);
    int32_t err = 0;
    Array1<int32_t, kLimits.exempt_cells> none;
    test::capture_stdout([&] { UNPIT(s->catchment.ELEVATION, 0, none, none, 1.0e30f, err); });
    set_flow_directions(s->catchment.ELEVATION, s->catchment.FLOW_DIR);
    const std::vector<int32_t> fast = areas(*s);
    test::area_reference(*s);
    ASSERT_EQ(0, std::memcmp(fast.data(), s->catchment.AREA_CELLS.data(), fast.size() * sizeof(int32_t))) << "trial " << trial;
  }
}

}  // namespace
}  // namespace tarvex

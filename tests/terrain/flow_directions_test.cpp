#include <gtest/gtest.h>

#include "io/record_reader.hpp"
#include "support/testkit.hpp"
#include "terrain/flow_directions.hpp"
#include "terrain/mod1.hpp"
#include "terrain/terrain_reference.hpp"

namespace tarvex {
namespace {

using test::make_state;

void set_rows(ModelState& s, const std::vector<std::vector<float>>& rows) { test::set_grid(s.catchment.ELEVATION, rows); }

// A 3 x 3 DEM and the direction its centre cell must take.
struct Centre {
  std::vector<std::vector<float>> rows;
  int32_t direction;
};

// Gives one grid each DEM in turn.
void expect_centres(std::initializer_list<Centre> cases) {
  auto s = make_state(3, 3);
  int n = 0;
  for (const Centre& c : cases) {
    set_rows(*s, c.rows);
    set_flow_directions(s->catchment.ELEVATION, s->catchment.FLOW_DIR);
    EXPECT_EQ(s->catchment.FLOW_DIR(2, 2), c.direction) << "case " << n++;
  }
}

TEST(FlowDirections, EqualDropsKeepTheFirstNeighbourMet) {
  expect_centres({
      {{{9, 9, 9}, {4, 5, 4}, {9, 9, 9}}, 4},
      // Same drop above and below: the row above comes first.
      {{{9, 3, 9}, {9, 5, 9}, {9, 3, 9}}, 2},
  });
}

TEST(FlowDirections, DiagonalNotBelowBothSideCellsIsNeverChosen) {
  expect_centres({
      // The lower-right diagonal drops 99 m, but its side cell below is a
      // zero cell (not negative, and not higher than the diagonal): no
      // candidate, and the 10 m drop to the left wins.
      {{{200, 200, 200}, {90, 100, 150}, {200, 0, 1}}, 4},
      // A no-data side cell instead lets the diagonal count.
      {{{200, 200, 200}, {90, 100, 150}, {200, -1, 1}}, 9},
      // Alone, a blocked diagonal leaves the cell without direction.
      {{{200, 200, 200}, {200, 100, 0}, {200, 0, 1}}, 0},
  });
}

TEST(FlowDirections, DiagonalRules) {
  expect_centres({
      // Through a no-data side cell the diagonal is the plain drop / 1.4142135.
      {{{200, 200, 200}, {200, 100, -1}, {200, 99, 1}}, 9},
      // Below both side cells it uses the drop to the mean of the four cells:
      // mean (100 + 10 + 90 + 80) / 4 = 70, (100 - 70) / 1.4142135 = 21.2 > 20.
      {{{200, 200, 200}, {200, 100, 90}, {200, 80, 10}}, 9},
      // mean (100 + 10 + 70 + 80) / 4 = 65, 35 / 1.4142135 = 24.7 < 30.
      {{{200, 200, 200}, {200, 100, 70}, {200, 80, 10}}, 6},
  });
}

TEST(FlowDirections, NoDataAndZeroCells) {
  auto s = make_state(2, 3);
  auto dem = GridReader::from_text("-3.5 0.0 7\n5 0 6\n", "dem.txt");
  read_dem(dem, s->catchment.ELEVATION);
  EXPECT_EQ(s->catchment.ELEVATION(1, 1), -1.0f);
  EXPECT_EQ(s->catchment.ELEVATION(1, 2), 0.0f);
  set_flow_directions(s->catchment.ELEVATION, s->catchment.FLOW_DIR);
  // Zero and no-data cells neither get a direction nor receive one.
  EXPECT_EQ(s->catchment.FLOW_DIR(1, 1), 0);
  EXPECT_EQ(s->catchment.FLOW_DIR(1, 2), 0);
  EXPECT_EQ(s->catchment.FLOW_DIR(1, 3), 8);  // 6 below is the only positive lower neighbour
  EXPECT_EQ(s->catchment.FLOW_DIR(2, 1), 0);
  test::TempDir dir;
  {
    GridWriter out(dir / "e.txt", kElevationGrid);
    write_grid(out, s->catchment.ELEVATION);
  }
  EXPECT_EQ(dir.read("e.txt"), "      -1.0       0.0       7.0\n       5.0       0.0       6.0\n");
}

TEST(FlowDirections, RowsOf1000ColumnsContinueAfter945Values) {
  auto s = make_state(2, 1000);
  for (int32_t i = 1; i <= 2; ++i)
    for (int32_t j = 1; j <= 1000; ++j) s->catchment.ELEVATION(i, j) = 2000.0f - static_cast<float>(j) - 0.25f * static_cast<float>(i);
  set_flow_directions(s->catchment.ELEVATION, s->catchment.FLOW_DIR);
  test::TempDir dir;
  {
    GridWriter e(dir / "e.txt", kElevationGrid);
    write_grid(e, s->catchment.ELEVATION);
    GridWriter d(dir / "d.txt", kDirectionGrid);
    write_grid(d, s->catchment.FLOW_DIR);
  }
  const std::string e = dir.read("e.txt");
  const std::string d = dir.read("d.txt");
  std::vector<std::size_t> elines, dlines;
  for (std::size_t p = 0, q; (q = e.find('\n', p)) != std::string::npos; p = q + 1) elines.push_back(q - p);
  for (std::size_t p = 0, q; (q = d.find('\n', p)) != std::string::npos; p = q + 1) dlines.push_back(q - p);
  EXPECT_EQ(elines, (std::vector<std::size_t>{9450, 550, 9450, 550}));
  EXPECT_EQ(e.substr(0, 20), "    1998.8    1997.8");
  EXPECT_EQ(dlines, (std::vector<std::size_t>{1890, 110, 1890, 110}));
  EXPECT_EQ(d.substr(0, 4), " 6 6");
}

}  // namespace
}  // namespace tarvex

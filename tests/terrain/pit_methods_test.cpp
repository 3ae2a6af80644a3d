// Filling and breaching the pits of a DEM: what each method alters, what it
// never alters, and that every cell drains afterwards, in the reals and in
// the elevations as the grid files print them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "io/text_writer.hpp"
#include "model/direction_code.hpp"
#include "terrain/breach.hpp"
#include "terrain/flow_directions.hpp"
#include "terrain/pit_options.hpp"
#include "terrain/priority_flood.hpp"
#include "terrain/terrain_progress.hpp"
#include "terrain/unpit.hpp"

namespace tarvex {
namespace {

using Rows = std::vector<std::vector<float>>;
using Cells = std::vector<std::pair<int32_t, int32_t>>;

Grid<float> grid_of(const Rows& rows) {
  Grid<float> g;
  g.resize(static_cast<int32_t>(rows.size()), static_cast<int32_t>(rows[0].size()));
  for (int32_t i = 1; i <= g.rows(); ++i)
    for (int32_t j = 1; j <= g.cols(); ++j) g(i, j) = rows[static_cast<std::size_t>(i - 1)][static_cast<std::size_t>(j - 1)];
  return g;
}

// An elevation as the elevation grids print it (one decimal).
std::string printed(float z) {
  std::string s;
  put_fixed(s, static_cast<double>(z), 10, 1);
  return s;
}

struct Exempt {
  int32_t n = 0;
  Array1<int32_t, kLimits.exempt_cells> i, j;
  explicit Exempt(const Cells& cells = {}) {
    for (const auto& [r, c] : cells) {
      ++n;
      i(n) = r;
      j(n) = c;
    }
  }
};

// The surface after a method; raise is UNPIT as the terrain pass runs it.
Grid<float> after(PitMethod m, const Grid<float>& dem, const Exempt& ex = Exempt{}, int32_t length = 100,
                  float depth = 10.0f, BreachResult* breach = nullptr) {
  Grid<float> z = dem;
  const std::vector<uint8_t> fixed = fixed_cells(z, ex.n, ex.i, ex.j);
  if (m == PitMethod::raise) {
    int32_t err = 0;
    std::FILE* saved = stdout;  // progress lines
    stdout = std::tmpfile();
    UNPIT(z, ex.n, ex.i, ex.j, elevation_ceiling(z), err);
    std::fclose(stdout);
    stdout = saved;
    EXPECT_EQ(err, 0);
  } else if (m == PitMethod::fill) {
    EXPECT_EQ(fill_pits(z, fixed).stuck_i, 0);
  } else {
    BreachResult b = breach_pits(z, fixed, length, depth);
    EXPECT_EQ(fill_pits(z, fixed, {}, b.carved).stuck_i, 0);
    if (breach) *breach = std::move(b);
  }
  return z;
}

// Every cell a method may alter has a positive neighbour strictly below it
// and a flow direction; the cells it did alter also show that descent in
// the printed elevations; the fixed cells are as they were.
// (Raising keeps only the first.)
void expect_drains_everywhere(const Grid<float>& dem, const Grid<float>& z, const Exempt& ex, const std::string& what,
                              bool printed_fall = true) {
  const std::vector<uint8_t> fixed = fixed_cells(dem, ex.n, ex.i, ex.j);
  Grid<int32_t> dir;
  set_flow_directions(z, dir);
  for (int32_t i = 1; i <= z.rows(); ++i) {
    for (int32_t j = 1; j <= z.cols(); ++j) {
      const std::size_t k = static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(z.cols()) + static_cast<std::size_t>(j - 1);
      if (fixed[k]) {
        EXPECT_EQ(z(i, j), dem(i, j)) << what << ": fixed cell " << i << " " << j;
        continue;
      }
      bool lower = false, shown = false;
      for (int32_t di = -1; di <= 1; ++di)
        for (int32_t dj = -1; dj <= 1; ++dj) {
          const float zn = z(i + di, j + dj);
          if ((di || dj) && zn > 0.0f && zn < z(i, j)) {
            lower = true;
            shown = shown || std::stod(printed(zn)) < std::stod(printed(z(i, j)));
          }
        }
      EXPECT_TRUE(lower) << what << ": cell " << i << " " << j << " at " << z(i, j);
      EXPECT_NE(dir(i, j), 0) << what << ": cell " << i << " " << j;
      if (printed_fall && z(i, j) != dem(i, j)) {
        EXPECT_TRUE(shown) << what << ": cell " << i << " " << j << " at " << printed(z(i, j));
      }
    }
  }
}

int64_t altered(const Grid<float>& a, const Grid<float>& b) {
  int64_t n = 0;
  for (std::size_t k = 0; k < a.size(); ++k) n += a.data()[k] != b.data()[k];
  return n;
}

// A bowl whose floor (12 and 13 m) lies behind a rim of 16 m, lowest at
// (2, 4), 15 m, beside the only low edge cell (1, 4), 10 m.
const Rows kBowl = {{20, 20, 20, 10, 20, 20, 20},
                    {20, 16, 16, 15, 16, 16, 20},
                    {20, 16, 13, 13, 13, 16, 20},
                    {20, 16, 13, 12, 13, 16, 20},
                    {20, 16, 13, 13, 13, 16, 20},
                    {20, 16, 16, 16, 16, 16, 20},
                    {20, 20, 20, 20, 20, 20, 20}};

TEST(PitMethods, ClosedBasinDrainsUnderEveryMethod) {
  const Grid<float> dem = grid_of(kBowl);
  for (PitMethod m : {PitMethod::raise, PitMethod::fill, PitMethod::breach}) {
    const Grid<float> z = after(m, dem);
    expect_drains_everywhere(dem, z, Exempt{}, "method " + std::to_string(static_cast<int>(m)),
                             m != PitMethod::raise);
  }
  // Filling raises the nine floor cells to the spill level and no higher
  // than a tenth per cell of the way to it; the rim keeps its heights.
  const Grid<float> filled = after(PitMethod::fill, dem);
  for (int32_t i = 3; i <= 5; ++i)
    for (int32_t j = 3; j <= 5; ++j) {
      EXPECT_GT(filled(i, j), 15.0f);
      EXPECT_LT(filled(i, j), 15.0f + 0.16f * 4);
    }
  EXPECT_EQ(filled(2, 4), 15.0f);
  EXPECT_EQ(altered(dem, filled), 9);
  // Breaching cuts one channel from the floor's lowest cell through the
  // rim to the low edge cell: two cells lowered, nothing raised.
  BreachResult b;
  const Grid<float> breached = after(PitMethod::breach, dem, Exempt{}, 100, 10.0f, &b);
  EXPECT_EQ(b.pits, 1);
  EXPECT_EQ(b.breached, 1);
  EXPECT_LT(breached(2, 4), 12.0f);
  EXPECT_EQ(altered(dem, breached), 2);
  EXPECT_EQ(breached(4, 4), 12.0f);
}

TEST(PitMethods, FlatDrainsTowardItsOutletWithAVisibleFall) {
  // A 6 x 6 flat at 50 m whose only lower cell is (8, 8) on the edge.
  Rows rows(8, std::vector<float>(8, 60.0f));
  for (int32_t i = 1; i < 7; ++i)
    for (int32_t j = 1; j < 7; ++j) rows[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)] = 50.0f;
  rows[7][7] = 49.0f;
  const Grid<float> dem = grid_of(rows);
  for (PitMethod m : {PitMethod::raise, PitMethod::fill, PitMethod::breach}) {
    expect_drains_everywhere(dem, after(m, dem), Exempt{}, "method " + std::to_string(static_cast<int>(m)),
                             m != PitMethod::raise);
  }
  // The corner cell next to the outlet keeps its height; the far corner
  // rises by a tenth or so per step of the five between them.
  const Grid<float> filled = after(PitMethod::fill, dem);
  EXPECT_EQ(filled(7, 7), 50.0f);
  EXPECT_GE(std::stod(printed(filled(2, 2))), 50.5);
  EXPECT_LE(filled(2, 2), 50.0f + 5 * 0.15f);
}

TEST(PitMethods, ExemptCellInsideADepressionIsNeverAltered) {
  // The bowl's floor centre is exempt: it takes the floor's water, so
  // filling and breaching leave the bowl alone; raising keeps it too.
  const Grid<float> dem = grid_of(kBowl);
  const Exempt ex({{4, 4}});
  for (PitMethod m : {PitMethod::raise, PitMethod::fill, PitMethod::breach}) {
    const Grid<float> z = after(m, dem, ex);
    EXPECT_EQ(z(4, 4), 12.0f);
    expect_drains_everywhere(dem, z, ex, "method " + std::to_string(static_cast<int>(m)),
                             m != PitMethod::raise);
    if (m != PitMethod::raise) {
      EXPECT_EQ(altered(dem, z), 0);
    }
  }
  // An exempt cell on the floor's side, not at its bottom, stays as it is
  // while the rest of the floor is filled or breached around it.
  const Exempt side({{3, 3}});
  for (PitMethod m : {PitMethod::raise, PitMethod::fill, PitMethod::breach}) {
    const Grid<float> z = after(m, dem, side);
    EXPECT_EQ(z(3, 3), 13.0f);
    expect_drains_everywhere(dem, z, side, "method " + std::to_string(static_cast<int>(m)),
                             m != PitMethod::raise);
  }
}

TEST(PitMethods, BreachOutOfReachFallsBackToFilling) {
  // A pit of 9 m in a floor of 10 m, within a ring 3 cells wide, 34 to
  // 36 m high, falling outward to an edge of 5 m: a channel out is 5 steps
  // long and cuts up to 27 m.
  Rows rows(11, std::vector<float>(11, 5.0f));
  for (int i = 1; i < 10; ++i)
    for (int j = 1; j < 10; ++j) {
      const int d = std::max(std::abs(i - 5), std::abs(j - 5));
      rows[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)] = d <= 1 ? 10.0f : 38.0f - static_cast<float>(d);
    }
  rows[5][5] = 9.0f;
  const Grid<float> dem = grid_of(rows);
  const Grid<float> filled = after(PitMethod::fill, dem);
  for (auto [length, depth] : {std::pair{4, 30.0f}, std::pair{100, 26.0f}}) {
    // Too short to leave the ring, or too shallow to cut it.
    BreachResult b;
    const Grid<float> z = after(PitMethod::breach, dem, Exempt{}, length, depth, &b);
    EXPECT_EQ(b.breached, 0) << length;
    EXPECT_EQ(b.change.cells, 0) << length;
    EXPECT_EQ(altered(filled, z), 0) << length;
    expect_drains_everywhere(dem, z, Exempt{}, "breach " + std::to_string(length));
  }
  // Long and deep enough: a channel, nothing lowered past the depth.
  BreachResult b;
  const Grid<float> z = after(PitMethod::breach, dem, Exempt{}, 100, 30.0f, &b);
  EXPECT_EQ(b.breached, 1);
  EXPECT_GT(b.change.cells, 0);
  EXPECT_LE(b.change.largest, 30.0f);
  expect_drains_everywhere(dem, z, Exempt{}, "breach deep");
}

TEST(PitMethods, BreachLowersNoCellPastItsDepthLimit) {
  // A plateau of 500 m, every inner cell a pit, above one edge cell of
  // 100 m: the channels of many pits cross the same cells.
  Rows rows(8, std::vector<float>(9, 500.0f));
  rows[7][4] = 100.0f;
  const Grid<float> dem = grid_of(rows);
  for (float depth : {1.0f, 10.0f}) {
    BreachResult b;
    const Grid<float> z = after(PitMethod::breach, dem, Exempt{}, 100, depth, &b);
    EXPECT_GT(b.breached, 0) << depth;
    EXPECT_LE(b.change.largest, depth);
    for (int32_t i = 1; i <= dem.rows(); ++i)
      for (int32_t j = 1; j <= dem.cols(); ++j) EXPECT_GE(z(i, j), dem(i, j) - depth) << i << "," << j;
    expect_drains_everywhere(dem, z, Exempt{}, "breach on a plateau");
  }
}

// The written grid shows the step each direction takes wherever the cell or
// the cell it drains into was altered, not only some step down: on rough
// centimetre DEMs the steepest lower neighbour is often another than the one
// the flood reached the cell from.
TEST(PitMethods, WrittenGridShowsTheStepOfEveryDirection) {
  int64_t checked = 0;
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(0.0f, 20.0f);
    Rows rows(40, std::vector<float>(40));
    for (int i = 0; i < 40; ++i)
      for (int j = 0; j < 40; ++j)
        rows[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)] =
            std::round((300.0f + u(rng) + static_cast<float>(40 - i) * 0.5f) * 100.0f) / 100.0f;
    rows[39][20] = 100.0f;
    const Grid<float> dem = grid_of(rows);
    for (PitMethod m : {PitMethod::fill, PitMethod::breach}) {
      const Grid<float> z = after(m, dem);
      Grid<int32_t> dir;
      set_flow_directions(z, dir);
      for (int32_t i = 2; i < 40; ++i)
        for (int32_t j = 2; j < 40; ++j) {
          const Step d = decode_direction(dir(i, j));
          ASSERT_NE(dir(i, j), 0) << seed << ": " << i << " " << j;
          const int32_t ti = i + d.di, tj = j + d.dj;
          if (z(i, j) == dem(i, j) && z(ti, tj) == dem(ti, tj)) continue;
          ++checked;
          EXPECT_LT(std::stod(printed(z(ti, tj))), std::stod(printed(z(i, j))))
              << "seed " << seed << ", cell " << i << " " << j << " drains into " << ti << " " << tj;
        }
    }
  }
  EXPECT_GT(checked, 1000);
}

TEST(PitMethods, EveryCellDrainsOnRoughDems) {
  // Integer and decimetre DEMs with pits, flats, no-data and exempt cells.
  std::mt19937 rng(4242);
  for (int trial = 0; trial < 12; ++trial) {
    const int32_t ni = 20 + trial, nj = 31 - trial;
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    Rows rows(static_cast<std::size_t>(ni), std::vector<float>(static_cast<std::size_t>(nj)));
    for (int32_t i = 0; i < ni; ++i)
      for (int32_t j = 0; j < nj; ++j) {
        float v = 100.0f + 0.3f * static_cast<float>(i + j) + 8.0f * u(rng);
        v = trial % 2 ? std::round(v) : std::round(v * 10.0f) / 10.0f;
        if (u(rng) < 0.03f) v = -1.0f;  // no data, but not on the edge
        if ((i == 0 || j == 0 || i == ni - 1 || j == nj - 1) && v < 0.0f) v = 90.0f;
        rows[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)] = v;
      }
    const Grid<float> dem = grid_of(rows);
    const Exempt ex({{ni / 2, nj / 2}, {3, 4}});
    for (PitMethod m : {PitMethod::fill, PitMethod::breach}) {
      BreachResult b;
      const Grid<float> z = after(m, dem, ex, 6, 2.0f, &b);
      expect_drains_everywhere(dem, z, ex, "trial " + std::to_string(trial));
      if (m == PitMethod::fill) {
        for (std::size_t k = 0; k < z.size(); ++k) EXPECT_GE(z.data()[k], dem.data()[k]);
      } else {
        EXPECT_LE(b.change.largest, 2.0f);
      }
    }
  }
}

TEST(PitMethods, CellThatCannotDrainIsReported) {
  // A positive island closed by no-data cells: no path to any drain.
  const Grid<float> dem = grid_of({{5, 5, 5, 5, 5},
                                   {5, -1, -1, -1, 5},
                                   {5, -1, 3, -1, 5},
                                   {5, -1, -1, -1, 5},
                                   {5, 5, 5, 5, 5}});
  Grid<float> z = dem;
  const FillResult r = fill_pits(z, fixed_cells(z, 0, {}, {}));
  EXPECT_EQ(r.stuck_i, 3);
  EXPECT_EQ(r.stuck_j, 3);
  EXPECT_EQ(z(3, 3), 3.0f);
}

TEST(PitMethods, StepAboveIsTheLowestRealPrintedOneTenthHigher) {
  for (float z : {0.0f, 0.04f, 0.05f, 0.25f, 12.0f, 99.95f, 392.0f, 391.96f, 1234.5f, 8848.86f, 65535.9f}) {
    const float v = printed_step_above(z);
    EXPECT_GT(v, z);
    EXPECT_NEAR(std::stod(printed(v)) - std::stod(printed(z)), 0.1, 1e-9) << z;
    EXPECT_EQ(printed(std::nextafter(v, 0.0f)), printed(z)) << z;
  }
}

TEST(PitMethods, ProgressShowsPhaseShareAndTimeLeft) {
  std::FILE* f = std::tmpfile();
  {
    TerrainProgress p(true, f, std::chrono::seconds(0));
    p.phase("filling the pits");
    p.share(0.25);
    p.phase("flow directions");  // never shown: nothing to end
  }
  std::FILE* quiet = std::tmpfile();
  {
    TerrainProgress p(false, quiet, std::chrono::seconds(0));
    p.phase("filling the pits");
    p.share(0.5);
  }
  auto text = [](std::FILE* file) {
    std::rewind(file);
    std::string s;
    for (int c; (c = std::fgetc(file)) != EOF;) s.push_back(static_cast<char>(c));
    std::fclose(file);
    return s;
  };
  const std::string shown = text(f);
  EXPECT_NE(shown.find("terrain: filling the pits 25%, about "), std::string::npos) << shown;
  EXPECT_NE(shown.find(" s left\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("terrain: filling the pits 100%, done in "), std::string::npos) << shown;
  EXPECT_EQ(shown.find("flow directions"), std::string::npos) << shown;
  EXPECT_EQ(text(quiet), "");
}

}  // namespace
}  // namespace tarvex

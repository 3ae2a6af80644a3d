// The terrain mode on small DEMs in a scratch directory.
#include <gtest/gtest.h>

#include "io/input_error.hpp"
#include "support/testkit.hpp"
#include "model/warn_error.hpp"
#include "terrain/mod1.hpp"
#include "terrain/terrain_files.hpp"
#include "terrain/terrain_reference.hpp"

namespace tarvex {
namespace {

using test::TerrainControl;

// The terrain pass as the program runs it: 1 after a numbered refusal.
int terrain_pass(ModelState& s) {
  auto ctl = ControlFile::read("Tarvex.in", 1);
  try {
    if (!ctl) refuse_run(1011);
    MOD1(s, *ctl);
    return 0;
  } catch (const RunRefused&) {
    return 1;
  }
}

struct Mod1Run {
  int status = -1;
  std::string out;
};

Mod1Run run_mod1(const test::TempDir& dir) {
  test::ChangeDir cd(dir.path());
  auto s = std::make_unique<ModelState>();
  Mod1Run r;
  r.out = test::capture_stdout([&] { r.status = terrain_pass(*s); });
  return r;
}

using test::valley_control;

TEST(Mod1, ValleyGivesEveryFile) {
  test::TempDir dir;
  test::write_valley(dir, valley_control(3, 5));
  const Mod1Run r = run_mod1(dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(dir.read("dem_nopit.txt"),
            "     110.0     107.0     104.0     107.0     110.0\n"
            "     108.0     105.0     102.0     105.0     108.0\n"
            "     106.0     103.0     100.0     103.0     106.0\n");
  EXPECT_EQ(dir.read("flowdir.txt"), " 6 6 8 4 4\n 6 6 8 4 4\n 6 6 0 4 4\n");
  EXPECT_EQ(dir.read("area.txt"),
            "      1       2       5       2       1 \n"
            "      1       2      10       2       1 \n"
            "      1       2      15       2       1 \n");
  EXPECT_EQ(dir.read("RiverOrder.out"), " 1  1  2  1  1 \n 1  1  2  1  1 \n 1  1  2  1  1 \n");
  EXPECT_EQ(dir.read("links.txt"),
            "   IIN JIN   IFIN JFIN  ORD   LEN\n"
            "    1    1     1    3    1    2.0\n"
            "    1    5     1    3    1    2.0\n"
            "    2    1     2    3    1    2.0\n"
            "    2    5     2    3    1    2.0\n"
            "    3    1     3    3    1    2.0\n"
            "    3    5     3    3    1    2.0\n"
            "    1    3     3    3    2    2.0\n");
  EXPECT_FALSE(dir.exists("LinkProperties_temp.out"));
}

TEST(Mod1, ExemptCellsMoveTheLaterFileNames) {
  // N = 0: names at records 57, 59, 61; N = 3: at 60, 62, 64.
  for (int32_t n : {0, 3}) {
    TerrainControl c = valley_control(4, 5);
    for (int32_t k = 0; k < n; ++k) c.exempt.push_back({2, 2 + k});
    c.pit_free = "pitfree" + std::to_string(n) + ".txt";
    c.area = "area" + std::to_string(n) + ".txt";
    c.links = "links" + std::to_string(n) + ".txt";
    const std::string text = test::control_text(c);
    std::vector<std::string> records;
    for (std::size_t p = 0, q; (q = text.find('\n', p)) != std::string::npos; p = q + 1) records.push_back(text.substr(p, q - p));
    ASSERT_EQ(records[static_cast<std::size_t>(56 + n)], c.pit_free);
    ASSERT_EQ(records[static_cast<std::size_t>(58 + n)], c.area);
    ASSERT_EQ(records[static_cast<std::size_t>(60 + n)], c.links);

    test::TempDir dir;
    dir.write("Tarvex.in", text);
    auto dem = test::valley_dem(4, 5);
    dem[1][2] = 90.0;  // a pit at (2, 3): raised unless exempt
    dir.write("dem.txt", test::grid_text(dem));
    const Mod1Run r = run_mod1(dir);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(dir.exists(c.pit_free));
    EXPECT_TRUE(dir.exists(c.area));
    EXPECT_TRUE(dir.exists(c.links));
    const std::string second_row = dir.read(c.pit_free).substr(51, 50);
    EXPECT_EQ(second_row.substr(20, 10), n == 3 ? "      90.0" : "     102.1");
  }
}

TEST(Mod1, LongFileNamesAreCutTo30Characters) {
  TerrainControl c = valley_control(3, 3);
  c.directions = "flow_directions_of_the_valley_grid.txt";
  test::TempDir dir;
  test::write_valley(dir, c);
  EXPECT_EQ(run_mod1(dir).status, 0);
  EXPECT_TRUE(dir.exists("flow_directions_of_the_valley_"));
}

void expect_input_error(const test::TempDir& dir, const std::vector<std::string>& parts) {
  test::ChangeDir cd(dir.path());
  auto s = std::make_unique<ModelState>();
  test::expect_input_error([&] { terrain_pass(*s); }, parts);
}

TEST(Mod1, GridWithoutRowsOrColumnsIsRefused) {
  for (auto [ni, nj] : {std::pair{0, 5}, std::pair{3, -1}}) {
    TerrainControl c = valley_control(ni, nj);
    test::TempDir dir;
    test::write_terrain(dir, c, "1 2 3\n");
    expect_input_error(dir, {"Tarvex.in", "record 18"});
    EXPECT_FALSE(dir.exists("flowdir.txt"));
  }
}

TEST(Mod1, DemEndingEarlyIsAnInputError) {
  test::TempDir dir;
  test::write_terrain(dir, valley_control(3, 5), "1 2 3 4 5\n1 2 3 4 5\n1 2 3\n");
  expect_input_error(dir, {"dem.txt", "record 3", "row 3 of the DEM"});
}

TEST(Mod1, ControlFileEndingInTheExemptCellsIsAnInputError) {
  // Cut after the count (record 54) and after the first of two cells.
  for (const auto& [cut, record] : {std::pair{54, "record 54"}, std::pair{56, "record 56"}}) {
    TerrainControl c = valley_control(3, 5);
    c.exempt = {{2, 2}, {2, 3}};
    std::string text = test::control_text(c);
    std::size_t end = 0;
    for (int k = 0; k < cut; ++k) end = text.find('\n', end) + 1;
    test::TempDir dir;
    test::write_terrain(dir, c, test::grid_text(test::valley_dem(3, 5)));
    dir.write("Tarvex.in", text.substr(0, end));
    expect_input_error(dir, {"Tarvex.in", record});
  }
}

}  // namespace
}  // namespace tarvex

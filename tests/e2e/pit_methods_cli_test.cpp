// The pit methods through the program: the options, the summary line, the
// files of the pass on the filled or breached surface, and a DEM that
// cannot drain.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/testkit.hpp"
#include "terrain/terrain_files.hpp"

namespace tarvex {
namespace {

using test::valley_control;

// The 6 x 9 valley with a pit 3 m deep at (3, 5) on its stream.
void write_pitted_valley(const test::TempDir& dir) {
  auto z = test::valley_dem(6, 9);
  z[2][4] -= 3.0;
  test::write_terrain(dir, valley_control(6, 9), test::grid_text(z));
}

TEST(PitMethodsCli, FillAndBreachDrainThePitEachTheirWay) {
  test::TempDir raise_dir, fill_dir, breach_dir;
  for (const auto* d : {&raise_dir, &fill_dir, &breach_dir}) write_pitted_valley(*d);
  const auto raised = test::run_tarvex({"--mode", "1"}, raise_dir.path());
  ASSERT_EQ(raised.exit_code, 0) << raised.err;
  EXPECT_EQ(raised.out, "");  // no summary line with the default method

  const auto filled = test::run_tarvex({"--mode", "1", "--pits", "fill"}, fill_dir.path());
  ASSERT_EQ(filled.exit_code, 0) << filled.err;
  EXPECT_EQ(filled.out, " Pits filled: 1 cells raised, the largest rise 1.05 m\n");
  EXPECT_EQ(filled.err, "");
  // The pit, 103.0 m between 108.0 m upstream and 104.0 m downstream, is
  // set one printed tenth above the cell it drains to.
  const std::vector<std::string> rows = test::lines_of(fill_dir.read("dem_nopit.txt"));
  EXPECT_EQ(rows[2].substr(40, 10), "     104.1") << rows[2];

  const auto breached =
      test::run_tarvex({"--mode=1", "--pits=breach", "--breach-length", "5", "--breach-depth=2.5"}, breach_dir.path());
  ASSERT_EQ(breached.exit_code, 0) << breached.err;
  EXPECT_EQ(breached.out,
            " Pits breached: 1 of 1 by channels of 1 cells, 0 cells raised; 1 cells changed, the largest change 1.50 m\n");
  // The stream runs down the middle column under every method: the
  // directions, orders and links are those of the valley.
  for (const char* f : {"flowdir.txt", "RiverOrder.out", "links.txt"}) {
    EXPECT_EQ(fill_dir.read(f), raise_dir.read(f)) << f;
    EXPECT_EQ(breach_dir.read(f), raise_dir.read(f)) << f;
  }
}

TEST(PitMethodsCli, OptionsOutsideTheTerrainModeOrMisspeltAreUsageErrors) {
  test::TempDir dir;
  write_pitted_valley(dir);
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--mode", "1", "--pits", "dig"}, "unknown pit method 'dig' (raise, fill or breach)"},
      {{"--mode", "2", "--pits", "fill"}, "option --pits needs the terrain mode"},
      {{"--mode", "1", "--pits", "fill", "--breach-depth", "3"}, "option --breach-depth needs --pits breach"},
      {{"--mode", "1", "--pits", "breach", "--breach-length", "0"}, "the breach length must be a whole number"},
      {{"--mode", "1", "--pits", "breach", "--breach-depth", "-1"}, "the breach depth must be a number of m"},
      {{"--mode", "3", "--progress"}, "option --progress needs --search or the terrain mode"},
  };
  for (const auto& [args, message] : cases) {
    const auto r = test::run_tarvex(args, dir.path());
    EXPECT_EQ(r.exit_code, 2) << args[2];
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
  }
  // --progress belongs to the terrain mode too; a short pass shows nothing.
  const auto r = test::run_tarvex({"--mode", "1", "--pits", "fill", "--progress"}, dir.path());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
}

TEST(PitMethodsCli, CellThatCannotDrainIsRefused) {
  // A positive cell closed in by no-data cells.
  test::TempDir dir;
  test::write_terrain(dir, valley_control(5, 5), "5 5 5 5 5\n5 -1 -1 -1 5\n5 -1 3 -1 5\n5 -1 -1 -1 5\n5 5 5 5 5\n");
  for (const char* method : {"fill", "breach"}) {
    const auto r = test::run_tarvex({"--mode", "1", "--pits", method}, dir.path());
    EXPECT_EQ(r.exit_code, 1) << method;
    EXPECT_EQ(r.out.find(" Elevation of the cell 3 3 cannot drain: no path of positive cells leads to the edge of the "
                         "grid or to an exempt cell.\n"),
              0u)
        << r.out;
    EXPECT_NE(r.out.find("Error in removing the pit"), std::string::npos) << r.out;
    EXPECT_FALSE(dir.exists("dem_nopit.txt"));
  }
}

}  // namespace
}  // namespace tarvex

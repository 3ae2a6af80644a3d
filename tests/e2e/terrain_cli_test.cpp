// The terrain mode through the program: console, exit status and the files
// that are written or survive on each path.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "support/testkit.hpp"
#include "terrain/terrain_files.hpp"

namespace tarvex {
namespace {

using test::TerrainControl;
using test::valley_control;

using test::files_in;


const std::set<std::string> kInputs = {"Tarvex.in", "dem.txt"};

TEST(TerrainCli, ValleyRunsToTheEnd) {
  test::TempDir dir;
  test::write_valley(dir, valley_control(6, 9));
  const auto r = test::run_tarvex({"--mode", "1"}, dir.path());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(files_in(dir), (std::set<std::string>{"Tarvex.in", "dem.txt", "flowdir.txt", "dem_nopit.txt",
                                                 "area.txt", "RiverOrder.out", "links.txt"}));
  const std::string links = dir.read("links.txt");
  EXPECT_EQ(links.substr(0, 34), "   IIN JIN   IFIN JFIN  ORD   LEN\n");
  // Two order-1 streams per row, one order-2 stream down the valley.
  EXPECT_NE(links.find("    1    5     6    5    2    5.0\n"), std::string::npos) << links;
  EXPECT_EQ(std::count(links.begin(), links.end(), '\n'), 1 + 12 + 1);
}

TEST(TerrainCli, ControlFileMissing) {
  test::TempDir dir;
  const auto r = test::run_tarvex({"--mode", "1"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "\n File Tarvex.in not found\n\n");
  EXPECT_TRUE(files_in(dir).empty());
}

TEST(TerrainCli, DemMissing) {
  test::TempDir dir;
  dir.write("Tarvex.in", test::control_text(valley_control(3, 3)));
  const auto r = test::run_tarvex({"--mode", "1"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "\n DEM not found\n\n The river network determination failed\n\n");
  EXPECT_EQ(files_in(dir), (std::set<std::string>{"Tarvex.in"}));
}

TEST(TerrainCli, GridTooLargeWritesNothing) {
  test::TempDir dir;
  test::write_terrain(dir, valley_control(1000, 1001), "1\n");
  const auto r = test::run_tarvex({"--mode", "1"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "\n The dimension of the DEM exceeds the maximum allowed\n\n");
  EXPECT_EQ(files_in(dir), kInputs);
}

TEST(TerrainCli, TooManyExemptCellsWriteNothing) {
  TerrainControl c = valley_control(3, 3);
  c.n_exempt = 11;
  test::TempDir dir;
  test::write_valley(dir, c);
  const auto r = test::run_tarvex({"--mode", "1"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out,
            "\n The number of pits whose elevation has not to be raised exceeds the maximum allowed\n\n");
  // A refused run writes nothing (it used to leave an empty direction file).
  EXPECT_EQ(files_in(dir), (std::set<std::string>{"Tarvex.in", "dem.txt"}));
}

TEST(TerrainCli, PitThatCannotBeRemoved) {
  test::TempDir dir;
  test::write_terrain(dir, valley_control(3, 3), "-9 -9 -9\n-9 5 -9\n-9 -9 -9\n");
  const auto r = test::run_tarvex({"--mode", "1"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out,
            " Elevation of the cell 2 2 greater than the maximum elevation of the catchment.\n"
            "\n Error in removing the pit\n\n The river network determination failed\n\n");
  // A refused run writes nothing (it used to leave an empty direction file).
  EXPECT_EQ(files_in(dir), (std::set<std::string>{"Tarvex.in", "dem.txt"}));
}

TEST(TerrainCli, TooManySourcesKeepTheTemporaryLinkList) {
  // Ridges on the odd columns drain sideways into the even ones: 12500
  // sources on 25 x 1000 cells.
  std::vector<std::vector<double>> z(25, std::vector<double>(1000));
  for (std::size_t i = 0; i < 25; ++i)
    for (std::size_t j = 0; j < 1000; ++j) z[i][j] = 100.0 + 0.1 * static_cast<double>(25 - i) + (j % 2 == 0 ? 10.0 : 0.0);
  TerrainControl c = valley_control(25, 1000);
  test::TempDir dir;
  test::write_terrain(dir, c, test::grid_text(z));
  const auto r = test::run_tarvex({"--mode", "1"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out,
            "\n The maximum number of links of the river network has been exceeded\n\n"
            " Only the temporary file of the link properties has been produced\n\n");
  // The temporary list is what the message says this refusal leaves; the
  // other outputs of the refused run are not kept.
  EXPECT_EQ(files_in(dir), (std::set<std::string>{"Tarvex.in", "dem.txt", "LinkProperties_temp.out"}));
  const std::string temp = dir.read("LinkProperties_temp.out");
  EXPECT_EQ(temp.substr(0, 10), " Order  1\n");
  EXPECT_EQ(std::count(temp.begin(), temp.end(), '\n'), 2 + 10000);
}

}  // namespace
}  // namespace tarvex

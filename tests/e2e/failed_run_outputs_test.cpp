// Runs the built program on inputs a user gets wrong: the run must stop with
// one line and exit 1, and leave every file written by earlier runs as it
// was (or absent), with no temporary left beside it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <map>
#include <string>

#include "io/geotiff.hpp"
#include "support/testkit.hpp"
#include "terrain/terrain_files.hpp"

namespace tarvex {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kNi = 6, kNj = 9;
const std::string kAscHeader = "ncols 9\nnrows 6\nxllcorner 0\nyllcorner 0\ncellsize 25\n";

// Every file of dir with its bytes.
std::map<std::string, std::string> snapshot(const test::TempDir& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(dir.path())) {
    files[e.path().filename().string()] = e.is_regular_file() ? test::read_file(e.path()) : "<not a file>";
  }
  return files;
}

std::string dem_lines(int32_t rows) {
  const std::string all = test::grid_text(test::valley_dem(kNi, kNj));
  std::string text;
  for (const std::string& l : test::lines_of(all)) {
    if (rows-- <= 0) break;
    text += l + "\n";
  }
  return text;
}

TEST(FailedRunOutputs, EarlierOutputsStayByteIdentical) {
  test::TempDir dir;
  test::TerrainControl c = test::valley_control(kNi, kNj);
  test::write_valley(dir, c);
  ASSERT_EQ(test::run_tarvex({"--mode", "1"}, dir.path()).exit_code, 0);
  // A successful run leaves its outputs in place and nothing beside them.
  auto before = snapshot(dir);
  EXPECT_EQ(before.size(), 7u);
  EXPECT_EQ(before.at("flowdir.txt").size(), static_cast<std::size_t>(kNi * (2 * kNj + 1)));

  // The DEM one row short: an input error after the outputs were opened.
  dir.write("dem.txt", dem_lines(kNi - 1));
  before["dem.txt"] = dir.read("dem.txt");
  const auto r = test::run_tarvex({"--mode", "1"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("dem.txt"), std::string::npos) << r.err;
  EXPECT_EQ(snapshot(dir), before);
}

TEST(FailedRunOutputs, GisOutputsOfAFailedRunAreNeverWritten) {
  test::TempDir dir;
  test::TerrainControl c = test::valley_control(kNi, kNj);
  c.dem = "dem.asc";
  c.directions = "flowdir.asc";
  c.area = "area.asc";
  c.pit_free = "dem_nopit.asc";
  test::write_terrain(dir, c, kAscHeader + dem_lines(kNi - 1));
  auto r = test::run_tarvex({"--mode", "1"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("dem.asc"), std::string::npos) << r.err;
  // No earlier file: none now (it was a header and process memory).
  EXPECT_EQ(test::files_in(dir), (std::set<std::string>{"Tarvex.in", "dem.asc"}));

  // The pit-free DEM named like a directory: refused after the direction
  // grid was opened; the earlier direction grid is kept as it was.
  test::write_terrain(dir, c, kAscHeader + dem_lines(kNi));
  fs::create_directory(dir / "dem_nopit.asc");
  dir.write("flowdir.asc", "an earlier direction grid\n");
  const auto before = snapshot(dir);
  r = test::run_tarvex({"--mode", "1"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("dem_nopit.asc"), std::string::npos) << r.err;
  EXPECT_EQ(snapshot(dir), before);
}

TEST(FailedRunOutputs, AscGridsHoldExactlyTheValuesTheyDeclare) {
  const auto z = test::valley_dem(kNi, kNj);
  const std::string rows = test::grid_text(z);
  struct Case {
    std::string text;
    std::string error;
  };
  const std::vector<Case> cases = {
      // One value too many on the first row: every later row would shift.
      {kAscHeader + "5 " + rows,
       "file 'dem.asc': line 6 holds 10 values where a row has ncols = 9; the data block holds 55 values, "
       "not nrows x ncols = 6 x 9 = 54\n"},
      {std::string("ncols 9 10\nnrows 6\nxllcorner 0\nyllcorner 0\ncellsize 25\n") + rows,
       "file 'dem.asc': record 1: 'ncols' takes one value; the record holds 2\n"},
      {kAscHeader + "NODATA_value\n" + rows, "file 'dem.asc': record 6: 'NODATA_value' without a value\n"},
  };
  for (const Case& k : cases) {
    test::TempDir dir;
    test::TerrainControl c = test::valley_control(kNi, kNj);
    c.dem = "dem.asc";
    test::write_terrain(dir, c, k.text);
    const auto r = test::run_tarvex({"--mode", "1"}, dir.path());
    EXPECT_EQ(r.exit_code, 1) << k.text;
    EXPECT_EQ(r.err, "tarvex: error: " + k.error);
  }
  // The same rows wrapped over two lines each read as before.
  test::TempDir dir;
  test::TerrainControl c = test::valley_control(kNi, kNj);
  c.dem = "dem.asc";
  std::string wrapped = kAscHeader;
  for (const std::string& l : test::lines_of(rows)) {
    const std::size_t cut = l.find(' ', l.size() / 2);
    wrapped += l.substr(0, cut) + "\n" + l.substr(cut + 1) + "\n";
  }
  test::write_terrain(dir, c, wrapped);
  const auto r = test::run_tarvex({"--mode", "1"}, dir.path());
  EXPECT_EQ(r.exit_code, 0) << r.err;
}

TEST(FailedRunOutputs, PipesNamedLikeGridsAreRefusedAtOnce) {
  for (const std::string name : {"dem.asc", "dem.tif", "dem.txt"}) {
    SCOPED_TRACE(name);
    test::TempDir dir;
    test::TerrainControl c = test::valley_control(kNi, kNj);
    c.dem = name;
    dir.write("Tarvex.in", test::control_text(c));
    ASSERT_EQ(::mkfifo((dir / name).c_str(), 0600), 0);
    // A run that waits on the pipe is stopped after 20 s (status 124).
    const fs::path err = dir / "stderr.txt";
    const std::string cmd = "cd '" + dir.path().string() + "' && timeout 20 '" + test::tarvex_binary().string() +
                            "' --mode 1 >/dev/null 2>'" + err.string() + "' </dev/null";
    const int status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(test::read_file(err), "tarvex: error: file '" + name + "': not a regular file\n");
  }
}

}  // namespace
}  // namespace tarvex

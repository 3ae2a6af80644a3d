// `tarvex init` through the built program: from the example's DEM and CSV
// series to a terrain pass and a short search, what it derives from the
// files, and what it refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "io/geotiff.hpp"
#include "io/grid_file.hpp"
#include "support/testkit.hpp"

namespace tarvex {
namespace {

namespace fs = std::filesystem;
using test::run_tarvex;
using test::TempDir;

// The first n lines of a text.
std::string head(const std::string& text, std::size_t n) {
  std::string out;
  std::size_t k = 0;
  for (const std::string& line : test::lines_of(text)) {
    if (k++ == n) break;
    out += line + "\n";
  }
  return out;
}

// Record n (from 1) of a file.
std::string record(const TempDir& d, const std::string& file, std::size_t n) {
  const auto lines = test::lines_of(d.read(file));
  return n <= lines.size() ? lines[n - 1] : "";
}

// The example's series cut to `days` days, its stations, and its DEM as an
// ESRI ASCII grid with lower-left corner (0, 0): the georeference the
// stations' map coordinates use.
void catchment_inputs(const TempDir& d, std::size_t days = 20) {
  const fs::path ex = test::source_dir() / "examples" / "catchment-csv";
  for (const char* f : {"rain.csv", "temp.csv", "obs.csv"}) d.write(f, head(test::read_file(ex / f), 1 + 24 * days));
  for (const char* f : {"rain.stations.csv", "temp.stations.csv", "temp.et.csv"}) {
    d.write(f, test::read_file(ex / f));
  }
  d.write("dem.asc", "ncols 100\nnrows 100\nxllcorner 0\nyllcorner 0\ncellsize 50\nNODATA_value -9999\n" +
                         test::read_file(ex / "dem.txt"));
}

const std::vector<std::string> kInit = {"init",          "--dem",    "dem.asc",  "--rain", "rain.csv",
                                        "--temperature", "temp.csv", "--observed", "obs.csv"};

std::vector<std::string> init_args(const std::vector<std::string>& more) {
  std::vector<std::string> a = kInit;
  a.insert(a.end(), more.begin(), more.end());
  return a;
}

TEST(InitCommand, WritesACatchmentThatTheTerrainPassAndASearchRunOn) {
  TempDir d;
  catchment_inputs(d);
  // A point a cell off the outlet of the example: snapped back onto it.
  const auto init = run_tarvex(init_args({"--outlet", "2560,60"}), d.path());
  ASSERT_EQ(init.exit_code, 0) << init.err;
  EXPECT_NE(init.out.find("lies in cell 99 52; snapped within 100 m to cell 100 51"), std::string::npos) << init.out;
  // What the example's own control file holds, derived from the files.
  const TempDir ex;
  test::copy_dir(test::source_dir() / "examples" / "catchment-csv", ex.path());
  EXPECT_EQ(record(d, "Tarvex.in", 10), record(ex, "Tarvex.in", 10));  // start date
  EXPECT_EQ(record(d, "Tarvex.in", 14), "480");                         // 20 days of hours
  EXPECT_EQ(record(d, "Tarvex.in", 8), "480");
  EXPECT_EQ(record(d, "Tarvex.in", 16), "3600.");
  EXPECT_EQ(record(d, "Tarvex.in", 18), record(ex, "Tarvex.in", 18));
  EXPECT_EQ(record(d, "Tarvex.in", 20), "50. 50.");
  EXPECT_EQ(record(d, "Tarvex.in", 46), record(ex, "Tarvex.in", 46));
  // Every value not derived is named with its default.
  for (const char* name : {"DT_SIM", "A_CHANNEL", "WD_HILL", "K_SUB", "TAU_SUB", "IA_RATIO", "--snap", "rough.txt",
                           "cn.txt", "MAXTRIALS"}) {
    EXPECT_NE(init.out.find(name), std::string::npos) << name;
  }

  const auto terrain = run_tarvex({"--mode", "1"}, d.path());
  ASSERT_EQ(terrain.exit_code, 0) << terrain.err;
  ASSERT_TRUE(d.exists("elev.asc") && d.exists("links.txt"));

  std::string sce = d.read("scein.dat");
  ASSERT_EQ(sce.substr(0, 5), " 2000");
  d.write("scein.dat", "   40" + sce.substr(5));
  const auto search = run_tarvex({"--search", "-j", "2"}, d.path());
  ASSERT_EQ(search.exit_code, 0) << search.err;
  EXPECT_NE(search.out.find("Search stopped"), std::string::npos) << search.out;
  const auto rows = test::lines_of(d.read("outlet.csv"));
  ASSERT_EQ(rows.size(), 481u);
  EXPECT_EQ(rows[1].substr(0, 17), "2020-10-01T00:00,");
  EXPECT_EQ(rows[480].substr(0, 17), "2020-10-20T23:00,");
}

TEST(InitCommand, TakesTheStartAndStepFromTheRainSeriesOrTheOptions) {
  TempDir d;
  catchment_inputs(d, 3);
  // Six-hourly rows from 06:00: the run starts at the next midnight.
  std::string rain = "time,gauge1,gauge2,gauge3\n", temp = "time,station1\n", obs = "time,q1\n";
  for (int h = 6; h < 96; h += 6) {
    const std::string t = "2021-03-0" + std::to_string(1 + h / 24) + "T" + (h % 24 < 10 ? "0" : "") +
                          std::to_string(h % 24) + ":00";
    rain += t + ",1,2,3\n";
    temp += t + ",5.0\n";
    obs += t + ",0.1\n";
  }
  d.write("rain.csv", rain);
  d.write("temp.csv", temp);
  d.write("obs.csv", obs);
  const auto a = run_tarvex(init_args({"--outlet", "2525,25"}), d.path());
  ASSERT_EQ(a.exit_code, 0) << a.err;
  EXPECT_EQ(record(d, "Tarvex.in", 10), "2 3 2021");
  EXPECT_EQ(record(d, "Tarvex.in", 16), "21600.");
  EXPECT_EQ(record(d, "Tarvex.in", 14), "12");  // 03-02 00:00 to 03-04 18:00
  EXPECT_EQ(record(d, "Tarvex.in", 22), "3600.");

  TempDir e;
  catchment_inputs(e, 3);
  e.write("rain.csv", rain);
  e.write("temp.csv", temp);
  e.write("obs.csv", obs);
  const auto b = run_tarvex(init_args({"--outlet", "2525,25", "--start", "2021-03-03", "--step", "21600"}), e.path());
  ASSERT_EQ(b.exit_code, 0) << b.err;
  EXPECT_EQ(record(e, "Tarvex.in", 10), "3 3 2021");
  EXPECT_EQ(record(e, "Tarvex.in", 16), "21600.");
  EXPECT_EQ(record(e, "Tarvex.in", 14), "8");
}

// A GeoTIFF DEM in real map coordinates: the terrain files keep its
// georeference, and the gauges given in those coordinates land where the
// same gauges land on the example's grid at corner (0, 0).
TEST(InitCommand, GeoTiffDemInMapCoordinates) {
  if (!geotiff_available()) GTEST_SKIP() << "built without GDAL";
  TempDir plain, tif;
  catchment_inputs(plain, 3);
  catchment_inputs(tif, 3);
  std::vector<float> z(100 * 100);
  GridReader dem(tif / "dem.asc");
  dem.rows(z.data(), 100, 100, "the DEM", -9999.0f);
  GeoReference geo;
  geo.x_ll = 500000.0;
  geo.y_ll = 4800000.0;
  geo.cellsize = 50.0;
  geo.known = true;
  write_geotiff(tif / "dem.tif", z.data(), 100, 100, geo, -9999.0);
  tif.write("rain.stations.csv", "name,x,y\ngauge1,501225,4804025\ngauge2,503975,4802525\ngauge3,502225,4800775\n");
  tif.write("temp.stations.csv", "name,x,y,elevation\nstation1,502475,4802025,350.\n");

  const auto a = run_tarvex(init_args({"--outlet", "2525,25"}), plain.path());
  std::vector<std::string> args = init_args({"--outlet", "502525,4800025"});
  args[2] = "dem.tif";
  const auto b = run_tarvex(args, tif.path());
  ASSERT_EQ(a.exit_code, 0) << a.err;
  ASSERT_EQ(b.exit_code, 0) << b.err;
  EXPECT_EQ(record(tif, "Tarvex.in", 18), "100 100");
  EXPECT_EQ(record(tif, "Tarvex.in", 46), record(plain, "Tarvex.in", 46));
  EXPECT_EQ(record(tif, "Tarvex.in", 52), "dir.tif");
  for (const TempDir* d : {&plain, &tif}) {
    ASSERT_EQ(run_tarvex({"--mode", "1"}, d->path()).exit_code, 0);
    const auto run = run_tarvex({"--mode", "3"}, d->path());
    ASSERT_EQ(run.exit_code, 0) << run.err;
  }
  EXPECT_EQ(tif.read("RaingThDistr.out"), plain.read("RaingThDistr.out"));
  EXPECT_EQ(tif.read("discharge.csv"), plain.read("discharge.csv"));
}

TEST(InitCommand, RefusesWithoutWritingAnything) {
  struct Case {
    std::vector<std::string> args;
    const char* existing;  // a file there before
    int status;
    const char* says;
  };
  const std::vector<Case> cases = {
      {init_args({"--outlet", "2525,25"}), "scein.dat", 1, "'scein.dat' exists already"},
      {init_args({"--outlet", "2525,25"}), "cn.txt", 1, "'cn.txt' exists already"},
      {init_args({"--outlet", "9000,25"}), nullptr, 1, "lies outside the DEM"},
      {init_args({}), nullptr, 2, "--outlet X,Y is needed"},
      {init_args({"--outlet", "2525"}), nullptr, 2, "--outlet takes X,Y"},
      {init_args({"--outlet", "2525,25", "--start", "2020-13-01"}), nullptr, 2, "--start takes a date"},
      {{"init", "--dem", "dem.txt", "--rain", "rain.csv", "--temperature", "temp.csv", "--observed", "obs.csv",
        "--outlet", "2525,25"},
       nullptr, 1, "'dem.txt': the DEM must be an ESRI ASCII grid"},
      {{"init", "--dem", "dem.asc", "--rain", "rain.csv", "--temperature", "temp.csv", "--observed", "obs.txt",
        "--outlet", "2525,25"},
       nullptr, 1, "is not a dated CSV series"},
  };
  for (const Case& c : cases) {
    TempDir d;
    catchment_inputs(d, 2);
    d.write("dem.txt", "1 2\n3 4\n");
    d.write("obs.txt", "1\n");
    if (c.existing) d.write(c.existing, "mine\n");
    const auto before = test::files_in(d);
    const auto r = run_tarvex(c.args, d.path());
    EXPECT_EQ(r.exit_code, c.status) << c.says << ": " << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(test::lines_of(r.err).size(), 1u) << r.err;
    EXPECT_EQ(test::files_in(d), before) << c.says;
    if (c.existing) {
      EXPECT_EQ(d.read(c.existing), "mine\n");
    }
  }
}

// A DEM in degrees is refused before anything is written (the terrain pass
// would refuse it after); a snap radius past the grid searches the grid.
TEST(InitCommand, DegreesRefusedAndAnyRadiusSearchesTheGrid) {
  {
    TempDir d;
    catchment_inputs(d, 2);
    const std::string dem = d.read("dem.asc");
    d.write("dem.asc", "ncols 100\nnrows 100\nxllcorner 10\nyllcorner 40\ncellsize 0.001\nNODATA_value -9999\n" +
                           dem.substr(dem.find("NODATA_value -9999\n") + 19));
    d.write("dem.prj", "GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137,298.257223563]],"
                       "PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433]]");
    const auto before = test::files_in(d);
    const auto r = run_tarvex(init_args({"--outlet", "10.0525,40.0025"}), d.path());
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_NE(r.err.find("in degrees"), std::string::npos) << r.err;
    EXPECT_EQ(test::files_in(d), before);
  }
  std::string snapped;
  for (const char* radius : {"1e11", "1e300"}) {
    TempDir d;
    catchment_inputs(d, 2);
    const auto r = run_tarvex(init_args({"--outlet", "2525,25", "--snap", radius}), d.path());
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::string said = r.out.substr(r.out.find(" to cell "));
    const std::string cell = said.substr(0, said.find('\n'));
    if (snapped.empty()) snapped = cell;
    EXPECT_EQ(cell, snapped) << radius;
  }
}
}  // namespace
}  // namespace tarvex

// Terrain preprocessing on the same DEM as a text grid, an ESRI ASCII grid
// and a GeoTIFF: the grids written read back to the same values.
#include <gtest/gtest.h>

#include <vector>

#include "io/geotiff.hpp"
#include "io/grid_file.hpp"
#include "support/testkit.hpp"
#include "terrain/terrain_files.hpp"

namespace tarvex {
namespace {

constexpr int32_t kNi = 6, kNj = 9;

// The valley with a pit and two no-data cells (any negative elevation).
std::vector<std::vector<double>> dem() {
  auto z = test::valley_dem(kNi, kNj);
  z[2][2] = 90.5;
  z[0][0] = -9999.0;
  z[0][1] = -9999.0;
  return z;
}

struct TerrainGrids {
  std::vector<float> elevation;
  std::vector<int32_t> directions, area;
  std::string links;
};

template <class T>
std::vector<T> read_back(const std::filesystem::path& path, T nodata) {
  std::vector<T> v(static_cast<std::size_t>(kNi * kNj));
  GridReader(path).rows(v.data(), kNi, kNj, "grid", nodata);
  return v;
}

// Runs the terrain mode with every grid named with extension ext.
TerrainGrids run(const std::string& ext) {
  test::TempDir dir;
  const auto z = dem();
  if (ext == ".txt") {
    dir.write("dem.txt", test::grid_text(z));
  } else if (ext == ".asc") {
    std::string text = "ncols 9\nnrows 6\nxllcorner 500000\nyllcorner 4100000\ncellsize 25\nNODATA_value -9999\n";
    dir.write("dem.asc", text + test::grid_text(z));
    dir.write("dem.prj", "PROJCS[\"a local grid\"]");
  } else {
    std::vector<float> flat;
    for (const auto& row : z) flat.insert(flat.end(), row.begin(), row.end());
    GeoReference geo;
    geo.x_ll = 500000.0;
    geo.y_ll = 4100000.0;
    geo.cellsize = 25.0;
    geo.known = true;
    write_geotiff(dir / "dem.tif", flat.data(), kNi, kNj, geo, -9999.0);
  }
  test::TerrainControl c;
  c.ni = kNi;
  c.nj = kNj;
  c.outlet_i = kNi;
  c.outlet_j = 5;
  c.dem = "dem" + ext;
  c.directions = "flowdir" + ext;
  c.pit_free = "dem_nopit" + ext;
  c.area = "area" + ext;
  dir.write("Tarvex.in", test::control_text(c));
  const auto r = test::run_tarvex({"--mode", "1"}, dir.path());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  if (ext == ".asc") {
    EXPECT_EQ(dir.read("flowdir.prj"), "PROJCS[\"a local grid\"]\n");
    const std::string head = dir.read("area.asc").substr(0, 120);
    EXPECT_NE(head.find("xllcorner     500000\n"), std::string::npos) << head;
    EXPECT_NE(head.find("NODATA_value  0\n"), std::string::npos) << head;
  }
  if (ext == ".tif") {
    EXPECT_EQ(GeoTiffReader(dir / "area.tif").geo().x_ll, 500000.0);
  }
  return {read_back<float>(dir / c.pit_free, -1.0f), read_back<int32_t>(dir / c.directions, 0),
          read_back<int32_t>(dir / c.area, 0), dir.read("links.txt")};
}

TEST(GisGrids, TerrainPassGivesTheSameGridsInEveryFormat) {
  const TerrainGrids text = run(".txt");
  EXPECT_EQ(text.elevation[0], -1.0f);
  EXPECT_GT(text.elevation[2 * kNj + 2], 90.5f);  // the pit was raised
  std::vector<std::string> formats = {".asc"};
  if (geotiff_available()) formats.push_back(".tif");
  for (const std::string& ext : formats) {
    SCOPED_TRACE(ext);
    const TerrainGrids gis = run(ext);
    EXPECT_EQ(gis.elevation, text.elevation);
    EXPECT_EQ(gis.directions, text.directions);
    EXPECT_EQ(gis.area, text.area);
    EXPECT_EQ(gis.links, text.links);
  }
}

TEST(GisGrids, HeaderDisagreeingWithTheControlFileIsRefused) {
  test::TempDir dir;
  test::TerrainControl c;
  c.ni = kNi;
  c.nj = kNj;
  c.outlet_i = kNi;
  c.outlet_j = 5;
  c.dem = "dem.ASC";
  dir.write("Tarvex.in", test::control_text(c));
  dir.write("dem.ASC", "ncols 9\nnrows 5\nxllcorner 0\nyllcorner 0\ncellsize 25\n" + test::grid_text(dem()));
  const auto r = test::run_tarvex({"--mode", "1"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "tarvex: error: file 'dem.ASC': nrows 5 disagrees with NI = 6 of record 18 of 'Tarvex.in'\n");
  EXPECT_FALSE(dir.exists("flowdir.txt"));
}

}  // namespace
}  // namespace tarvex

#include "io/degree_dem.hpp"

#include <gtest/gtest.h>

#include "io/ascii_grid.hpp"
#include "io/input_error.hpp"
#include "io/record_reader.hpp"
#include "support/testkit.hpp"

namespace tarvex {
namespace {

TEST(DegreeDem, GeographicSystemsAreToldFromProjectedOnes) {
  // WKT 1 and 2; a projected system holds its geographic base.
  EXPECT_TRUE(is_geographic_crs("GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137,298.257]]]"));
  EXPECT_TRUE(is_geographic_crs("  geogcrs[\"ETRS89\",DATUM[\"x\"]]"));
  EXPECT_TRUE(is_geographic_crs("COMPD_CS[\"a\",GEOGCS[\"WGS 84\"],VERT_CS[\"h\"]]"));
  EXPECT_FALSE(is_geographic_crs("PROJCS[\"WGS 84 / UTM zone 33N\",GEOGCS[\"WGS 84\"],PROJECTION[\"TM\"]]"));
  EXPECT_FALSE(is_geographic_crs("PROJCRS[\"x\",BASEGEOGCRS[\"WGS 84\"],CONVERSION[\"UTM\"]]"));
  // A name is no keyword.
  EXPECT_FALSE(is_geographic_crs("PROJCS[\"GEOGCS[ in a name\",UNIT[\"metre\",1]]"));
  EXPECT_FALSE(is_geographic_crs("LOCAL_CS[\"a local grid\"]"));
  EXPECT_FALSE(is_geographic_crs(""));
}

TEST(DegreeDem, ZoneOfTheCentreAndRoundCellSize) {
  EXPECT_EQ(utm_epsg(12.5, 45.5), 32633);
  EXPECT_EQ(utm_epsg(-70.2, -33.5), 32719);
  EXPECT_EQ(utm_epsg(-180.0, 10.0), 32601);
  EXPECT_EQ(utm_epsg(179.99, -1.0), 32760);
  EXPECT_EQ(utm_epsg(180.0, 0.0), 32601);   // the antimeridian wraps
  EXPECT_EQ(utm_epsg(200.0, 10.0), 32604);  // longitudes 0..360
  EXPECT_EQ(utm_epsg(0.0, 0.0), 32631);
  EXPECT_EQ(projected_cell_size(3.0 / 3600.0), 90.0);
  EXPECT_EQ(projected_cell_size(1.0 / 3600.0), 30.0);
  EXPECT_EQ(projected_cell_size(30.0 / 3600.0), 930.0);
  EXPECT_EQ(projected_cell_size(0.05), 5600.0);
  EXPECT_EQ(projected_cell_size(1.0 / 3600.0 / 9.0), 3.0);
  EXPECT_EQ(projected_cell_size(1e-7), 1.0);
}

TEST(DegreeDem, OnlyGridsInDegreesAreRefused) {
  const GridPlace deg{12.5, 45.5, 0.001, 0.001, 100, 100};
  const std::string wgs = "GEOGCS[\"WGS 84\"]";
  EXPECT_TRUE(degree_dem_refusal("d.tif", deg, wgs, false));
  EXPECT_FALSE(degree_dem_refusal("d.tif", deg, "PROJCS[\"x\",GEOGCS[\"WGS 84\"]]", true));
  // Coordinates in metres contradict a geographic system: left as before.
  EXPECT_FALSE(degree_dem_refusal("d.tif", {500000.0, 4100000.0, 50.0, 50.0, 100, 100}, wgs, true));
  // Without a system: only a grid refused anyway, with cells and extent of degrees.
  EXPECT_FALSE(degree_dem_refusal("d.asc", deg, "", false));
  EXPECT_TRUE(degree_dem_refusal("d.asc", deg, "", true));
  EXPECT_FALSE(degree_dem_refusal("d.asc", {12.5, 45.5, 0.5, 0.5, 100, 100}, "", true));
  EXPECT_FALSE(degree_dem_refusal("d.asc", {500000.0, 45.5, 0.001, 0.001, 100, 100}, "", true));
  EXPECT_FALSE(degree_dem_refusal("d.asc", {12.5, 89.99, 0.001, 0.001, 100, 100}, "", true));
  // A name that needs quoting in the command.
  const auto m = degree_dem_refusal("my dem.tif", {-70.2, -33.5, 0.001, 0.001, 10, 10}, wgs, false);
  ASSERT_TRUE(m);
  EXPECT_EQ(*m, "file 'my dem.tif': the DEM is in degrees (geographic coordinates) and must be projected to "
                "metres: its centre 70.1950 W, 33.4950 S lies in UTM zone 19 south (EPSG:32719); project it "
                "with: gdalwarp -t_srs EPSG:32719 -tr 110 110 -r bilinear 'my dem.tif' 'my dem_utm.tif'");
}

TEST(DegreeDem, NonSquareDegreeCellsOfAnAsciiGridAreNamed) {
  auto header = [](const std::string& text) {
    RecordReader r = RecordReader::from_text(text, "g.asc");
    read_ascii_grid_header(r);
  };
  test::expect_input_error(
      [&] { header("ncols 4\nnrows 3\nxllcorner 8.1\nyllcorner 46.2\ndx 0.0004166667\ndy 0.0002777778\n"); },
      {"file 'g.asc': the grid is in degrees", "EPSG:32632", "-tr 30 30"});
  // Metres keep their message.
  test::expect_input_error(
      [&] { header("ncols 4\nnrows 3\nxllcorner 500000\nyllcorner 46.2\ndx 1\ndy 2\n"); },
      {"differ; only square cells are supported"});
}

}  // namespace
}  // namespace tarvex

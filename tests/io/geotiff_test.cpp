#include "io/geotiff.hpp"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>
#include <vector>

#include "support/testkit.hpp"

namespace tarvex {
namespace {

const char* const kUtm33 =
    "PROJCS[\"WGS 84 / UTM zone 33N\",GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137,"
    "298.257223563]],PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433]],PROJECTION["
    "\"Transverse_Mercator\"],PARAMETER[\"latitude_of_origin\",0],PARAMETER[\"central_meridian\",15],"
    "PARAMETER[\"scale_factor\",0.9996],PARAMETER[\"false_easting\",500000],PARAMETER[\"false_northing\",0],"
    "UNIT[\"metre\",1]]";

TEST(GeoTiff, UnavailableMessage) {
  EXPECT_EQ(geotiff_unavailable_message("x.tif"),
            "file 'x.tif': GeoTIFF grids need a build with GDAL (libgdal-dev); this build has none");
  if (geotiff_available()) return;
  try {
    GeoTiffReader r("x.tif");
    FAIL() << "opened without GDAL";
  } catch (const InputError& e) {
    EXPECT_EQ(std::string(e.what()), geotiff_unavailable_message("x.tif"));
  }
}

TEST(GeoTiff, FloatAndIntRoundTrip) {
  if (!geotiff_available()) GTEST_SKIP() << "built without GDAL";
  test::TempDir dir;
  const GeoReference geo{500000.0, 4100000.0, 50.0, false, true, kUtm33};
  // 2 rows x 3 columns; values that need every bit of a 4-byte real.
  const std::vector<float> f = {0.1f, -9999.0f, 1e-30f, FLT_MAX, -0.0f, 123.456f};
  write_geotiff(dir / "f.tif", f.data(), 2, 3, geo, -9999.0);
  GeoTiffReader rf(dir / "f.tif");
  EXPECT_EQ(rf.nrows(), 2);
  EXPECT_EQ(rf.ncols(), 3);
  EXPECT_EQ(rf.geo().x_ll, geo.x_ll);
  EXPECT_EQ(rf.geo().y_ll, geo.y_ll);
  EXPECT_EQ(rf.geo().cellsize, geo.cellsize);
  EXPECT_TRUE(rf.geo().known);
  EXPECT_NE(rf.geo().prj.find("UTM zone 33N"), std::string::npos);
  EXPECT_EQ(rf.nodata(), -9999.0);
  std::vector<float> fb(6);
  rf.read(fb.data(), -1.0f);
  std::vector<float> expect = f;
  expect[1] = -1.0f;
  EXPECT_EQ(std::memcmp(fb.data(), expect.data(), 6 * sizeof(float)), 0);

  // Centre-referenced input is stored as corners; no projection, no nodata.
  const GeoReference centre{25.0, 25.0, 50.0, true, true, ""};
  const std::vector<int32_t> n = {1, -9999, 2147483647, -2147483647 - 1};
  write_geotiff(dir / "i.tif", n.data(), 2, 2, centre, std::nullopt);
  GeoTiffReader ri(dir / "i.tif");
  EXPECT_EQ(ri.geo().x_ll, 0.0);
  EXPECT_EQ(ri.geo().y_ll, 0.0);
  EXPECT_FALSE(ri.geo().center);
  EXPECT_FALSE(ri.nodata());
  std::vector<int32_t> nb(4);
  ri.read(nb.data(), 0);
  EXPECT_EQ(nb, n);

  // A float grid read as integers refuses fractions; a missing file is an
  // InputError naming it.
  std::vector<int32_t> bad(6);
  try {
    rf.read(bad.data(), 0);
    FAIL() << "fraction read as an integer";
  } catch (const InputError& e) {
    EXPECT_NE(std::string(e.what()).find("row 1, column 1: value 0.10000000149011612 is not an integer"),
              std::string::npos)
        << e.what();
  }
  EXPECT_THROW(GeoTiffReader(dir / "none.tif"), InputError);
}

}  // namespace
}  // namespace tarvex

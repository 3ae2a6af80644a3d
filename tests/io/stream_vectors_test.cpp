#include "io/stream_vectors.hpp"

#include <gtest/gtest.h>

#include "io/input_error.hpp"
#include "support/testkit.hpp"

namespace tarvex {
namespace {

// A transverse Mercator of no EPSG code (an odd central meridian).
const char* const kLocalTm =
    "PROJCS[\"local TM\",GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137,298.257223563]],"
    "PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433]],PROJECTION[\"Transverse_Mercator\"],"
    "PARAMETER[\"latitude_of_origin\",0],PARAMETER[\"central_meridian\",15.123],PARAMETER[\"scale_factor\",1],"
    "PARAMETER[\"false_easting\",0],PARAMETER[\"false_northing\",0],UNIT[\"metre\",1]]";

std::vector<StreamLine> two_links() {
  StreamLine a;
  a.id = 1;
  a.order = 1;
  a.length_m = 70.7;
  a.area_km2 = 0.01;
  a.down_id = 2;
  a.points = {{25.0, 75.0}, {75.0, 25.0}};
  StreamLine b = a;
  b.id = 2;
  b.order = 2;
  b.down_id = 0;
  b.points = {{75.0, 25.0}, {75.0, -25.0}};
  return {a, b};
}

TEST(StreamVectors, FormatIsChosenByTheName) {
  EXPECT_EQ(vector_format("a/b.GPKG"), VectorFormat::gpkg);
  EXPECT_EQ(vector_format("b.geojson"), VectorFormat::geojson);
  EXPECT_EQ(vector_format("b.Shp"), VectorFormat::shapefile);
  EXPECT_FALSE(vector_format("b.json"));
  EXPECT_FALSE(vector_format("shp"));
}

TEST(StreamVectors, SystemsGeoJsonCannotCarryAreRefusedWithoutAFile) {
  test::TempDir d;
  if (!stream_vectors_available()) {
    test::expect_input_error([&] { write_stream_vectors(d / "s.gpkg", two_links(), ""); },
                             {"s.gpkg", "vector files need a build with GDAL"});
    return;
  }
  test::expect_input_error([&] { write_stream_vectors(d / "s.geojson", two_links(), kLocalTm); },
                           {"s.geojson", "GeoJSON carries a coordinate system only by its EPSG code"});
  test::expect_input_error([&] { write_stream_vectors(d / "s.gpkg", two_links(), "PROJCS[\"a local grid\"]"); },
                           {"s.gpkg", "not a coordinate system GDAL understands"});
  EXPECT_TRUE(test::files_in(d).empty());
  // GeoPackage and shapefile carry any system.
  write_stream_vectors(d / "s.gpkg", two_links(), kLocalTm);
  write_stream_vectors(d / "s.shp", two_links(), kLocalTm);
  EXPECT_EQ(test::files_in(d), (std::set<std::string>{"s.gpkg", "s.shp", "s.shx", "s.dbf", "s.prj"}));
  EXPECT_NE(d.read("s.prj").find("15.123"), std::string::npos);
}

}  // namespace
}  // namespace tarvex

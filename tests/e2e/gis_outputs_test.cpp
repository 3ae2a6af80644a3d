// The GIS outputs of a pass: the links as vector lines read back through
// GDAL, georeferenced copies of the result grids, and DEMs in degrees.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "io/geotiff.hpp"
#include "io/grid_file.hpp"
#include "io/stream_vectors.hpp"
#include "support/testkit.hpp"

#if TARVEX_HAVE_GDAL
#include <cpl_conv.h>
#include <gdal.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>
#endif

namespace tarvex {
namespace {

namespace fs = std::filesystem;
using test::run_tarvex;
using test::TempDir;

constexpr int32_t kNi = 8, kNj = 9;  // tests/data/small
constexpr double kCell = 50.0;

const char* const kUtm33 =
    "PROJCS[\"WGS 84 / UTM zone 33N\",GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137,"
    "298.257223563]],PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433]],PROJECTION["
    "\"Transverse_Mercator\"],PARAMETER[\"latitude_of_origin\",0],PARAMETER[\"central_meridian\",15],"
    "PARAMETER[\"scale_factor\",0.9996],PARAMETER[\"false_easting\",500000],PARAMETER[\"false_northing\",0],"
    "UNIT[\"metre\",1]]";
const char* const kWgs84 =
    "GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137,298.257223563]],PRIMEM[\"Greenwich\",0],"
    "UNIT[\"degree\",0.0174532925199433]]";

// A copy of the small catchment whose record 12 names dem (written from
// dem.txt under the ASCII grid header head when dem is an .asc).
void small_copy(const TempDir& d, const std::string& dem = "dem.txt", const std::string& head = "") {
  test::copy_dir(test::test_data_dir() / "small", d.path());
  std::vector<std::string> lines = test::lines_of(d.read("Tarvex.in"));
  lines[11] = dem;
  std::string text;
  for (const auto& l : lines) text += l + "\n";
  d.write("Tarvex.in", text);
  if (dem != "dem.txt") d.write(dem, head + d.read("dem.txt"));
}

const std::string kUtmHead = "ncols 9\nnrows 8\nxllcorner 500000\nyllcorner 4100000\ncellsize 50\nNODATA_value -9999\n";

#if TARVEX_HAVE_GDAL

struct Link {
  int32_t iin, jin, ifin, jfin, ord;
  double len;
};

std::vector<Link> links_of(const std::string& text) {
  std::vector<Link> links;
  const auto lines = test::lines_of(text);
  for (std::size_t k = 1; k < lines.size(); ++k) {
    std::istringstream in(lines[k]);
    Link l{};
    in >> l.iin >> l.jin >> l.ifin >> l.jfin >> l.ord >> l.len;
    links.push_back(l);
  }
  return links;
}

struct Feature {
  int32_t id = 0, order = 0, down = 0;
  double length = 0.0, area = 0.0;
  std::vector<std::pair<double, double>> points;
};

struct VectorFile {
  std::vector<Feature> features;
  std::string wkt;
};

VectorFile read_vectors(const fs::path& path) {
  GDALAllRegister();
  VectorFile v;
  GDALDatasetH ds = GDALOpenEx(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
  if (!ds) {
    ADD_FAILURE() << "GDAL cannot open " << path;
    return v;
  }
  EXPECT_EQ(GDALDatasetGetLayerCount(ds), 1);
  OGRLayerH layer = GDALDatasetGetLayer(ds, 0);
  if (OGRSpatialReferenceH srs = OGR_L_GetSpatialRef(layer)) {
    char* wkt = nullptr;
    OSRExportToWkt(srs, &wkt);
    v.wkt = wkt;
    CPLFree(wkt);
  }
  OGR_L_ResetReading(layer);
  while (OGRFeatureH f = OGR_L_GetNextFeature(layer)) {
    Feature x;
    x.id = OGR_F_GetFieldAsInteger(f, OGR_F_GetFieldIndex(f, "link_id"));
    x.order = OGR_F_GetFieldAsInteger(f, OGR_F_GetFieldIndex(f, "strahler"));
    x.down = OGR_F_GetFieldAsInteger(f, OGR_F_GetFieldIndex(f, "down_id"));
    x.length = OGR_F_GetFieldAsDouble(f, OGR_F_GetFieldIndex(f, "length_m"));
    x.area = OGR_F_GetFieldAsDouble(f, OGR_F_GetFieldIndex(f, "area_km2"));
    OGRGeometryH g = OGR_F_GetGeometryRef(f);
    EXPECT_EQ(wkbFlatten(OGR_G_GetGeometryType(g)), wkbLineString);
    for (int k = 0; k < OGR_G_GetPointCount(g); ++k) x.points.emplace_back(OGR_G_GetX(g, k), OGR_G_GetY(g, k));
    v.features.push_back(x);
    OGR_F_Destroy(f);
  }
  GDALClose(ds);
  return v;
}

// Checks the lines against the link file and the area grid of the pass,
// the grid's lower-left corner at (x0, y0).
void expect_lines_match(const VectorFile& v, const TempDir& d, double x0, double y0) {
  const std::vector<Link> links = links_of(d.read("links.txt"));
  ASSERT_EQ(v.features.size(), links.size());
  ASSERT_GT(links.size(), 10u);
  std::vector<int32_t> area(static_cast<std::size_t>(kNi * kNj));
  GridReader(d / "area.txt").rows(area.data(), kNi, kNj, "area");
  auto centre = [&](int32_t i, int32_t j) {
    return std::pair<double, double>{x0 + (j - 0.5) * kCell, y0 + (kNi - i + 0.5) * kCell};
  };
  auto cell_area = [&](std::pair<double, double> p) {
    const int32_t j = static_cast<int32_t>(std::lround((p.first - x0) / kCell + 0.5));
    const int32_t i = kNi - static_cast<int32_t>(std::lround((p.second - y0) / kCell - 0.5));
    return area[static_cast<std::size_t>((i - 1) * kNj + (j - 1))] * kCell * kCell / 1e6;
  };
  int outlets = 0;
  for (std::size_t k = 0; k < links.size(); ++k) {
    SCOPED_TRACE("link " + std::to_string(k + 1));
    const Link& l = links[k];
    const Feature& f = v.features[k];
    EXPECT_EQ(f.id, static_cast<int32_t>(k + 1));
    EXPECT_EQ(f.order, l.ord);
    EXPECT_NEAR(f.length, l.len * kCell, 0.05 * kCell + 1e-9);
    ASSERT_GE(f.points.size(), 2u);
    EXPECT_EQ(f.points.front(), centre(l.iin, l.jin));
    EXPECT_EQ(f.points.back(), centre(l.ifin, l.jfin));
    if (f.down == 0) {
      ++outlets;
      EXPECT_DOUBLE_EQ(f.area, cell_area(f.points.back()));
      continue;
    }
    // The last own cell is the one before the junction; the link drained
    // into passes through that junction and gathers more area.
    EXPECT_DOUBLE_EQ(f.area, cell_area(f.points[f.points.size() - 2]));
    ASSERT_GE(f.down, 1);
    ASSERT_LE(f.down, static_cast<int32_t>(links.size()));
    EXPECT_NE(f.down, f.id);
    const Feature& down = v.features[static_cast<std::size_t>(f.down - 1)];
    bool joins = false;
    for (const auto& p : down.points) joins = joins || p == f.points.back();
    EXPECT_TRUE(joins);
    EXPECT_GT(down.area, f.area);
  }
  EXPECT_EQ(outlets, 1);
}

TEST(StreamVectors, LinksReadBackInEveryFormatWithTheDemsProjection) {
  for (const std::string name : {"streams.gpkg", "streams.geojson", "streams.shp"}) {
    SCOPED_TRACE(name);
    TempDir d;
    small_copy(d, "dem.asc", kUtmHead);
    d.write("dem.prj", kUtm33);
    const auto r = run_tarvex({"--mode", "1", "--streams", name}, d.path());
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const VectorFile v = read_vectors(d / name);
    EXPECT_NE(v.wkt.find("UTM zone 33N"), std::string::npos) << v.wkt;
    expect_lines_match(v, d, 500000.0, 4100000.0);
    if (name == "streams.shp") {
      EXPECT_TRUE(d.exists("streams.dbf"));
      EXPECT_TRUE(d.exists("streams.prj"));
    }
  }
}

TEST(StreamVectors, TextDemPlacedByTheCellSizeOfTheControlFile) {
  TempDir d;
  small_copy(d);
  // A projection of an earlier run beside the shapefile would misplace it.
  d.write("net.prj", kUtm33);
  const auto r = run_tarvex({"--mode", "1", "--streams", "net.shp"}, d.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const VectorFile v = read_vectors(d / "net.shp");
  EXPECT_EQ(v.wkt, "");
  EXPECT_FALSE(d.exists("net.prj"));
  expect_lines_match(v, d, 0.0, 0.0);
  // The network files are those of a pass without the option.
  for (const char* f : {"dir.txt", "elev.txt", "area.txt", "links.txt", "RiverOrder.out"}) {
    EXPECT_TRUE(d.read(f) == test::read_file(test::test_data_dir() / "small" / f)) << f;
  }
}

#endif

TEST(StreamVectors, OptionsOutsideTheirModesAreUsageErrors) {
  TempDir d;
  small_copy(d);
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--mode", "2", "--streams", "s.gpkg"}, "option --streams needs the terrain mode"},
      {{"--mode", "1", "--streams", "s.txt"}, "ending in .gpkg, .geojson or .shp, found 's.txt'"},
      {{"--mode", "4", "--grids", "asc"}, "option --grids needs the terrain mode or a single run"},
      {{"--mode", "1", "--grids", "png"}, "unknown grid format 'png'"},
  };
  for (const auto& [args, part] : cases) {
    const auto r = run_tarvex(args, d.path());
    EXPECT_EQ(r.exit_code, 2) << r.err;
    EXPECT_NE(r.err.find(part), std::string::npos) << r.err;
  }
  if (!stream_vectors_available()) {
    const auto r = run_tarvex({"--mode", "1", "--streams", "s.gpkg"}, d.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "tarvex: error: file 's.gpkg': vector files need a build with GDAL (libgdal-dev); this "
                     "build has none\n");
  }
}

template <class T>
std::vector<T> grid_values(const fs::path& path, T nodata) {
  std::vector<T> v(static_cast<std::size_t>(kNi * kNj));
  GridReader(path).rows(v.data(), kNi, kNj, "grid", nodata);
  return v;
}

TEST(ResultGrids, CopiesHoldTheValuesAndTheGeoreference) {
  std::vector<std::string> formats = {"asc"};
  if (geotiff_available()) formats.push_back("tif");
  for (const std::string& ext : formats) {
    SCOPED_TRACE(ext);
    // Terrain pass: the order grid with the DEM's georeference.
    TempDir t;
    small_copy(t, "dem.asc", kUtmHead);
    t.write("dem.prj", kUtm33);
    auto r = run_tarvex({"--mode", "1", "--grids", ext}, t.path());
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(t.read("RiverOrder.out") == test::read_file(test::test_data_dir() / "small" / "RiverOrder.out"));
    GridReader order(t / ("RiverOrder." + ext));
    EXPECT_EQ(order.geo().x_ll, 500000.0);
    EXPECT_EQ(order.geo().y_ll, 4100000.0);
    EXPECT_EQ(order.geo().cellsize, kCell);
    EXPECT_NE(order.geo().prj.find("UTM zone 33N"), std::string::npos);
    // The order grid marks no stream as no-data 0, which reads back as 0.
    EXPECT_EQ(grid_values<int32_t>(t / ("RiverOrder." + ext), 0), grid_values<int32_t>(t / "RiverOrder.out", 0));

    // A continuous run on text grids: corner (0, 0), the cell size of record 20.
    TempDir c;
    test::copy_dir(test::test_data_dir() / "small", c.path());
    r = run_tarvex({"--mode", "3", "--grids", ext}, c.path());
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const fs::path golden = test::test_data_dir() / "small_golden" / "mode3";
    for (const char* name : {"TotRain", "RaingThDistr", "TempStDistr", "Slope"}) {
      SCOPED_TRACE(name);
      const std::string out = std::string(name) + ".out";
      EXPECT_TRUE(c.read(out) == test::read_file(golden / out));
      const fs::path copy = c / (std::string(name) + "." + ext);
      GridReader g(copy);
      EXPECT_TRUE(g.geo().known);
      EXPECT_EQ(g.geo().x_ll, 0.0);
      EXPECT_EQ(g.geo().cellsize, kCell);
      const float nodata = std::string(name) == "Slope" ? -1.0f : std::string(name) == "TotRain" ? -1.0f : 0.0f;
      EXPECT_EQ(grid_values<float>(copy, nodata), grid_values<float>(c / out, 0.0f));
    }
  }
}

TEST(DegreeDem, GeographicDemIsRefusedWithTheProjectionToUse) {
  TempDir d;
  // 3 arc-second cells around 12.5 E, 45.5 N: UTM zone 33 north.
  small_copy(d, "dem.asc",
             "ncols 9\nnrows 8\nxllcorner 12.5\nyllcorner 45.5\ncellsize 0.000833333333\nNODATA_value -9999\n");
  d.write("dem.prj", kWgs84);
  const auto r = run_tarvex({"--mode", "1"}, d.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(test::lines_of(r.err).size(), 1u) << r.err;
  EXPECT_NE(r.err.find("file 'dem.asc': the DEM is in degrees"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("must be projected"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("UTM zone 33 north (EPSG:32633)"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("gdalwarp -t_srs EPSG:32633 -tr 90 90 -r bilinear dem.asc dem_utm.asc\n"), std::string::npos)
      << r.err;

  // Without a coordinate system: cells of degrees that disagree with
  // record 20, south of the equator and west of Greenwich.
  TempDir s;
  small_copy(s, "dem.asc",
             "ncols 9\nnrows 8\nxllcorner -70.2\nyllcorner -33.5\ncellsize 0.000277777778\nNODATA_value -9999\n");
  const auto q = run_tarvex({"--mode", "1"}, s.path());
  EXPECT_EQ(q.exit_code, 1);
  EXPECT_NE(q.err.find("UTM zone 19 south (EPSG:32719)"), std::string::npos) << q.err;
  EXPECT_NE(q.err.find("-tr 30 30"), std::string::npos) << q.err;

  // A GeoTIFF in degrees.
  if (geotiff_available()) {
    TempDir g;
    small_copy(g, "dem.tif");
    std::vector<float> z(static_cast<std::size_t>(kNi * kNj), 500.0f);
    write_geotiff(g / "dem.tif", z.data(), kNi, kNj, GeoReference{12.5, 45.5, 0.000833333333, false, true, kWgs84},
                  std::nullopt);
    const auto t = run_tarvex({"--mode", "1"}, g.path());
    EXPECT_EQ(t.exit_code, 1);
    EXPECT_NE(t.err.find("(EPSG:32633); project it with: gdalwarp -t_srs EPSG:32633 -tr 90 90 -r bilinear dem.tif "
                         "dem_utm.tif\n"),
              std::string::npos)
        << t.err;
  }

  // The same DEM in metres, without a coordinate system, runs as before.
  TempDir m;
  small_copy(m, "dem.asc", "ncols 9\nnrows 8\nxllcorner 10\nyllcorner 40\ncellsize 50\nNODATA_value -9999\n");
  EXPECT_EQ(run_tarvex({"--mode", "1"}, m.path()).exit_code, 0);
}

}  // namespace
}  // namespace tarvex

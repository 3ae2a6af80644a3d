#pragma once
// DEMs in geographic coordinates (longitude and latitude in degrees): the
// terrain pass needs cells measured in metres, so such a DEM is refused with
// the UTM zone of its centre and the gdalwarp command that projects it.
#include <cstdint>
#include <optional>
#include <string>

namespace tarvex {

// True when the coordinate system text (WKT 1 or 2, as in a .prj or a
// GeoTIFF) is geographic: a geographic system not inside a projected one.
bool is_geographic_crs(const std::string& wkt);

// A grid's place: lower-left corner, cell width and height, size.
struct GridPlace {
  double x_ll = 0.0;
  double y_ll = 0.0;
  double dx = 0.0;
  double dy = 0.0;
  int32_t nrows = 0;
  int32_t ncols = 0;
};

// EPSG code of the WGS 84 UTM zone of a point: 326zz north, 327zz south.
int32_t utm_epsg(double lon, double lat);

// Metres of a cell dy degrees high, rounded to a round size: 1 m below
// 10 m, 10 m below 1000 m, 100 m above.
double projected_cell_size(double dy_degrees);

// The refusal of grid file as a DEM in degrees, or nothing. A grid is in
// degrees when every corner lies within longitude -180..360 and latitude
// -90..90 and wkt is geographic, or, when it has no coordinate system and
// would be refused anyway (refused_anyway: non-square cells, a cell size
// that disagrees with the control file), its cells are at most 0.1.
// what names the grid in the message ("the DEM").
std::optional<std::string> degree_dem_refusal(const std::string& file, const GridPlace& place,
                                              const std::string& wkt, bool refused_anyway,
                                              const std::string& what = "the DEM");

}  // namespace tarvex

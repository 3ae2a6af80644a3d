#pragma once
// The stream network as vector lines, written through GDAL's vector drivers:
// GeoPackage (.gpkg), GeoJSON (.geojson) or ESRI Shapefile (.shp, with its
// .shx, .dbf, .prj and .cpg beside it), chosen by the file name.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarvex {

// One link: a line through the centres of its cells, from its first cell to
// the cell it ends at, in the coordinates of the grid's georeference.
struct StreamLine {
  int32_t id = 0;          // link_id: 1.. in the order of the link-property file
  int32_t order = 0;       // strahler
  double length_m = 0.0;   // length_m
  double area_km2 = 0.0;   // area_km2: upstream area at the link's last cell
  int32_t down_id = 0;     // down_id: the link it drains into, 0 for none
  std::vector<std::pair<double, double>> points;  // x, y
};

enum class VectorFormat { gpkg, geojson, shapefile };
// The format a file name chooses (extension in any case); nothing for
// another name.
std::optional<VectorFormat> vector_format(const std::filesystem::path& path);

// True when this build can write vector files (it has GDAL).
bool stream_vectors_available();
// "file 'x.gpkg': vector files need a build with GDAL (libgdal-dev); this build has none"
std::string stream_vectors_unavailable_message(const std::string& file);

// Writes the lines as one layer "streams" with the coordinate system wkt
// (none when empty). Every file is written beside its name and put in place
// once complete (see output_commit.hpp). Throws InputError naming the file.
void write_stream_vectors(const std::filesystem::path& path, const std::vector<StreamLine>& lines,
                          const std::string& wkt);

}  // namespace tarvex

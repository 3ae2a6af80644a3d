#pragma once
// What `tarvex init` reads and writes: the size and georeference of a DEM,
// the span of a dated series, and new files that must not replace old ones.
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "io/ascii_grid.hpp"

namespace tarvex {

struct DemHeader {
  int32_t nrows = 0;
  int32_t ncols = 0;
  GeoReference geo;
};

// Size and georeference from the header of an ESRI ASCII grid (.asc) or a
// GeoTIFF (.tif); throws InputError for any other name (the text layout
// carries no size) or a header that cannot be read.
DemHeader read_dem_header(const std::filesystem::path& dem);

// The times of a dated CSV series (seconds from 1970-01-01 00:00): first,
// second (equal to first when there is one row) and last row, and the rows.
// Throws InputError naming the file and line on a time that is not ISO 8601
// or a file without rows.
struct SeriesSpan {
  int64_t first = 0;
  int64_t second = 0;
  int64_t last = 0;
  int32_t rows = 0;
};
SeriesSpan read_series_span(const std::filesystem::path& csv);

bool file_exists(const std::filesystem::path& path);

// Creates every file with its text. When one of them exists already,
// nothing is written and InputError names it; a failed write removes the
// files this call created.
void create_new_files(const std::vector<std::pair<std::filesystem::path, std::string>>& files);

}  // namespace tarvex

#include "io/new_catchment_files.hpp"

#include <cstdio>
#include <fstream>
#include <string_view>
#include <system_error>

#include "io/csv_series.hpp"
#include "io/geotiff.hpp"
#include "io/grid_file.hpp"
#include "io/input_error.hpp"
#include "io/quoted.hpp"
#include "io/record_reader.hpp"

namespace tarvex {

namespace fs = std::filesystem;

DemHeader read_dem_header(const fs::path& dem) {
  const std::string name = dem.string();
  DemHeader h;
  switch (grid_format(dem)) {
    case GridFormat::ascii: {
      RecordReader r(dem);
      const AsciiGridHeader a = read_ascii_grid_header(r);
      h.nrows = a.nrows;
      h.ncols = a.ncols;
      h.geo = a.geo;
      h.geo.prj = read_prj_beside(dem);
      break;
    }
    case GridFormat::geotiff: {
      const GeoTiffReader t(dem);
      h.nrows = t.nrows();
      h.ncols = t.ncols();
      h.geo = t.geo();
      break;
    }
    case GridFormat::text:
      throw InputError("file '" + name +
                       "': the DEM must be an ESRI ASCII grid (.asc) or a GeoTIFF (.tif), whose header gives "
                       "the grid size, cell size and georeference");
  }
  if (!h.geo.known || !(h.geo.cellsize > 0.0)) {
    throw InputError("file '" + name + "': the DEM carries no georeference (cell size and corner)");
  }
  return h;
}

SeriesSpan read_series_span(const fs::path& csv) {
  const std::string name = csv.string();
  std::ifstream in(csv, std::ios::binary);
  if (!in) throw InputError("file '" + name + "': cannot be opened");
  SeriesSpan s;
  std::string line;
  int32_t number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (number == 1) continue;  // the header
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    std::string_view t(line);
    t = t.substr(0, t.find(','));
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
    int64_t seconds = 0;
    if (!parse_iso_time(t, seconds)) {
      throw InputError("file '" + name + "': line " + std::to_string(number) + ": '" + std::string(t) +
                       "' is not an ISO 8601 time (2020-10-01T00:00, 2020-10-01 00:00 or 2020-10-01)");
    }
    if (s.rows == 0) s.first = seconds;
    if (s.rows == 1) s.second = seconds;
    s.last = seconds;
    ++s.rows;
  }
  if (s.rows == 0) throw InputError("file '" + name + "': no rows after the header");
  if (s.rows == 1) s.second = s.first;
  return s;
}

bool file_exists(const fs::path& path) {
  std::error_code ec;
  return fs::symlink_status(path, ec).type() != fs::file_type::not_found && !ec;
}

void create_new_files(const std::vector<std::pair<fs::path, std::string>>& files) {
  for (const auto& [path, text] : files) {
    if (file_exists(path)) {
      throw InputError("file " + quoted_name(path.string()) + " exists already; nothing was written (move it away "
                       "or init in another folder)");
    }
  }
  std::vector<fs::path> made;
  auto undo = [&made] {
    std::error_code ec;
    for (const fs::path& p : made) fs::remove(p, ec);
  };
  for (const auto& [path, text] : files) {
    // "x": never replaces a file that appeared since the check.
    std::FILE* f = std::fopen(path.string().c_str(), "wbx");
    if (f == nullptr) {
      undo();
      throw InputError("file " + quoted_name(path.string()) + ": cannot be created; nothing was written");
    }
    made.push_back(path);
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (std::fclose(f) != 0 || !written) {
      undo();
      throw InputError("file " + quoted_name(path.string()) + ": write error; nothing was written");
    }
  }
}

}  // namespace tarvex

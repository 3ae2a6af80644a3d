#pragma once
// Dated series in CSV: a header `time,<column names...>`, then one row per
// record, an ISO 8601 time (2020-10-01T00:00, 2020-10-01 00:00 or
// 2020-10-01) and one value per column. A row's time is the start of its
// record. An optional byte-order mark and CRLF line ends are accepted.
// Missing values: empty, NA, NaN, or below the series' own bound.
//
// Also the small tables that go beside a series: the gauge or station
// positions (rain.csv -> rain.stations.csv) and the evapotranspiration
// coefficients beside a temperature series (temp.csv -> temp.et.csv).
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "io/ascii_grid.hpp"

namespace tarvex {

// True when the name ends in ".csv" (any case): the dated layout.
bool is_csv_name(const std::filesystem::path& path);

// Seconds from 1970-01-01 00:00 to 00:00 of the day (proleptic Gregorian).
int64_t day_seconds(int32_t year, int32_t month, int32_t day);
// False when the day is not a calendar day.
bool valid_date(int32_t year, int32_t month, int32_t day);
// Parses an ISO 8601 time into seconds from 1970-01-01 00:00; false when it
// is not one of the accepted forms or not a calendar time.
bool parse_iso_time(std::string_view text, int64_t& seconds);
// "2020-10-01T05:00" (seconds only when not zero).
std::string format_iso_time(int64_t seconds);

// The records a run takes from a series: the first starts at start, each
// lasts step seconds.
struct SeriesWindow {
  int64_t start = 0;
  int64_t step = 0;
  int32_t records = 0;
};

struct CsvSeries {
  std::string file;
  std::vector<std::string> columns;  // the names after "time", in order
  // Value of record n (from 1) and column k (from 1); NaN when missing,
  // a gap between rows included.
  float at(int32_t n, int32_t k) const {
    return values[static_cast<std::size_t>(n - 1) * columns.size() + static_cast<std::size_t>(k - 1)];
  }
  // Line of the row of record n, 0 when the record falls in a gap.
  int32_t line(int32_t n) const { return lines[static_cast<std::size_t>(n - 1)]; }
  // Time of record n.
  int64_t time(int32_t n) const { return start + static_cast<int64_t>(n - 1) * step; }
  // Throws InputError "file 'f': line L: message" (record n's row, or its
  // time when it falls in a gap).
  [[noreturn]] void fail(int32_t n, std::string_view message) const;

  std::vector<float> values;
  std::vector<int32_t> lines;
  int64_t start = 0;
  int64_t step = 0;
};

// Reads the w.records records of a series from the row at w.start; earlier
// rows are skipped (their times are still checked), and rows after the first
// one past the last record are not read. A value below
// missing_below is missing. Throws InputError naming the file and the line
// on: a header other than time and at least one named column, repeated
// names, a row with another number of values, a time that is not ISO 8601,
// times that do not increase by whole steps, a value that is not a number,
// a series that ends before the last record.
CsvSeries read_csv_series(const std::filesystem::path& path, const SeriesWindow& w, float missing_below);

// One row of a stations file; a and b are x, y in map coordinates or row,
// column in cell units.
struct StationRow {
  std::string name;
  double a = 0.0;
  double b = 0.0;
  double elevation = 0.0;
  int32_t line = 0;
};
struct CsvStations {
  std::string file;
  bool map_coordinates = true;  // header name,x,y; false for name,row,column
  std::vector<StationRow> rows;
};

// "rain.csv" -> "rain.stations.csv", "temp.csv" -> "temp.et.csv".
std::filesystem::path beside_series(const std::filesystem::path& series, std::string_view kind);

// Reads a stations file: header name,x,y or name,row,column, followed by
// elevation when with_elevation. Names are unique.
CsvStations read_csv_stations(const std::filesystem::path& path, bool with_elevation);

// The rows of stations for the columns of a series, in the series' order;
// throws InputError naming both files for a column with no station.
std::vector<StationRow> stations_of(const CsvStations& stations, const CsvSeries& series);

// Cell units (row, column; the centre of cell (I, J) is (I, J), row 1
// north) of map point (x, y) on a grid of ni rows with georeference geo.
void map_to_cell(double x, double y, const GeoReference& geo, int32_t ni, float& row, float& column);

// Evapotranspiration coefficients beside a temperature series: rows of a
// name and its values, in any order, each once:
//   offset,<value>
//   slope,<value>
//   a,<12 values, January to December>
//   b,<12 values>
//   days,<12 whole numbers>
// Lines starting with '#' and blank lines are skipped.
struct EtTable {
  float offset = 0.0f;
  float slope = 0.0f;
  std::array<float, 12> a{};
  std::array<float, 12> b{};
  std::array<int32_t, 12> days{};
};
EtTable read_et_table(const std::filesystem::path& path);

}  // namespace tarvex

#include "load/csv_forcing.hpp"

#include <cmath>
#include <string>
#include <vector>

#include "load/input_rain.hpp"
#include "simulation/station_weights.hpp"
#include "io/input_error.hpp"
#include "io/quoted.hpp"
#include "io/text_writer.hpp"
#include "model/input_limits.hpp"
#include "model/warn_error.hpp"

namespace tarvex {
namespace {

// Stored for a missing value: negative for rain, below -98 for temperature.
constexpr float kMissingValue = -9999.0f;

[[noreturn]] void station_fail(const CsvStations& st, const StationRow& r, const std::string& message) {
  throw InputError("file " + quoted_name(st.file) + ": line " + std::to_string(r.line) + ": " + message);
}

// Positions of the series' columns in cell units: (1, k) row, (2, k) column.
template <class XYTable>
std::vector<StationRow> place_stations(const CsvStations& st, const CsvSeries& series, const GeoReference& geo,
                                       int32_t ni, XYTable& XY) {
  std::vector<StationRow> rows = stations_of(st, series);
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const StationRow& r = rows[k];
    float row = 0.0f;
    float col = 0.0f;
    if (st.map_coordinates) {
      map_to_cell(r.a, r.b, geo, ni, row, col);
    } else {
      row = static_cast<float>(r.a);
      col = static_cast<float>(r.b);
    }
    if (!(std::fabs(row) <= MAX_STATION_OFFSET && std::fabs(col) <= MAX_STATION_OFFSET)) {
      station_fail(st, r, quoted_name(r.name) + " lies more than " + shortest(MAX_STATION_OFFSET) +
                              " cells from the grid (row " + shortest(row) + ", column " + shortest(col) + ")");
    }
    const auto K = static_cast<int32_t>(k + 1);
    XY(1, K) = row;
    XY(2, K) = col;
  }
  return rows;
}

}  // namespace

SeriesWindow run_window(const ModelState& s, const ControlFile& ctl, int32_t records) {
  if (!valid_date(s.forcing.START_YEAR, s.forcing.START_MONTH, s.forcing.START_DAY)) {
    ctl.refuse(ctl.run.start.record(), "the start date " + std::to_string(s.forcing.START_DAY) + " " +
                                           std::to_string(s.forcing.START_MONTH) + " " + std::to_string(s.forcing.START_YEAR) +
                                           " is no calendar day (day, month, year), which a dated CSV series needs");
  }
  const double step = std::round(static_cast<double>(s.forcing.DT_RAIN));
  if (!(step >= 1.0 && std::fabs(step - static_cast<double>(s.forcing.DT_RAIN)) < 1.0e-3)) {
    ctl.refuse(ctl.run.dt_rain.record(), "the record step " + shortest(s.forcing.DT_RAIN) +
                                             " s is no whole number of seconds, which a dated CSV series needs");
  }
  SeriesWindow w;
  w.start = day_seconds(s.forcing.START_YEAR, s.forcing.START_MONTH, s.forcing.START_DAY);
  w.step = static_cast<int64_t>(step);
  w.records = records;
  return w;
}

void INPUT_RAIN_CSV(ModelState& s, const std::string& name, const SeriesWindow& w, const GeoReference& geo) {
  const CsvSeries series = read_csv_series(name, w, 0.0f);
  const CsvStations st = read_csv_stations(beside_series(name, "stations"), false);
  const auto NR = static_cast<int32_t>(series.columns.size());
  if (NR > s.control.limits.rain_gauges) refuse_run(1020);
  s.forcing.N_RAIN_ST = NR;
  s.size_rain_tables();
  place_stations(st, series, geo, s.catchment.NI, s.forcing.RAIN_XY);
  s.grow_rain_records(s.forcing.N_DATA);
  for (int32_t N = 1; N <= s.forcing.N_DATA; ++N) {
    int32_t missing = 0;
    for (int32_t k = 1; k <= NR; ++k) {
      const float v = series.at(N, k);
      if (v > MAX_RAIN_PER_RECORD) {
        series.fail(N, "gauge " + quoted_name(series.columns[static_cast<std::size_t>(k - 1)]) + ": " + shortest(v) +
                           " mm is above the " + shortest(MAX_RAIN_PER_RECORD) + " mm a record may hold");
      }
      s.forcing.RAIN_DATA(N, k) = std::isnan(v) ? kMissingValue : v;
      s.forcing.RAIN_MISSING(N, k) = std::isnan(v) ? 1 : 0;
      missing = missing + s.forcing.RAIN_MISSING(N, k);
    }
    // A record at which no gauge reports cannot be distributed.
    if (missing == NR) refuse_run(1005);
  }
  distribute_rain_gauges(s);
}

void INPUT_TEMP_CSV(ModelState& s, const std::string& name, const SeriesWindow& w, const GeoReference& geo) {
  const std::filesystem::path et_name = beside_series(name, "et");
  const EtTable et = read_et_table(et_name);
  auto check = [&](float v, const std::string& what) {
    if (!(std::fabs(v) <= MAX_ET_COEFFICIENT)) {
      throw InputError("file " + quoted_name(et_name.string()) + ": " + what + " " + shortest(v) + " lies outside -" +
                       shortest(MAX_ET_COEFFICIENT) + " to " + shortest(MAX_ET_COEFFICIENT));
    }
  };
  check(et.offset, "the offset");
  check(et.slope, "the slope");
  s.forcing.ET_OFFSET = et.offset;
  s.forcing.ET_SLOPE = et.slope;
  for (int32_t m = 1; m <= MAX_MONTHS; ++m) {
    const auto i = static_cast<std::size_t>(m - 1);
    check(et.a[i], "the coefficient a of month " + std::to_string(m));
    check(et.b[i], "the coefficient b of month " + std::to_string(m));
    if (et.days[i] < 1 || et.days[i] > 31) {
      throw InputError("file " + quoted_name(et_name.string()) + ": month " + std::to_string(m) + " has " +
                       std::to_string(et.days[i]) + " days; every month has 1 to 31 days");
    }
    s.forcing.ET_MONTH_A(m) = et.a[i];
    s.forcing.ET_MONTH_B(m) = et.b[i];
    s.forcing.DAYS_IN_MONTH(m) = et.days[i];
  }

  const CsvSeries series = read_csv_series(name, w, -98.0f);
  const CsvStations st = read_csv_stations(beside_series(name, "stations"), true);
  const auto NT = static_cast<int32_t>(series.columns.size());
  if (NT > s.control.limits.temp_stations) refuse_run(1021);
  s.forcing.N_TEMP_ST = NT;
  s.size_temp_tables();
  const std::vector<StationRow> rows = place_stations(st, series, geo, s.catchment.NI, s.forcing.TEMP_XY);
  for (int32_t k = 1; k <= NT; ++k) {
    const StationRow& r = rows[static_cast<std::size_t>(k - 1)];
    s.forcing.TEMP_Z(k) = static_cast<float>(r.elevation);
    if (!(std::fabs(s.forcing.TEMP_Z(k)) <= MAX_ELEVATION)) {
      station_fail(st, r, "the elevation " + shortest(s.forcing.TEMP_Z(k)) + " m of " + quoted_name(r.name) +
                              " lies outside -" + shortest(MAX_ELEVATION) + " to " + shortest(MAX_ELEVATION) + " m");
    }
  }
  s.grow_temp_records(s.forcing.N_DATA);
  for (int32_t N = 1; N <= s.forcing.N_DATA; ++N) {
    int32_t missing = 0;
    for (int32_t k = 1; k <= NT; ++k) {
      const float v = series.at(N, k);
      if (v > MAX_TEMPERATURE) {
        series.fail(N, "station " + quoted_name(series.columns[static_cast<std::size_t>(k - 1)]) + ": " +
                           shortest(v) + " is above " + shortest(MAX_TEMPERATURE) +
                           "; temperatures are in degrees Celsius");
      }
      s.forcing.TEMP_DATA(N, k) = std::isnan(v) ? kMissingValue : v;
      s.forcing.TEMP_MISSING(N, k) = std::isnan(v) ? 1 : 0;
      missing = missing + s.forcing.TEMP_MISSING(N, k);
    }
    // A record at which no station reports leaves the cells without a temperature.
    if (missing == NT) refuse_run(1004);
  }
  nearest_station(s.catchment.NI, s.catchment.NJ, s.forcing.N_TEMP_ST, s.forcing.TEMP_XY, nullptr, s.forcing.TEMP_STATION_MAP, s.catchment.SLOPE);
}

void load_observed_csv(ModelState& s, const std::string& name, const SeriesWindow& w, bool missing_allowed) {
  const CsvSeries series = read_csv_series(name, w, 0.0f);
  const auto nc = static_cast<int32_t>(series.columns.size());
  // Without a cross-section nothing is compared (the search refuses that).
  if (s.catchment.N_SECTIONS == 0) return;
  if (nc != s.catchment.N_SECTIONS) {
    throw InputError("file " + quoted_name(name) + ": line 1: " + std::to_string(nc) +
                     " discharge columns; the run has " + std::to_string(s.catchment.N_SECTIONS) +
                     " output cross-sections, one column each");
  }
  for (int32_t n = 1; n <= w.records; ++n) {
    for (int32_t k = 1; k <= nc; ++k) {
      const float q = series.at(n, k);
      if (std::isnan(q) && !missing_allowed) {
        series.fail(n, "the observed discharge of " + format_iso_time(series.time(n)) +
                           " is missing; a run without --search compares every value");
      }
      if (std::fabs(q) > MAX_OBSERVED_DISCHARGE) {
        series.fail(n, shortest(q) + " m3/s lies outside -" + shortest(MAX_OBSERVED_DISCHARGE) + " to " +
                           shortest(MAX_OBSERVED_DISCHARGE) + " m3/s");
      }
      s.forcing.Q_OBS(n, k) = q;
    }
  }
}

}  // namespace tarvex

#include "forcing/input_temp.hpp"

#include <cmath>
#include <string>

#include "model/warn_error.hpp"
#include "forcing/station_position.hpp"
#include "forcing/station_weights.hpp"
#include "io/text_writer.hpp"

namespace tarvex {

void INPUT_TEMP(ModelState& s, RecordReader& file) {
  // The evapotranspiration formula multiplies these with the temperature.
  auto check_coefficients = [&file](const float* v, int32_t n, const char* what) {
    for (int32_t k = 0; k < n; ++k) {
      if (!(std::fabs(v[k]) <= MAX_ET_COEFFICIENT)) {
        file.fail("record " + std::to_string(file.record()) + ": " + what + " " + shortest(v[k]) + " lies outside -" +
                  shortest(MAX_ET_COEFFICIENT) + " to " + shortest(MAX_ET_COEFFICIENT));
      }
    }
  };
  file.skip(1);
  file.values("the evapotranspiration offset and slope", s.ET_OFFSET, s.ET_SLOPE);
  const float offset_slope[2] = {s.ET_OFFSET, s.ET_SLOPE};
  check_coefficients(offset_slope, 2, "the evapotranspiration offset or slope");
  file.skip(1);
  file.row(s.ET_MONTH_A.v.data(), MAX_MONTHS, "the 12 monthly evapotranspiration coefficients A");
  check_coefficients(s.ET_MONTH_A.v.data(), MAX_MONTHS, "the monthly evapotranspiration coefficient A");
  file.skip(1);
  file.row(s.ET_MONTH_B.v.data(), MAX_MONTHS, "the 12 monthly evapotranspiration coefficients B");
  check_coefficients(s.ET_MONTH_B.v.data(), MAX_MONTHS, "the monthly evapotranspiration coefficient B");
  file.skip(1);
  file.row(s.DAYS_IN_MONTH.v.data(), MAX_MONTHS, "the 12 numbers of days per month");
  // The calendar and the evapotranspiration divide by and sum these.
  for (int32_t m = 1; m <= MAX_MONTHS; ++m) {
    if (s.DAYS_IN_MONTH(m) < 1 || s.DAYS_IN_MONTH(m) > 31) {
      file.fail("record " + std::to_string(file.record()) + ": month " + std::to_string(m) + " has " +
                std::to_string(s.DAYS_IN_MONTH(m)) + " days; every month has 1 to 31 days");
    }
  }
  s.N_TEMP_ST = read_station_count(file, "the number of temperature stations", s.limits.temp_stations, 1021,
                                   "one station is needed");
  s.size_temp_tables();
  const int32_t NT = s.N_TEMP_ST;
  file.skip(1);
  for (int32_t k = 1; k <= NT; ++k) {
    file.values("the position (row, column) and elevation of temperature station " + std::to_string(k),
                s.TEMP_XY(1, k), s.TEMP_XY(2, k), s.TEMP_Z(k));
    check_station_position(file, "temperature station " + std::to_string(k), s.TEMP_XY(1, k), s.TEMP_XY(2, k));
    if (!(std::fabs(s.TEMP_Z(k)) <= MAX_ELEVATION)) {
      file.fail("record " + std::to_string(file.record()) + ": the elevation " + shortest(s.TEMP_Z(k)) +
                " m of temperature station " + std::to_string(k) + " lies outside -" + shortest(MAX_ELEVATION) +
                " to " + shortest(MAX_ELEVATION) + " m");
    }
  }
  skip_to_series(file, "temperature series");

  for (int32_t N = 1; N <= s.N_DATA; ++N) {
    ListRead r = file.read("temperature record " + std::to_string(N) + " (label and " +
                           std::to_string(NT) + " station value)");
    (void)r.i32();  // record label, not used
    s.grow_temp_records(N);
    for (int32_t k = 1; k <= NT; ++k) s.TEMP_DATA(N, k) = r.f32();
    r.finish();
    for (int32_t k = 1; k <= NT; ++k) {
      if (s.TEMP_DATA(N, k) > MAX_TEMPERATURE) {
        file.fail("record " + std::to_string(file.record()) + ": temperature record " + std::to_string(N) +
                  ": " + shortest(s.TEMP_DATA(N, k)) + " is above " + shortest(MAX_TEMPERATURE) +
                  "; temperatures are in degrees Celsius (a missing value is below -98)");
      }
    }
  }

  // A record at which no station reports leaves the cells without a temperature.
  for (int32_t N = 1; N <= s.N_DATA; ++N) {
    int32_t missing = 0;
    for (int32_t k = 1; k <= NT; ++k) {
      s.TEMP_MISSING(N, k) = s.TEMP_DATA(N, k) >= -98.0f ? 0 : 1;
      missing = missing + s.TEMP_MISSING(N, k);
    }
    if (missing == NT) refuse_run(1004);
  }

  nearest_station(s.NI, s.NJ, s.N_TEMP_ST, s.TEMP_XY, nullptr, s.TEMP_STATION_MAP, s.SLOPE);
}

}  // namespace tarvex

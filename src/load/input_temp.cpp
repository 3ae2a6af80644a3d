#include "load/input_temp.hpp"

#include <cmath>
#include <string>

#include "model/warn_error.hpp"
#include "load/station_position.hpp"
#include "simulation/station_weights.hpp"
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
  file.values("the evapotranspiration offset and slope", s.forcing.ET_OFFSET, s.forcing.ET_SLOPE);
  const float offset_slope[2] = {s.forcing.ET_OFFSET, s.forcing.ET_SLOPE};
  check_coefficients(offset_slope, 2, "the evapotranspiration offset or slope");
  file.skip(1);
  file.row(s.forcing.ET_MONTH_A.v.data(), MAX_MONTHS, "the 12 monthly evapotranspiration coefficients A");
  check_coefficients(s.forcing.ET_MONTH_A.v.data(), MAX_MONTHS, "the monthly evapotranspiration coefficient A");
  file.skip(1);
  file.row(s.forcing.ET_MONTH_B.v.data(), MAX_MONTHS, "the 12 monthly evapotranspiration coefficients B");
  check_coefficients(s.forcing.ET_MONTH_B.v.data(), MAX_MONTHS, "the monthly evapotranspiration coefficient B");
  file.skip(1);
  file.row(s.forcing.DAYS_IN_MONTH.v.data(), MAX_MONTHS, "the 12 numbers of days per month");
  // The calendar and the evapotranspiration divide by and sum these.
  for (int32_t m = 1; m <= MAX_MONTHS; ++m) {
    if (s.forcing.DAYS_IN_MONTH(m) < 1 || s.forcing.DAYS_IN_MONTH(m) > 31) {
      file.fail("record " + std::to_string(file.record()) + ": month " + std::to_string(m) + " has " +
                std::to_string(s.forcing.DAYS_IN_MONTH(m)) + " days; every month has 1 to 31 days");
    }
  }
  s.forcing.N_TEMP_ST = read_station_count(file, "the number of temperature stations", s.control.limits.temp_stations, 1021,
                                   "one station is needed");
  s.size_temp_tables();
  const int32_t NT = s.forcing.N_TEMP_ST;
  file.skip(1);
  for (int32_t k = 1; k <= NT; ++k) {
    file.values("the position (row, column) and elevation of temperature station " + std::to_string(k),
                s.forcing.TEMP_XY(1, k), s.forcing.TEMP_XY(2, k), s.forcing.TEMP_Z(k));
    check_station_position(file, "temperature station " + std::to_string(k), s.forcing.TEMP_XY(1, k), s.forcing.TEMP_XY(2, k));
    if (!(std::fabs(s.forcing.TEMP_Z(k)) <= MAX_ELEVATION)) {
      file.fail("record " + std::to_string(file.record()) + ": the elevation " + shortest(s.forcing.TEMP_Z(k)) +
                " m of temperature station " + std::to_string(k) + " lies outside -" + shortest(MAX_ELEVATION) +
                " to " + shortest(MAX_ELEVATION) + " m");
    }
  }
  skip_to_series(file, "temperature series");

  for (int32_t N = 1; N <= s.forcing.N_DATA; ++N) {
    ListRead r = file.read("temperature record " + std::to_string(N) + " (label and " +
                           std::to_string(NT) + " station value)");
    (void)r.i32();  // record label, not used
    s.grow_temp_records(N);
    for (int32_t k = 1; k <= NT; ++k) s.forcing.TEMP_DATA(N, k) = r.f32();
    r.finish();
    for (int32_t k = 1; k <= NT; ++k) {
      if (s.forcing.TEMP_DATA(N, k) > MAX_TEMPERATURE) {
        file.fail("record " + std::to_string(file.record()) + ": temperature record " + std::to_string(N) +
                  ": " + shortest(s.forcing.TEMP_DATA(N, k)) + " is above " + shortest(MAX_TEMPERATURE) +
                  "; temperatures are in degrees Celsius (a missing value is below -98)");
      }
    }
  }

  // A record at which no station reports leaves the cells without a temperature.
  for (int32_t N = 1; N <= s.forcing.N_DATA; ++N) {
    int32_t missing = 0;
    for (int32_t k = 1; k <= NT; ++k) {
      s.forcing.TEMP_MISSING(N, k) = s.forcing.TEMP_DATA(N, k) >= -98.0f ? 0 : 1;
      missing = missing + s.forcing.TEMP_MISSING(N, k);
    }
    if (missing == NT) refuse_run(1004);
  }

  nearest_station(s.catchment.NI, s.catchment.NJ, s.forcing.N_TEMP_ST, s.forcing.TEMP_XY, nullptr, s.forcing.TEMP_STATION_MAP, s.catchment.SLOPE);
}

}  // namespace tarvex

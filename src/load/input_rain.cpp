#include "load/input_rain.hpp"

#include <string>

#include "model/warn_error.hpp"
#include "load/station_position.hpp"
#include "simulation/station_weights.hpp"
#include "io/text_writer.hpp"

namespace tarvex {

void INPUT_RAIN(ModelState& s, RecordReader& file) {
  s.forcing.N_RAIN_ST = read_station_count(file, "the number of rain gauges", s.control.limits.rain_gauges, 1020,
                                   "at least one gauge is needed");
  s.size_rain_tables();
  const int32_t NR = s.forcing.N_RAIN_ST;
  file.skip(1);
  for (int32_t k = 1; k <= NR; ++k) {
    file.values("the position of rain gauge " + std::to_string(k) + " (row, column)", s.forcing.RAIN_XY(1, k),
                s.forcing.RAIN_XY(2, k));
    check_station_position(file, "rain gauge " + std::to_string(k), s.forcing.RAIN_XY(1, k), s.forcing.RAIN_XY(2, k));
  }
  skip_to_series(file, "rain series");

  for (int32_t N = 1; N <= s.forcing.N_DATA; ++N) {
    ListRead r = file.read("rain record " + std::to_string(N) + " (label and " + std::to_string(NR) +
                           " gauge values)");
    (void)r.i32();  // record label, not used
    s.grow_rain_records(N);
    for (int32_t k = 1; k <= NR; ++k) s.forcing.RAIN_DATA(N, k) = r.f32();
    r.finish();
    for (int32_t k = 1; k <= NR; ++k) {
      if (s.forcing.RAIN_DATA(N, k) > MAX_RAIN_PER_RECORD) {
        file.fail("record " + std::to_string(file.record()) + ": rain record " + std::to_string(N) + ", gauge " +
                  std::to_string(k) + ": " + shortest(s.forcing.RAIN_DATA(N, k)) + " mm is above the " +
                  shortest(MAX_RAIN_PER_RECORD) + " mm a record may hold (a missing value is negative)");
      }
    }
  }

  // A record at which no gauge reports cannot be distributed.
  for (int32_t N = 1; N <= s.forcing.N_DATA; ++N) {
    int32_t missing = 0;
    for (int32_t k = 1; k <= NR; ++k) {
      s.forcing.RAIN_MISSING(N, k) = s.forcing.RAIN_DATA(N, k) >= 0.0f ? 0 : 1;
      missing = missing + s.forcing.RAIN_MISSING(N, k);
    }
    if (missing == NR) refuse_run(1005);
  }

  distribute_rain_gauges(s);
}

void distribute_rain_gauges(ModelState& s) {
  if (s.forcing.INTERP_METHOD == 1) {
    nearest_station(s.catchment.NI, s.catchment.NJ, s.forcing.N_RAIN_ST, s.forcing.RAIN_XY, nullptr, s.forcing.RAIN_STATION_MAP, s.catchment.SLOPE);
  } else {
    inverse_distance_weights(s.catchment.NI, s.catchment.NJ, s.forcing.N_RAIN_ST, s.forcing.RAIN_XY, nullptr, s.forcing.RAIN_WEIGHT, s.catchment.SLOPE);
  }
}

}  // namespace tarvex

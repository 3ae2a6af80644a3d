#include "forcing/input_rain.hpp"

#include <string>

#include "driver/warn_error.hpp"
#include "forcing/invdist.hpp"
#include "forcing/station_position.hpp"
#include "forcing/thiessen.hpp"
#include "io/text_writer.hpp"

namespace tarvex {

void INPUT_RAIN(ModelState& s, RecordReader& file, int32_t& STATUS) {
  file.skip(1);
  file.values("the number of rain gauges", s.N_RAIN_ST);
  if (s.N_RAIN_ST > MAX_RAIN_ST) {
    WARN_ERROR(1020);
    STATUS = 98;
    return;
  }
  if (s.N_RAIN_ST < 1) {
    file.fail("record " + std::to_string(file.record()) + ": the number of rain gauges is " +
              std::to_string(s.N_RAIN_ST) + "; at least one gauge is needed");
  }
  const int32_t NR = s.N_RAIN_ST;
  file.skip(1);
  for (int32_t k = 1; k <= NR; ++k) {
    file.values("the position of rain gauge " + std::to_string(k) + " (row, column)", s.RAIN_XY(1, k),
                s.RAIN_XY(2, k));
    check_station_position(file, "rain gauge " + std::to_string(k), s.RAIN_XY(1, k), s.RAIN_XY(2, k));
  }
  file.skip(1);
  int32_t NS = 0;
  file.values("the number of records to skip before the rain series", NS);
  file.skip(2);
  if (NS > 0) file.skip(NS, "a record skipped before the rain series");

  for (int32_t N = 1; N <= s.N_DATA; ++N) {
    ListRead r = file.read("rain record " + std::to_string(N) + " (label and " + std::to_string(NR) +
                           " gauge values)");
    (void)r.i32();  // record label, not used
    for (int32_t k = 1; k <= NR; ++k) s.RAIN_DATA(N, k) = r.f32();
    r.finish();
    for (int32_t k = 1; k <= NR; ++k) {
      if (s.RAIN_DATA(N, k) > MAX_RAIN_PER_RECORD) {
        file.fail("record " + std::to_string(file.record()) + ": rain record " + std::to_string(N) + ", gauge " +
                  std::to_string(k) + ": " + shortest(s.RAIN_DATA(N, k)) + " mm is above the " +
                  shortest(MAX_RAIN_PER_RECORD) + " mm a record may hold (a missing value is negative)");
      }
    }
  }

  for (int32_t N = 1; N <= s.N_DATA; ++N) {
    STATUS = 0;
    for (int32_t k = 1; k <= NR; ++k) {
      if (s.RAIN_DATA(N, k) >= 0.0f) {
        s.RAIN_MISSING(N, k) = 0;
      } else {
        s.RAIN_MISSING(N, k) = 1;
        STATUS = STATUS + 1;
      }
      if (STATUS == NR) STATUS = 99;
    }
    if (STATUS == 99) break;
  }

  if (STATUS != 99) {
    if (s.INTERP_METHOD == 1) {
      THIESSEN(s, s.N_RAIN_ST, s.RAIN_XY, s.RAIN_STATION_MAP, s.SLOPE);
    } else {
      INVDIST(s, s.N_RAIN_ST, s.RAIN_XY, s.RAIN_WEIGHT, s.SLOPE);
    }
  }
}

}  // namespace tarvex

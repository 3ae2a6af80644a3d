#include "load/station_position.hpp"

#include <cmath>
#include <string>

#include "io/text_writer.hpp"
#include "model/warn_error.hpp"

namespace tarvex {

int32_t read_station_count(RecordReader& file, const std::string& what, int32_t capacity, int32_t refusal,
                           const std::string& needed) {
  file.skip(1);
  int32_t n = 0;
  file.values(what, n);
  if (n > capacity) refuse_run(refusal);
  if (n < 1) file.fail("record " + std::to_string(file.record()) + ": " + what + " is " + std::to_string(n) + "; " + needed);
  return n;
}

void skip_to_series(RecordReader& file, const std::string& series) {
  file.skip(1);
  int32_t NS = 0;
  file.values("the number of records to skip before the " + series, NS);
  file.skip(2);
  if (NS > 0) file.skip(NS, "a record skipped before the " + series);
}

void check_station_position(const RecordReader& file, std::string_view station, float row, float col) {
  if (std::fabs(row) <= MAX_STATION_OFFSET && std::fabs(col) <= MAX_STATION_OFFSET) return;
  file.fail("record " + std::to_string(file.record()) + ": " + std::string(station) + " at (" + shortest(row) +
            ", " + shortest(col) + ") lies more than " + shortest(MAX_STATION_OFFSET) +
            " cells from the grid; positions are in cells");
}

}  // namespace tarvex

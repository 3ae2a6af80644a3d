#include "forcing/station_position.hpp"

#include <cmath>
#include <string>

#include "io/text_writer.hpp"

namespace tarvex {

void check_station_position(const RecordReader& file, std::string_view station, float row, float col) {
  if (std::fabs(row) <= MAX_STATION_OFFSET && std::fabs(col) <= MAX_STATION_OFFSET) return;
  file.fail("record " + std::to_string(file.record()) + ": " + std::string(station) + " at (" + shortest(row) +
            ", " + shortest(col) + ") lies more than " + shortest(MAX_STATION_OFFSET) +
            " cells from the grid; positions are in cells");
}

}  // namespace tarvex

#pragma once
// Plausibility of a station position read from the rain or temperature file.
#include <cstdint>
#include <string_view>

#include "model/input_limits.hpp"
#include "io/record_reader.hpp"

namespace tarvex {

// Refuses, naming the file and its last record read, a station whose row or
// column coordinate (cell units) lies beyond MAX_STATION_OFFSET.
void check_station_position(const RecordReader& file, std::string_view station, float row, float col);

}  // namespace tarvex

#pragma once
// Plausibility of a station position read from the rain or temperature file.
#include <cstdint>
#include <string>
#include <string_view>

#include "model/input_limits.hpp"
#include "io/record_reader.hpp"

namespace tarvex {

// Refuses, naming the file and its last record read, a station whose row or
// column coordinate (cell units) lies beyond MAX_STATION_OFFSET.
// Reads the station count of a rain or temperature file (the label record,
// then the count): more than capacity refuses the run with message refusal,
// fewer than one is refused naming the record ("<what> is N; <needed>").
int32_t read_station_count(RecordReader& file, const std::string& what, int32_t capacity, int32_t refusal,
                           const std::string& needed);

// Reads the skip count (after its label record) and skips the two label
// records and the skipped records before a series ("the rain series").
void skip_to_series(RecordReader& file, const std::string& series);

void check_station_position(const RecordReader& file, std::string_view station, float row, float col);

}  // namespace tarvex

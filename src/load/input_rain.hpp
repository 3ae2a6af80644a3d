#pragma once
#include <cstdint>

#include "model/model_state.hpp"
#include "model/input_limits.hpp"
#include "io/record_reader.hpp"

namespace tarvex {

// Rain file: gauges, positions, series, missing flags, station tables.
// STATUS: 98 more than 4 gauges, 99 a record with every gauge missing,
// otherwise the missing gauges of the last record. A value above
// MAX_RAIN_PER_RECORD is refused with an InputError naming the record.
void INPUT_RAIN(ModelState& s, RecordReader& file);

// The rain gauges over the catchment's cells: each cell's nearest gauge
// (INTERP_METHOD 1) or its inverse-distance weights.
void distribute_rain_gauges(ModelState& s);

}  // namespace tarvex

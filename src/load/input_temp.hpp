#pragma once
#include <cstdint>

#include "model/model_state.hpp"
#include "model/input_limits.hpp"
#include "io/record_reader.hpp"

namespace tarvex {

// Temperature file: evapotranspiration coefficients, days per month, the
// station and its series, missing flags, the nearest-station map.
// STATUS: 98 more than one station, 99 a record with no station reporting.
// A temperature above MAX_TEMPERATURE, a coefficient beyond
// MAX_ET_COEFFICIENT or a station elevation beyond MAX_ELEVATION is refused
// with an InputError naming the record.
void INPUT_TEMP(ModelState& s, RecordReader& file);

}  // namespace tarvex

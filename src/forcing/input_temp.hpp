#pragma once
#include <cstdint>

#include "driver/model_state.hpp"
#include "io/record_reader.hpp"

namespace tarvex {

// Temperature file: evapotranspiration coefficients, days per month, the
// station and its series, missing flags, the nearest-station map.
// STATUS: 98 more than one station, 99 a record with no station reporting.
void INPUT_TEMP(ModelState& s, RecordReader& file, int32_t& STATUS);

}  // namespace tarvex

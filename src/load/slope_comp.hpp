#pragma once
#include <cstdint>

#include "model/model_state.hpp"
#include "io/record_reader.hpp"

namespace tarvex {

// Reads the link-property file (header, then IIN JIN IFIN JFIN ORD LEN per
// link) into the path list and gives every cell of a link, from its start
// cell up to but not including its end cell, the link's mean bed slope (m/m,
// at least 0.0001); every other cell gets -1.0. LINK_RECORDS: records of the
// file, header included.
void SLOPE_COMP(ModelState& s, RecordReader& file, int32_t LINK_RECORDS);

}  // namespace tarvex

#pragma once
#include <cstdint>

#include "driver/model_state.hpp"

namespace tarvex {

// Loads "Tarvex.in" and every input it names into the model state. ERR is set
// to 1 on a refused load; STATUS is the status of the series loaders (98 a
// station count above its capacity, 99 a record with no station reporting).
// The caller sets both to 0 and refuses the load when ERR != 0 or STATUS >= 98.
void READ_PARAM(ModelState& s, int32_t& ERR, int32_t& STATUS);

}  // namespace tarvex

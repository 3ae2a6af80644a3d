#pragma once
#include <cstdint>

#include "driver/model_state.hpp"

namespace tarvex {

// One simulation run with the control file's parameters (event method in run
// mode 2, continuous in mode 3). NOUT receives the number of recorded steps.
// Returns 0; a run the discharge series cannot hold is refused before it
// starts with InputError.
int MANUAL_CALIBRATION(ModelState& s, int32_t& NOUT);

}  // namespace tarvex

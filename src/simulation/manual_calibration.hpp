#pragma once
#include <cstdint>

#include "model/model_state.hpp"

namespace tarvex {

// One simulation run with the control file's parameters (event method in run
// mode 2, continuous in mode 3). Returns the number of recorded steps; a run
// the discharge series cannot hold is refused before it starts with
// InputError.
int32_t MANUAL_CALIBRATION(const RunModel& s);

}  // namespace tarvex

#pragma once
#include <cstdint>

#include "io/control_file.hpp"
#include "model/model_state.hpp"

namespace tarvex {

// Result files of a single run of nsteps simulation steps: the discharge file
// of the cross-section (named after marker "A67" of the control file) and the
// grid files "TotRain.out", "RaingThDistr.out", "TempStDistr.out" (not in
// mode 2) and "Slope.out". Returns the steps of the discharge series written
// (fewer than nsteps when it is averaged to the record step).
int32_t WRITE_OUTPUT(const ModelState& s, const ControlFile& ctl, int32_t nsteps);

}  // namespace tarvex

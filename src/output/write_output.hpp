#pragma once
#include <cstdint>

#include "driver/model_state.hpp"

namespace tarvex {

// Result files of a single run: the discharge file of the cross-section and
// the grid files "TotRain.out", "RaingThDistr.out", "TempStDistr.out" (not in
// mode 2) and "Slope.out". nsteps: simulation steps on entry, output steps on
// return when the series was aggregated to the record step.
void WRITE_OUTPUT(ModelState& s, int32_t& reserved, int32_t& nsteps);

}  // namespace tarvex

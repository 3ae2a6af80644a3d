#pragma once
#include "io/control_file.hpp"
#include "model/model_state.hpp"

namespace tarvex {

// Terrain preprocessing (run mode 1): from the DEM named in the control file
// to the direction, pit-free elevation, contributing-area and link-property
// files. A numbered failure throws RunRefused (the message printed).
void MOD1(ModelState& s, const ControlFile& ctl);

}  // namespace tarvex

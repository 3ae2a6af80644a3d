#pragma once
#include "driver/model_state.hpp"

namespace tarvex {

// Terrain preprocessing (run mode 1): from the DEM named in "Tarvex.in" to the
// direction, pit-free elevation, contributing-area and link-property files.
// Returns 0 on success, 1 after a numbered failure (already printed).
int MOD1(ModelState& s);

}  // namespace tarvex

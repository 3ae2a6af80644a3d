#pragma once
#include <cstdint>

#include "model/model_state.hpp"
#include "terrain/pit_options.hpp"
#include "terrain/terrain_progress.hpp"

namespace tarvex {

// Removes the pits of ELEVATION by the chosen method (the first N_FIXED
// cells of FIXED_I/FIXED_J exempt) and computes the D8 directions into
// FLOW_DIR. raise is FLOW_DIRECTIONS as it is. fill and breach print one
// summary line of what they changed; a cell that cannot drain at all (no
// path of positive cells to a positive edge or exempt cell) prints its
// place and message 1002 and throws RunRefused 1002.
void remove_pits(Grid<float>& ELEVATION, int32_t N_FIXED, const Array1<int32_t, kLimits.exempt_cells>& FIXED_I,
                 const Array1<int32_t, kLimits.exempt_cells>& FIXED_J, Grid<int32_t>& FLOW_DIR,
                 const TerrainOptions& opt, TerrainProgress& progress);

// Cells whose elevation differs between before and after, and the largest
// difference, m.
PitChange elevation_change(const Grid<float>& before, const Grid<float>& after);

}  // namespace tarvex

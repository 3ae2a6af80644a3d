#pragma once
#include <cstdint>
#include <functional>

#include "model/model_state.hpp"

namespace tarvex {

// Removes the pits of ELEVATION (UNPIT, the first N_FIXED cells of
// FIXED_I/FIXED_J exempt) and computes the D8 directions into FLOW_DIR.
// A raise past the ceiling throws RunRefused 1002 (printed by UNPIT), with
// FLOW_DIR untouched. raises: as for UNPIT.
void FLOW_DIRECTIONS(Grid<float>& ELEVATION, int32_t N_FIXED, const Array1<int32_t, kLimits.exempt_cells>& FIXED_I,
                     const Array1<int32_t, kLimits.exempt_cells>& FIXED_J, Grid<int32_t>& FLOW_DIR,
                     const std::function<void(int64_t)>& raises = {});

// Highest elevation of the grid (at least -1000.0) plus 100.0, m.
float elevation_ceiling(const Grid<float>& ELEVATION);

// D8 code of cell (i, j): towards its steepest lower neighbour, 0 when none.
int32_t flow_code(const Grid<float>& ELEVATION, int32_t i, int32_t j);
// D8 code of every cell from ELEVATION into FLOW_DIR (sized like it).
void set_flow_directions(const Grid<float>& ELEVATION, Grid<int32_t>& FLOW_DIR);

}  // namespace tarvex

#pragma once
#include <cstdint>

#include "model/model_state.hpp"

namespace tarvex {

// Contributing area: fills AREA_CELLS (cells draining through each cell,
// itself included; 0 for a cell without direction and without inflow) from
// FLOW_DIR, sized like it. PENDING is a scratch grid (resized, its contents
// left undefined).
void CONTRIBUTING_AREA(const Grid<int32_t>& FLOW_DIR, Grid<int32_t>& AREA_CELLS, Grid<int32_t>& PENDING);

}  // namespace tarvex

#pragma once
#include <cstdint>

#include "model/model_state.hpp"
#include "io/grid_file.hpp"

namespace tarvex {

// Contributing area: fills AREA_CELLS (cells draining through each cell,
// itself included; 0 for a cell without direction and without inflow) from
// FLOW_DIR, and writes it to the open contributing-area file. PENDING is a
// scratch grid of NI x NJ cells (its contents are left undefined).
void CONTRIBUTING_AREA(ModelState& s, GridWriter& area_file, Grid<int32_t>& PENDING);

// The computation alone, without the file.
void accumulate_area(ModelState& s, Grid<int32_t>& PENDING);

// Writes AREA_CELLS to an area-grid file.
void write_area_file(const ModelState& s, GridWriter& out);

}  // namespace tarvex

#pragma once
#include <cstdint>

#include "model/model_state.hpp"

namespace tarvex {

// Catchment of the outlet cell (OUTLET_I, OUTLET_J): follows the flow path of
// every source cell and sets CATCHMENT_MASK to the cell's STREAM_ORDER on the
// cells whose path reaches the outlet, -1 on paths that end elsewhere and 0
// on cells on no path from a source. An outlet off the grid or off the
// network gives no positive cell.
void MASK(const Grid<int32_t>& FLOW_DIR, const Grid<int32_t>& AREA_CELLS, const Grid<int32_t>& STREAM_ORDER,
          int32_t OUTLET_I, int32_t OUTLET_J, Grid<int32_t>& CATCHMENT_MASK);

}  // namespace tarvex

#pragma once
#include "model/model_state.hpp"
#include "io/grid_file.hpp"

namespace tarvex {

// Reads the curve-number grid and converts every cell to the maximum soil
// retention S = (100/CN - 1) * 254 mm in SOIL_CAPACITY (CN <= 0 gives -1.0,
// CN = 100 gives 0.0001). A curve number above 100 is reported on the console
// and converted all the same. A catchment cell (SLOPE > 0) with S <= 0, or
// with S beyond the range of 4-byte reals, cannot be simulated: once the whole grid is converted and reported, the load is
// refused with an InputError naming the first such cell.
void SOIL_STORATIVITY(ModelState& s, GridReader& file);

}  // namespace tarvex

#pragma once
// Inverse-squared-distance weights of every rain gauge on every active cell,
// stored at row (k-1)*NI + I of W; 0.0 on every other cell.
#include <cstdint>

#include "driver/model_state.hpp"

namespace tarvex {

void INVDIST(const ModelState& s, int32_t N, const Table<float, 2, MAX_RAIN_ST>& XY, Grid<float>& W,
             const Grid<float>& ACTIVE);

}  // namespace tarvex

#pragma once
#include <cstdint>

#include "driver/model_state.hpp"
#include "simulation/station_lists.hpp"

namespace tarvex {

// Inverse-squared-distance weights over the gauges that report. WEIGHT row
// (k-1)*NI + I, column J holds the weight of gauge k at cell (I, J); missing
// gauges and cells with ACTIVE <= 0 get 0. With every gauge missing every
// weight is 0.
void NEWINVDIST(const ModelState& s, int32_t NST, const Table<float, 2, MAX_RAIN_ST>& XY, int32_t NMISS,
                const MissList& MISSLIST, Grid<float>& WEIGHT, const Grid<float>& ACTIVE);

}  // namespace tarvex

#pragma once
#include <cstdint>

#include "model/model_state.hpp"
#include "simulation/station_lists.hpp"

namespace tarvex {

// Lists the temperature stations missing at record N (TMISS_FLAG 1 when any
// is) and, only then, rebuilds TMAP_STEP as the nearest reporting station
// (kept when it was last built for the same missing stations).
void CHECK_TEMP(const RunModel& s, int32_t N, int32_t& TMISS_FLAG, Grid<int32_t>& TMAP_STEP,
                MissList& TMISSLIST);

}  // namespace tarvex

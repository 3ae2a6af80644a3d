#pragma once
#include <cstdint>

#include "driver/model_state.hpp"
#include "simulation/station_lists.hpp"

namespace tarvex {

// Nearest-station map over the stations that report: MAP(I, J) is the
// nearest of stations 1..NST not among the first NMISS entries of MISSLIST,
// for cells with ACTIVE > 0 (squared distance in cell units, ties to the
// lower number); -1 on every other cell.
void NEWTHIESSEN(const ModelState& s, int32_t NST, const Table<float, 2, MAX_RAIN_ST>& XY, int32_t NMISS,
                 const MissList& MISSLIST, Grid<int32_t>& MAP, const Grid<float>& ACTIVE);
void NEWTHIESSEN(const ModelState& s, int32_t NST, const Table<float, 2, MAX_TEMP_ST>& XY, int32_t NMISS,
                 const MissList& MISSLIST, Grid<int32_t>& MAP, const Grid<float>& ACTIVE);

}  // namespace tarvex

#pragma once
#include "model/model_state.hpp"

namespace tarvex {

// Moves one step's runoff through the network (surface and subsurface flow,
// Muskingum-Cunge), walking the path list in order. RUNOFF: surface runoff
// depth of the step, mm per step. Throws InputError when a path does not
// reach its end cell along the flow directions (the walk stays bounded and
// on the grid) or when the grids are not all NI x NJ.
void ROUTING(const RunModel& s, const Grid<float>& RUNOFF);

}  // namespace tarvex

#pragma once
#include "model/model_state.hpp"

namespace tarvex {

// Empties the stores and stops every flow at the start of a run: the 24
// time-varying cell grids are set to 0 over NI x NJ. CUM_RAIN, the inputs
// and the run tables are left alone.
void INITIAL_VALUE(const RunModel& s);

}  // namespace tarvex

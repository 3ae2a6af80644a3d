#pragma once
#include "model/model_state.hpp"

namespace tarvex {

// Rolls the step's flows over to the previous-step grids and clears the
// current ones, ready for the next ROUTING call.
void STEP_SHIFT(const RunModel& s);

}  // namespace tarvex

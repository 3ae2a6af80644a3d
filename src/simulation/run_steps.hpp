#pragma once
// Step count and record index of a run. The single run and the
// objective-function run group the same products differently; each keeps
// its own grouping, since the last bits decide the truncated results.
#include <cstdint>

#include "model/model_state.hpp"
#include "simulation/simulation_run.hpp"

namespace tarvex {

// NSTEPS: single run INT(N_DATA*(DT_RAIN/DT_SIM)), objective run
// INT(N_DATA*DT_RAIN/DT_SIM). Throws InputError when the count does not fit
// a 4-byte integer (a simulation step far too short).
int32_t RUN_STEP_COUNT(const StepPlan& plan, RunKind kind);

// Record N of step IT: single run INT((IT-1)*(DT_SIM/DT_RAIN)+1), objective
// run INT((IT-1)*DT_SIM/DT_RAIN+1); never beyond N_DATA, where rounding of
// the last steps of a long series with very short steps would lead.
int32_t RUN_RECORD_OF_STEP(const StepPlan& plan, RunKind kind, int32_t IT);

}  // namespace tarvex

#pragma once
// Step count and record index of a run. The single run and the
// objective-function run group the same products differently; each keeps
// its own grouping, since the last bits decide the truncated results.
#include <cstdint>

#include "model/model_state.hpp"
#include "simulation/simulation_run.hpp"

namespace tarvex {

// The steps of a run before truncation: single run N_DATA*(DT_RAIN/DT_SIM),
// objective run N_DATA*DT_RAIN/DT_SIM.
float RUN_STEPS_BEFORE_TRUNCATION(const StepPlan& plan, RunKind kind);

// NSTEPS, the truncated count. The load refuses a plan whose count does not
// fit a 4-byte integer; given one anyway this throws InputError.
int32_t RUN_STEP_COUNT(const StepPlan& plan, RunKind kind);

// Record N of step IT: single run INT((IT-1)*(DT_SIM/DT_RAIN)+1), objective
// run INT((IT-1)*DT_SIM/DT_RAIN+1); never beyond N_DATA, where rounding of
// the last steps of a long series with very short steps would lead.
int32_t RUN_RECORD_OF_STEP(const StepPlan& plan, RunKind kind, int32_t IT);

}  // namespace tarvex

#pragma once
// Checks of the step plan of a loaded run: the simulation step against the
// step of the records, and the run's step count against what a 4-byte
// integer counts and the discharge series hold.
#include "io/control_file.hpp"
#include "model/model_state.hpp"

namespace tarvex {

// Refuses, naming the control file and its DT_SIM record, a plan no run of
// the pass can carry out: numbered 1012 and 1013 as before, then the step
// count of the pass's run (single run in modes 2 and 3, objective-function
// run in mode 4). Throws RunRefused or InputError.
void check_step_plan(const ModelState& s, const ControlFile& ctl);

}  // namespace tarvex

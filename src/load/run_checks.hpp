#pragma once
// The last checks of a load: the step plan of the run and the records the
// results are written by, refused before the run rather than after it.
#include "io/control_file.hpp"
#include "model/model_state.hpp"

namespace tarvex {

// Refuses, naming the control file and its DT_SIM record, a plan no run of
// the pass can carry out: numbered 1012 and 1013 as before, then the step
// count of the pass's run (single run in modes 2 and 3, objective-function
// run in mode 4). Throws RunRefused or InputError.
void check_step_plan(const ModelState& s, const ControlFile& ctl);

// The output section of a single run (modes 2 and 3): the marker record,
// then with cross-sections their discharge file names and the two output
// flags, each readable. Throws the reader's InputError.
void check_output_section(const ModelState& s, const ControlFile& ctl);

}  // namespace tarvex

#pragma once
#include "io/control_file.hpp"
#include "model/model_state.hpp"

namespace tarvex {

// Loads the control file's values and every input it names into the model
// state. A load refused with a numbered message throws RunRefused (the
// message printed); a bad value or file throws InputError.
void READ_PARAM(ModelState& s, const ControlFile& ctl);

}  // namespace tarvex

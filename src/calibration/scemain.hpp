#pragma once
#include "io/control_file.hpp"
#include "model/model_state.hpp"

namespace tarvex {

// Calibration run (mode 4): settings from "scein.dat", report "sceout.dat",
// observed discharge, one evaluation of the initial parameter vector.
// Returns the exit status of the program; a numbered refusal throws
// RunRefused.
int SCEMAIN(ModelState& s, const ControlFile& ctl);

}  // namespace tarvex

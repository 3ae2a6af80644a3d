#pragma once
#include "calibration/search_options.hpp"
#include "io/control_file.hpp"
#include "model/model_state.hpp"

namespace tarvex {

// Calibration run (mode 4): settings from "scein.dat", report "sceout.dat",
// observed discharge, one evaluation of the initial parameter vector.
// Returns the exit status of the program; a numbered refusal throws
// RunRefused.
// search: the command line's search choices (none: the single evaluation).
int SCEMAIN(ModelState& s, const ControlFile& ctl, const SearchOptions* search = nullptr);

}  // namespace tarvex

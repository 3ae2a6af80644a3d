#pragma once
#include "driver/model_state.hpp"

namespace tarvex {

// Calibration run (mode 4): settings from "scein.dat", report "sceout.dat",
// observed discharge, one evaluation of the initial parameter vector.
// Returns the exit status of the program.
int SCEMAIN(ModelState& s);

}  // namespace tarvex

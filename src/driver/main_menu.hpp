#pragma once
#include <cstdint>

#include "calibration/search_options.hpp"
#include "model/model_state.hpp"

namespace tarvex {

// One pass of the program in the given run mode. Returns the exit status:
// 0 success, 1 a refused load, time step or run. Errors of the file layer
// propagate as InputError.
// search: the calibration search choices of the command line.
int MAINMENU(ModelState& s, int32_t mode, const SearchOptions& search = {});

}  // namespace tarvex

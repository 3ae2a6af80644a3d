#pragma once
#include <cstdint>

#include "model/model_state.hpp"

namespace tarvex {

// One pass of the program in the given run mode. Returns the exit status:
// 0 success, 1 a refused load, time step or run. Errors of the file layer
// propagate as InputError.
int MAINMENU(ModelState& s, int32_t mode);
// The same with the threads each simulation run may use (0: the machine's cores).
int MAINMENU(ModelState& s, int32_t mode, int32_t jobs);

}  // namespace tarvex

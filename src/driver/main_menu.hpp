#pragma once
#include <cstdint>
#include <string>

#include "calibration/search_options.hpp"
#include "model/model_state.hpp"
#include "terrain/pit_options.hpp"

namespace tarvex {

// One pass of the program in the given run mode. Returns the exit status:
// 0 success, 1 a refused load, time step or run. Errors of the file layer
// propagate as InputError.
// search: the calibration search choices of the command line; its jobs are
// the threads of each simulation run when there is no search.
// terrain: the terrain mode's pit method and progress display.
// control: the control file read instead of "Tarvex.in".
int MAINMENU(ModelState& s, int32_t mode, const SearchOptions& search = {}, const TerrainOptions& terrain = {},
             const std::string& control = "Tarvex.in");
// The same with the threads each simulation run may use (0: the machine's cores).
int MAINMENU(ModelState& s, int32_t mode, int32_t jobs);

}  // namespace tarvex

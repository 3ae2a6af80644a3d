#pragma once
// `tarvex init`: a new catchment's "Tarvex.in" and "scein.dat" from a DEM,
// three dated CSV series and the outlet in map coordinates.
#include <string>
#include <vector>

namespace tarvex {

// Runs `tarvex init` with the arguments after "init" in the working
// directory. Returns the exit status: 0 written, 1 refused (an input that
// cannot be read, a file that exists already), 2 a usage error; refusals are
// one line on stderr.
int run_init_command(const std::vector<std::string>& args);

}  // namespace tarvex

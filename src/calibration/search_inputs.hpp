#pragma once
// The files every evaluation of the calibration search depends on, with
// their digests: the control file, the grids and series it names that a run
// reads, and "scein.dat". The checkpoint keeps them, so that a resumed
// search (and every rank of an MPI job) runs on the data the search began on.
#include <string>
#include <vector>

#include "io/control_file.hpp"

namespace tarvex {

struct InputDigest {
  std::string path;
  std::string role;    // e.g. "the rain file (record 62 of 'Tarvex.in')"
  std::string digest;  // io/input_digest.hpp
};

// The inputs of a calibration run named by ctl, each with its digest.
std::vector<InputDigest> search_inputs(const ControlFile& ctl);

// Index of the first entry of now whose file or digest differs from saved
// (or of the first entry one of the lists lacks); -1 when they agree.
int first_changed_input(const std::vector<InputDigest>& saved, const std::vector<InputDigest>& now);

}  // namespace tarvex

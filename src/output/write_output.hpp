#pragma once
#include <cstdint>
#include <vector>

#include "io/control_file.hpp"
#include "model/model_state.hpp"

namespace tarvex {

// Means of column k of a step series (steps 1..nsteps) over blocks of R
// steps, R = DT_RAIN/DT_SIM: block m holds the steps from i on while
// step <= i + R - 1, cut at nsteps, and its sum is divided by R. One mean
// per block.
std::vector<float> record_means(const Table<float, kLimits.records, kLimits.sections>& q, int32_t k, int32_t nsteps,
                                float R);

// Result files of a single run of nsteps simulation steps: the discharge file
// of the cross-section (named after marker "A67" of the control file) and the
// grid files "TotRain.out", "RaingThDistr.out", "TempStDistr.out" (not in
// mode 2) and "Slope.out". Returns the steps of the discharge series written
// (fewer than nsteps when it is averaged to the record step).
int32_t WRITE_OUTPUT(const ModelState& s, const ControlFile& ctl, int32_t nsteps);

}  // namespace tarvex

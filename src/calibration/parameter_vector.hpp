#pragma once
// Checks the nine model parameters of the initial vector of "scein.dat"
// before the evaluation run uses them: the run divides by or takes powers of
// most of them, and the control file's checks do not cover the calibrated
// parameters.
#include "calibration/sce_settings.hpp"
#include "model/model_state.hpp"

namespace tarvex {

// Throws InputError naming "scein.dat", the parameter record and the
// parameter when a value cannot be simulated: not a 4-byte real (beyond
// about 3.4e38), WD_HILL, K_SUB, TAU_SUB or F_SUB_CAP or the Strickler
// coefficient of a roughness class that a catchment cell uses not positive
// or outside MIN_PARAMETER to MAX_PARAMETER, IA_RATIO negative or above
// MAX_PARAMETER. set.NPAR must be at least MODEL_PARAMS.
void check_parameter_vector(const ModelState& s, const SceSettings& set);

// Bounds a sampling analysis draws from: throws InputError naming the record
// of a lower bound above its upper bound, or when every parameter's bounds
// are equal (nothing varies: no `what` to measure).
void check_sampled_bounds(const SceSettings& set, const char* what);

}  // namespace tarvex

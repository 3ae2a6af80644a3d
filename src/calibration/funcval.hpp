#pragma once
#include <cstdint>

#include "model/model_state.hpp"

namespace tarvex {

// Scores one parameter vector: X[0..8] become A_CHANNEL, WD_HILL,
// KS_CLASS(1..3), K_SUB, TAU_SUB, F_SUB_CAP and IA_RATIO (rounded to 4-byte
// reals, left in the state), one continuous run from the initial state is
// made, and the sum of squared differences between the simulated total flow
// at the cross-section (averaged to the record step) and Q_OBS is returned.
// Appends X[0..NOPT-1] and the score to "min-ris.txt" and rewrites
// "outlet.out". Each call is an independent run; only CUM_RAIN, the log and
// the parameters carry over. NOPT below 9 throws InputError, and so does a
// score that overflows 4-byte reals (before the log is touched).
float FUNCVAL(ModelState& s, const double* X, int32_t NOPT);

}  // namespace tarvex

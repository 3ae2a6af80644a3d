#pragma once
// The control file with a parameter vector of the calibration in place of
// its own values of the nine model parameters ("Tarvex.best.in"), so that a
// run on it uses exactly the parameters the calibration scored.
#include <span>
#include <string>

#include "io/control_file.hpp"

namespace tarvex {

inline constexpr const char* kBestControlFile = "Tarvex.best.in";

// Writes `out`: the bytes of the control file ctl was read from, with
// A_CHANNEL, WD_HILL, KS_CLASS 1 to NCLASS, K_SUB, TAU_SUB, F_SUB_CAP and
// IA_RATIO replaced by x[0..8] as the shortest text of the 4-byte real the
// run takes. Returns an empty text when done, else why the file could not be
// written (a value the control file does not hold where it was read, e.g.
// one spread over records); nothing is written then.
std::string write_best_control(const ControlFile& ctl, std::span<const double> x,
                               const std::string& out = kBestControlFile);

}  // namespace tarvex

#include "driver/main_menu.hpp"

#include <cstdio>

#include "calibration/scemain.hpp"
#include "driver/read_param.hpp"
#include "driver/warn_error.hpp"
#include "io/input_error.hpp"
#include "io/text_writer.hpp"
#include "output/write_output.hpp"
#include "simulation/manual_calibration.hpp"
#include "terrain/mod1.hpp"

namespace tarvex {

int MAINMENU(ModelState& s, int32_t mode, int32_t jobs) {
  s.RUN_JOBS = jobs;
  return MAINMENU(s, mode);
}

int MAINMENU(ModelState& s, int32_t mode) {
  s.RUN_MODE = mode;
  if (s.RUN_MODE == 1) return MOD1(s);

  int32_t ERR = 0;
  int32_t STATUS = 0;
  READ_PARAM(s, ERR, STATUS);
  // The loader has printed its message; a failing pass is not repeated.
  if (ERR != 0 || STATUS >= 98) return 1;

  if (s.DT_SIM > s.DT_RAIN) {
    WARN_ERROR(1012);
    return 1;
  }
  // The rainfall step must be a whole multiple of the simulation step.
  const float ratio = s.DT_RAIN / s.DT_SIM;
  if (!(ratio < 2147483648.0f)) {
    // More steps per record than a 4-byte integer counts: no run could hold them.
    throw InputError("file 'Tarvex.in': the time step of the records DT_RAIN = " + shortest(s.DT_RAIN) +
                     " s is " + shortest(ratio) + " simulation steps DT_SIM = " + shortest(s.DT_SIM) +
                     " s long: the simulation step is too short");
  }
  const int32_t Q = static_cast<int32_t>(ratio);
  const int32_t R = static_cast<int32_t>(s.DT_RAIN - static_cast<float>(Q) * s.DT_SIM);
  if (R != 0) {
    WARN_ERROR(1013);
    return 1;
  }

  if (s.RUN_MODE == 2 || s.RUN_MODE == 3) {
    int32_t NOUT = 0;
    int32_t reserved = 0;
    int status = MANUAL_CALIBRATION(s, NOUT);
    if (status != 0) return status;
    WRITE_OUTPUT(s, reserved, NOUT);
    return 0;
  }
  return SCEMAIN(s);
}

}  // namespace tarvex

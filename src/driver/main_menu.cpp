#include "driver/main_menu.hpp"

#include <optional>

#include "calibration/scemain.hpp"
#include "driver/read_param.hpp"
#include "model/warn_error.hpp"
#include "io/control_file.hpp"
#include "io/input_error.hpp"
#include "io/text_writer.hpp"
#include "output/write_output.hpp"
#include "simulation/manual_calibration.hpp"
#include "terrain/mod1.hpp"

namespace tarvex {

namespace {

int run_pass(ModelState& s, const ControlFile& ctl, const SearchOptions& search) {
  if (s.RUN_MODE == 1) {
    MOD1(s, ctl);
    return 0;
  }
  READ_PARAM(s, ctl);

  if (s.DT_SIM > s.DT_RAIN) refuse_run(1012);
  // The rainfall step must be a whole multiple of the simulation step.
  const float ratio = s.DT_RAIN / s.DT_SIM;
  if (!(ratio < 2147483648.0f)) {
    // More steps per record than a 4-byte integer counts: no run could hold them.
    throw InputError("file '" + ctl.name() + "': the time step of the records DT_RAIN = " + shortest(s.DT_RAIN) +
                     " s is " + shortest(ratio) + " simulation steps DT_SIM = " + shortest(s.DT_SIM) +
                     " s long: the simulation step is too short");
  }
  const int32_t Q = static_cast<int32_t>(ratio);
  const int32_t R = static_cast<int32_t>(s.DT_RAIN - static_cast<float>(Q) * s.DT_SIM);
  if (R != 0) refuse_run(1013);

  if (s.RUN_MODE == 2 || s.RUN_MODE == 3) {
    const int32_t steps = MANUAL_CALIBRATION(s);
    WRITE_OUTPUT(s, ctl, steps);
    return 0;
  }
  return SCEMAIN(s, ctl, &search);
}

}  // namespace

int MAINMENU(ModelState& s, int32_t mode, const SearchOptions& search) {
  s.RUN_MODE = mode;
  try {
    const std::optional<ControlFile> ctl = ControlFile::read("Tarvex.in", mode, control_bounds(kLimits));
    if (!ctl) refuse_run(1011);
    return run_pass(s, *ctl, search);
  } catch (const RunRefused&) {
    // The message is printed; a refused pass is not repeated.
    return 1;
  }
}

}  // namespace tarvex

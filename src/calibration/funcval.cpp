#include "calibration/funcval.hpp"

#include <cmath>
#include <string>

#include "calibration/evaluate.hpp"
#include "io/input_error.hpp"
#include "io/evaluation_log.hpp"
#include "io/text_writer.hpp"

namespace tarvex {

float FUNCVAL(ModelState& s, const double* X, int32_t NOPT) {
  set_parameters(s.params, X, NOPT);
  const RunScore r = evaluate_run(s);
  const int32_t NOUT = r.NOUT;
  const float OF = r.OBJ;
  auto simulated = [&](int32_t IOUT, int32_t k_s) { return simulated_value(s.results, r, IOUT, k_s); };
  const float OBJ = OF;
  // The run's discharges are numbers (the run refuses others), but their
  // squared differences may still overflow: no score to log then.
  if (!std::isfinite(OBJ)) {
    throw InputError("the objective function overflows 4-byte reals (" + shortest(OBJ) +
                     "): the simulated discharges differ from the observed ones by more than about 1e17 m3/s; "
                     "no evaluation is logged");
  }

  append_evaluation("min-ris.txt", X, NOPT, OBJ);

  SeriesWriter outlet("outlet.out");
  if (s.catchment.N_SECTIONS > 0) {
    for (int32_t IOUT = 1; IOUT <= NOUT; ++IOUT) {
      for (int32_t k_s = 1; k_s <= s.catchment.N_SECTIONS; ++k_s) outlet.value(IOUT, simulated(IOUT, k_s));
    }
  }
  outlet.close();
  return OBJ;
}

}  // namespace tarvex

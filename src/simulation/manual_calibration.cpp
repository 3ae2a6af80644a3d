#include "simulation/manual_calibration.hpp"

#include "simulation/simulation_run.hpp"

namespace tarvex {

int MANUAL_CALIBRATION(ModelState& s, int32_t& NOUT) {
  NOUT = RUN_SIMULATION(s, s.single_run, RunKind::single);
  return 0;
}

}  // namespace tarvex

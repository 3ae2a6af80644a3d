#include "simulation/manual_calibration.hpp"

#include "simulation/simulation_run.hpp"

namespace tarvex {

int32_t MANUAL_CALIBRATION(const RunModel& s) { return RUN_SIMULATION(s, s.run.single_run, RunKind::single); }

}  // namespace tarvex

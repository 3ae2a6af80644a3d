#include "load/run_checks.hpp"

#include <string>

#include "io/text_writer.hpp"
#include "model/warn_error.hpp"
#include "simulation/run_steps.hpp"

namespace tarvex {

void check_step_plan(const ModelState& s, const ControlFile& ctl) {
  const StepPlan& plan = s.params.step_plan;
  const int32_t record = ctl.run.dt_sim.record();
  if (plan.dt_step > plan.dt_record) refuse_run(1012);
  // The rainfall step must be a whole multiple of the simulation step.
  const float ratio = plan.steps_per_record;
  if (!(ratio < 2147483648.0f)) {
    // More steps per record than a 4-byte integer counts: no run could hold them.
    ctl.refuse(record, "the time step of the records DT_RAIN = " + shortest(plan.dt_record) + " s is " +
                           shortest(ratio) + " simulation steps DT_SIM = " + shortest(plan.dt_step) +
                           " s long: the simulation step is too short");
  }
  const int32_t Q = static_cast<int32_t>(ratio);
  const int32_t R = static_cast<int32_t>(plan.dt_record - static_cast<float>(Q) * plan.dt_step);
  if (R != 0) refuse_run(1013);

  const RunKind kind = s.control.RUN_MODE == 4 ? RunKind::objective : RunKind::single;
  const float steps = RUN_STEPS_BEFORE_TRUNCATION(plan, kind);
  if (!(steps < 2147483648.0f)) {
    ctl.refuse(record, "the run would need " + shortest(steps) + " simulation steps (N_DATA " +
                           std::to_string(plan.records) + " records, DT_RAIN " + shortest(plan.dt_record) +
                           " s, DT_SIM " + shortest(plan.dt_step) + " s): the simulation step is too short");
  }
  // The discharge series hold one value per step.
  const int32_t NSTEPS = static_cast<int32_t>(steps);
  if (s.catchment.N_SECTIONS > 0 && NSTEPS > s.control.limits.records) {
    ctl.refuse(record, "the run has " + std::to_string(NSTEPS) + " simulation steps (N_DATA " +
                           std::to_string(s.forcing.N_DATA) + " records times DT_RAIN/DT_SIM = " +
                           shortest(s.forcing.DT_RAIN) + "/" + shortest(s.params.DT_SIM) +
                           "), but the discharge series at the output cross-section holds at most " +
                           std::to_string(s.control.limits.records) +
                           " steps; shorten the record or lengthen the simulation step");
  }
}

void check_output_section(const ModelState& s, const ControlFile& ctl) {
  const ControlFile::Output& o = ctl.output;
  (void)*o.marker;
  if (s.catchment.N_SECTIONS <= 0) return;
  for (int32_t k = 1; k <= s.catchment.N_SECTIONS; ++k) (void)*o.discharge_files(k);
  (void)*o.components;
  (void)*o.kind;
}

}  // namespace tarvex

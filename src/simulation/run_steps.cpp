#include "simulation/run_steps.hpp"

#include <string>

#include "io/input_error.hpp"
#include "io/text_writer.hpp"

namespace tarvex {

float RUN_STEPS_BEFORE_TRUNCATION(const StepPlan& plan, RunKind kind) {
  return kind == RunKind::single ? plan.run_steps_single : plan.run_steps_objective;
}

int32_t RUN_STEP_COUNT(const StepPlan& plan, RunKind kind) {
  const float steps = RUN_STEPS_BEFORE_TRUNCATION(plan, kind);
  if (!(steps < 2147483648.0f)) {
    throw InputError("a run of " + shortest(steps) + " simulation steps, more than a 4-byte integer counts");
  }
  return static_cast<int32_t>(steps);
}

int32_t RUN_RECORD_OF_STEP(const StepPlan& plan, RunKind kind, int32_t IT) {
  const float k = static_cast<float>(IT - 1);
  const float x =
      kind == RunKind::single ? k * plan.records_per_step + 1.0f : k * plan.dt_step / plan.dt_record + 1.0f;
  // With very short steps the sum for the last steps of a long series
  // rounds up to the record after the last one: those steps belong to the
  // last record, and the series tables end there.
  const int32_t N = static_cast<int32_t>(x);
  return N > plan.records ? plan.records : N;
}

}  // namespace tarvex

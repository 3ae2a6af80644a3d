#include "simulation/run_steps.hpp"

#include <string>

#include "io/input_error.hpp"
#include "io/text_writer.hpp"

namespace tarvex {

int32_t RUN_STEP_COUNT(const ModelState& s, RunKind kind) {
  const float n = static_cast<float>(s.N_DATA);
  const float steps = kind == RunKind::single ? n * (s.DT_RAIN / s.DT_SIM) : n * s.DT_RAIN / s.DT_SIM;
  if (!(steps < 2147483648.0f)) {
    throw InputError("the run would need " + shortest(steps) + " simulation steps (N_DATA " +
                     std::to_string(s.N_DATA) + " records, DT_RAIN " + shortest(s.DT_RAIN) + " s, DT_SIM " +
                     shortest(s.DT_SIM) + " s): the simulation step is too short");
  }
  return static_cast<int32_t>(steps);
}

int32_t RUN_RECORD_OF_STEP(const ModelState& s, RunKind kind, int32_t IT) {
  const float k = static_cast<float>(IT - 1);
  const float x = kind == RunKind::single ? k * (s.DT_SIM / s.DT_RAIN) + 1.0f : k * s.DT_SIM / s.DT_RAIN + 1.0f;
  // With very short steps the sum for the last steps of a long series
  // rounds up to the record after the last one: those steps belong to the
  // last record, and the series tables end there.
  const int32_t N = static_cast<int32_t>(x);
  return N > s.N_DATA ? s.N_DATA : N;
}

}  // namespace tarvex

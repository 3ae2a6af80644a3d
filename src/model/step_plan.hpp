#pragma once
// The step plan of a run: how the simulation steps fall on the records of
// the rain and temperature series. Computed once from the validated control
// values; every routine that needs a step count or the ratio of the steps
// reads it here. The products keep the grouping each caller has always
// used, since the last bits decide the truncated counts.
#include <cmath>
#include <cstdint>

namespace tarvex {

struct StepPlan {
  int32_t records = 0;                // N_DATA, records of the series
  float dt_record = 0.0f;             // s, DT_RAIN, step of the records
  float dt_step = 0.0f;               // s, DT_SIM, simulation step
  bool same_step = false;             // DT_RAIN == DT_SIM: one step per record, no averaging
  float steps_per_record = 0.0f;      // DT_RAIN/DT_SIM (whole to within a second once accepted)
  float records_per_step = 0.0f;      // DT_SIM/DT_RAIN, the rain factor and hour step
  double steps_per_day = 0.0;         // round(24 DT_RAIN/DT_SIM) in 8-byte reals
  float run_steps_single = 0.0f;      // N_DATA*(DT_RAIN/DT_SIM), steps of a single run before truncation
  float run_steps_objective = 0.0f;   // N_DATA*DT_RAIN/DT_SIM, steps of an objective-function run

  // The plan of N records of DT_RECORD s simulated in steps of DT_STEP s
  // (both positive).
  static StepPlan of(int32_t n, float dt_record, float dt_step) {
    StepPlan p;
    p.records = n;
    p.dt_record = dt_record;
    p.dt_step = dt_step;
    p.same_step = dt_record == dt_step;
    p.steps_per_record = dt_record / dt_step;
    p.records_per_step = dt_step / dt_record;
    p.steps_per_day = std::round(24.0 * static_cast<double>(dt_record) / static_cast<double>(dt_step));
    const float fn = static_cast<float>(n);
    p.run_steps_single = fn * p.steps_per_record;
    p.run_steps_objective = fn * dt_record / dt_step;
    return p;
  }
};

}  // namespace tarvex

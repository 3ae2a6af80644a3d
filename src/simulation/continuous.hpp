#pragma once
// The evapotranspiration of a step and the exact subsurface store of a stiff
// cell, used by the run engine's continuous runoff.
#include <cstdint>

#include "laws/continuous_store.hpp"
#include "model/model_state.hpp"

namespace tarvex {

// Evapotranspiration of month m for one step, mm per step, from the cell
// temperature T (degrees Celsius): the month's depth spread evenly over its
// records in extended precision, then the step's share, never below 0.
struct MonthlyEt {
  long double slope, b, a, offset, records_in_month;
  float DT, DT_RAIN;
  // Record depth as rate*T + base in doubles for step_depths: rate and base
  // are the nearest doubles of slope*b*a/records_in_month and
  // offset/records_in_month; double_ok is false when either is not finite
  // (or records_in_month is 0 or not finite), and then every value takes the
  // extended path.
  double rate = 0.0, base = 0.0;
  bool double_ok = false;

  MonthlyEt(const RunModel& s, int32_t m)
      : slope(s.forcing.ET_SLOPE), b(s.forcing.ET_MONTH_B(m)), a(s.forcing.ET_MONTH_A(m)), offset(s.forcing.ET_OFFSET),
        records_in_month((24.0L / (static_cast<long double>(s.forcing.DT_RAIN) / 3600.0L)) * s.forcing.DAYS_IN_MONTH(m)),
        DT(s.params.DT_SIM), DT_RAIN(s.forcing.DT_RAIN) {
    init_double_path();
  }

  float step_depth(float T) const {
    const long double e_record = (slope * T * b * a + offset) / records_in_month;
    float E = static_cast<float>(e_record);
    E = DT * E / DT_RAIN;
    if (E < 0.0f) E = 0.0f;
    return E;
  }

  // E[k] = step_depth(T[k]) bit for bit for k < n, most values through the
  // double form (SSE2, four at a time); a value whose double result is not
  // provably the same float goes through step_depth. Returns how many did.
  int32_t step_depths(const float* T, float* E, int32_t n) const;

 private:
  void init_double_path();
};

// Subsurface store over one step for a stiff cell (g*DT_SIM above the limit):
// exact solution of dq/dt = r - g*q - D from q0, held at 0 once the store runs
// dry. Q_END is the store at the end of the step and Q_MEAN its mean over the
// step, both mm. Outflows taken from Q_MEAN release exactly the recharge less
// the deficit met and the change of storage.
void SUB_STORE_EXACT(float q0, float r, float g, float D, float DT, float& Q_END, float& Q_MEAN);

}  // namespace tarvex

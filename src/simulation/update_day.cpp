#include "simulation/update_day.hpp"

#include <cmath>

namespace tarvex {

namespace {

// True when HOUR, grown by further steps of RATIO, would still land exactly on
// 24; false once the sum steps over 24 or stops growing.
bool lands_on_24(float HOUR, float RATIO) {
  for (;;) {
    const float next = HOUR + RATIO;
    if (next - 24.0f == 0.0f) return true;
    if (next > 24.0f || !(next > HOUR)) return false;
    HOUR = next;
  }
}

}  // namespace

void UPDATE_DAY(const RunModel& s, Calendar& cal) {
  float& HOUR = cal.HOUR;
  float& DAY = cal.DAY;
  int32_t& MONTH = cal.MONTH;
  int32_t& DAY_STEPS = cal.DAY_STEPS;
  const float ratio = s.params.step_plan.records_per_step;
  HOUR = HOUR + ratio;
  DAY_STEPS = DAY_STEPS + 1;

  if (!(HOUR - 24.0f == 0.0f)) {
    // Steps in 24 records (the driver admits step ratios whole to within a
    // second). Counting ends the day only for ratios whose repeated sums
    // never land on 24, such as 1/3; a sum that lags and still lands later
    // (very short steps) ends the day where it lands.
    if (!(static_cast<double>(DAY_STEPS) == s.params.step_plan.steps_per_day) || lands_on_24(HOUR, ratio)) return;
  }

  HOUR = 0.0f;  // HOUR - 24 where the sum lands on 24; a fresh day otherwise
  DAY_STEPS = 0;
  DAY = DAY + 1.0f;
  if (DAY > 365.0f) DAY = DAY - 365.0f;
  if (DAY <= 31.0f) {
    MONTH = 1;
  } else if (DAY > 334.0f) {
    MONTH = 12;
  } else {
    int32_t upper = s.forcing.DAYS_IN_MONTH(1);
    for (int32_t m = 2; m <= 11; ++m) {
      upper = upper + s.forcing.DAYS_IN_MONTH(m);
      if (DAY > static_cast<float>(s.forcing.DAYS_IN_MONTH(1)) && DAY <= static_cast<float>(upper)) {
        MONTH = m;
        break;
      }
    }
  }
}

}  // namespace tarvex


#include "simulation/update_day.hpp"

#include <cmath>

namespace tarvex {

void UPDATE_DAY(const ModelState& s, float& HOUR, float& DAY, int32_t& MONTH, int32_t& DAY_STEPS) {
  HOUR = HOUR + s.DT_SIM / s.DT_RAIN;
  DAY_STEPS = DAY_STEPS + 1;

  // Steps in 24 records. The driver admits only a rainfall step that is a
  // whole multiple of the simulation step, so this is the exact count; it
  // ends the day where the repeated sums of a ratio such as 1/3 step over 24.
  const double per_day = std::round(24.0 * static_cast<double>(s.DT_RAIN) / static_cast<double>(s.DT_SIM));
  const bool counted = static_cast<double>(DAY_STEPS) >= per_day;
  if (!(HOUR - 24.0f == 0.0f) && !counted) return;

  HOUR = 0.0f;  // HOUR - 24 where the sum lands on 24; a fresh day otherwise
  DAY_STEPS = 0;
  DAY = DAY + 1.0f;
  if (DAY > 365.0f) DAY = DAY - 365.0f;
  if (DAY <= 31.0f) {
    MONTH = 1;
  } else if (DAY > 334.0f) {
    MONTH = 12;
  } else {
    int32_t upper = s.DAYS_IN_MONTH(1);
    for (int32_t m = 2; m <= 11; ++m) {
      upper = upper + s.DAYS_IN_MONTH(m);
      if (DAY > static_cast<float>(s.DAYS_IN_MONTH(1)) && DAY <= static_cast<float>(upper)) {
        MONTH = m;
        break;
      }
    }
  }
}

}  // namespace tarvex


#pragma once
#include <cstdint>

#include "model/model_state.hpp"

namespace tarvex {

// Calendar of a continuous run. HOUR counts record steps within the day (24
// per day), DAY is the day of the year 1..365 (no leap years), MONTH 1..12.
// DAY_STEPS counts the simulation steps since the last change of day.
struct Calendar {
  float HOUR = 0.0f;
  float DAY = 0.0f;
  int32_t MONTH = 0;
  int32_t DAY_STEPS = 0;
};

// Advances the calendar by one simulation step. HOUR grows by DT_SIM/DT_RAIN;
// the day ends when HOUR - 24 is exactly 0 or, for step ratios whose 4-byte
// sums never land on 24, when DAY_STEPS reaches the steps of 24 records.
// At the end of a day DAY advances (365 wraps to 1) and MONTH follows it.
void UPDATE_DAY(const RunModel& s, Calendar& cal);

}  // namespace tarvex

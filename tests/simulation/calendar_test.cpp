// Calendar of a continuous run: hours in record steps, days, months.
#include <gtest/gtest.h>

#include "sim_state.hpp"
#include "simulation/update_day.hpp"

namespace tarvex {
namespace {

using test::sim_state;

struct Clock {
  std::unique_ptr<ModelState> s = sim_state(1, 1);
  Calendar c;
  Clock(float hour, float day, int32_t month) {
    c.HOUR = hour;
    c.DAY = day;
    c.MONTH = month;
  }
  void steps(int32_t n) {
    for (int32_t k = 0; k < n; ++k) UPDATE_DAY(*s, c);
  }
  // Takes n steps and expects the date they reach.
  void steps_to(int32_t n, float day, int32_t month, float hour) {
    steps(n);
    EXPECT_EQ(c.DAY, day);
    EXPECT_EQ(c.MONTH, month);
    EXPECT_EQ(c.HOUR, hour);
  }
};

TEST(UpdateDay, MonthChangesAtTheEndOfTheDayThatCrossesItsBound) {
  Clock k(0.0f, 58.0f, 2);
  k.steps_to(23, 58.0f, 2, 23.0f);
  k.steps_to(1, 59.0f, 2, 0.0f);
  k.steps_to(24, 60.0f, 3, 0.0f);
}

TEST(UpdateDay, YearWrapsAfterDay365) {
  Clock k(0.0f, 365.0f, 12);
  k.steps_to(23, 365.0f, 12, 23.0f);
  k.steps_to(1, 1.0f, 1, 0.0f);
}

TEST(UpdateDay, JanuaryAndDecemberBoundsAreFixedWhateverTheMonthLengths) {
  Clock k(0.0f, 31.0f, 7);
  for (int32_t m = 1; m <= 12; ++m) k.s->forcing.DAYS_IN_MONTH(m) = 30;
  k.steps(24);  // day 32: above 30 and within 30 + 30
  EXPECT_EQ(k.c.MONTH, 2);

  Clock late(0.0f, 332.0f, 7);
  for (int32_t m = 1; m <= 12; ++m) late.s->forcing.DAYS_IN_MONTH(m) = 30;
  late.steps(24);  // day 333: beyond the 330 days of months 1..11, not yet above 334
  EXPECT_EQ(late.c.MONTH, 7);
  late.steps(48);  // day 335
  EXPECT_EQ(late.c.MONTH, 12);
}

TEST(UpdateDay, SubHourlyStepsAdvanceOneDayPer24Records) {
  // 1/2 and 1/4 land on 24 exactly; 1/3, 1/5, 1/6, 1/10 and 1/12 do not.
  for (int32_t per_record : {2, 4, 3, 5, 6, 10, 12}) {
    Clock k(0.0f, 100.0f, 4);
    k.s->params.DT_SIM = 3600.0f / static_cast<float>(per_record);
    k.s->plan_steps();
    const int32_t per_day = 24 * per_record;
    k.steps(per_day - 1);
    EXPECT_EQ(k.c.DAY, 100.0f) << per_record;
    k.steps(1);
    EXPECT_EQ(k.c.DAY, 101.0f) << per_record;
    EXPECT_EQ(k.c.HOUR, 0.0f) << per_record;
    k.steps(30 * per_day);
    EXPECT_EQ(k.c.DAY, 131.0f) << per_record;
    EXPECT_EQ(k.c.MONTH, 5) << per_record;
  }
}

TEST(UpdateDay, VeryShortStepsEndTheDayWhereTheHourSumLandsOn24) {
  // DT_SIM = 0.5712 s passes the time-step check (3600 - 6302*0.5712 < 1).
  // 24 records are 151261 steps, but the 4-byte sums of DT_SIM/DT_RAIN lag
  // and land on 24 exactly after 151478 steps: that is where the day ends.
  Clock k(0.0f, 100.0f, 4);
  k.s->params.DT_SIM = 0.5712f;
  k.s->plan_steps();
  k.steps(151261);
  EXPECT_EQ(k.c.DAY, 100.0f);
  EXPECT_LT(k.c.HOUR, 24.0f);
  k.steps(151477 - 151261);
  EXPECT_EQ(k.c.DAY, 100.0f);
  k.steps(1);
  EXPECT_EQ(k.c.DAY, 101.0f);
  EXPECT_EQ(k.c.HOUR, 0.0f);

  // Sums that run ahead and land early end the day there too.
  Clock early(0.0f, 100.0f, 4);
  early.s->params.DT_SIM = 0.526f;  // 164259 steps in 24 records; lands after 164084
  early.s->plan_steps();
  early.steps(164083);
  EXPECT_EQ(early.c.DAY, 100.0f);
  early.steps(1);
  EXPECT_EQ(early.c.DAY, 101.0f);
  EXPECT_EQ(early.c.HOUR, 0.0f);
}

}  // namespace
}  // namespace tarvex

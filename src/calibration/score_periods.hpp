#pragma once
// What the search scores: a warm-up simulated but not scored, a calibration
// period (by default everything after the warm-up) and a validation period,
// the last two inclusive ISO dates FROM/TO.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarvex {

struct DatePeriod {
  std::string text;  // as given, FROM/TO
  int64_t from = 0;  // seconds from 1970-01-01, first instant inside
  int64_t end = 0;   // first instant after
  bool contains(int64_t t) const { return t >= from && t < end; }
};

// "2020-10-01/2021-03-31" (either side may be a time, which is then the last
// instant inside); nothing and error set when it is not one, or TO is
// before FROM.
std::optional<DatePeriod> parse_period(const std::string& text, std::string& error);

struct ScorePeriods {
  double warmup_days = 0.0;
  std::optional<DatePeriod> calibration;
  std::optional<DatePeriod> validation;
  bool any() const { return warmup_days > 0.0 || calibration || validation; }
};

// " warmup D calibration FROM/TO validation FROM/TO" of the periods set;
// empty when none is.
std::string periods_key(const ScorePeriods& p);

enum class RecordPeriod { none, warmup, calibration, validation };
const char* period_name(RecordPeriod p);  // "" for none

// The period of each of n records starting at start, step seconds apart.
// A record of the warm-up is in no other period; without a calibration
// period every other record is calibrated.
std::vector<RecordPeriod> record_periods(const ScorePeriods& p, int64_t start, int64_t step, int32_t n);

}  // namespace tarvex

#include "calibration/score_periods.hpp"

#include <string>

#include "io/csv_series.hpp"

namespace tarvex {

std::optional<DatePeriod> parse_period(const std::string& text, std::string& error) {
  const std::size_t slash = text.find('/');
  DatePeriod p;
  p.text = text;
  int64_t to = 0;
  if (slash == std::string::npos || !parse_iso_time(text.substr(0, slash), p.from) ||
      !parse_iso_time(text.substr(slash + 1), to)) {
    error = "the period '" + text + "' is not FROM/TO with ISO dates, e.g. 2020-10-01/2021-03-31";
    return std::nullopt;
  }
  // A date ends with its day.
  p.end = text.size() - slash - 1 == 10 ? to + 86400 : to + 1;
  if (p.end <= p.from) {
    error = "the period '" + text + "' ends before it begins";
    return std::nullopt;
  }
  return p;
}

std::string periods_key(const ScorePeriods& p) {
  std::string k;
  if (p.warmup_days > 0.0) k += " warmup " + std::to_string(p.warmup_days);
  if (p.calibration) k += " calibration " + p.calibration->text;
  if (p.validation) k += " validation " + p.validation->text;
  return k;
}

const char* period_name(RecordPeriod p) {
  switch (p) {
    case RecordPeriod::warmup: return "warmup";
    case RecordPeriod::calibration: return "calibration";
    case RecordPeriod::validation: return "validation";
    case RecordPeriod::none: break;
  }
  return "";
}

std::vector<RecordPeriod> record_periods(const ScorePeriods& p, int64_t start, int64_t step, int32_t n) {
  std::vector<RecordPeriod> out(static_cast<std::size_t>(n > 0 ? n : 0), RecordPeriod::none);
  const double warm_end = static_cast<double>(start) + p.warmup_days * 86400.0;
  for (int32_t k = 0; k < n; ++k) {
    const int64_t t = start + static_cast<int64_t>(k) * step;
    RecordPeriod& r = out[static_cast<std::size_t>(k)];
    if (static_cast<double>(t) < warm_end) {
      r = RecordPeriod::warmup;
    } else if (p.calibration ? p.calibration->contains(t) : !(p.validation && p.validation->contains(t))) {
      r = RecordPeriod::calibration;
    } else if (p.validation && p.validation->contains(t)) {
      r = RecordPeriod::validation;
    }
  }
  return out;
}

}  // namespace tarvex

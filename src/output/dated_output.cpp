#include "output/dated_output.hpp"

#include <algorithm>
#include <cmath>

#include "io/csv_series.hpp"

namespace tarvex {

bool dated_inputs(int32_t mode, const ControlFile& ctl) {
  auto csv = [](const ControlValue<std::string>& v) { return v.ok() && is_csv_name(*v); };
  if (csv(ctl.run.rain)) return true;
  if (mode >= 3 && csv(ctl.run.temperature)) return true;
  return mode == 4 && csv(ctl.observed.file);
}

void write_discharge_csv(TextWriter& out, int64_t start, int64_t step, const std::vector<float>& surface,
                         const std::vector<float>& total, int32_t records, int32_t kind, int32_t year_steps) {
  auto at = [](const std::vector<float>& v, int32_t n) { return v[static_cast<std::size_t>(n - 1)]; };
  if (kind == 1) {
    out.line("time,surface_flow,total_flow");
    for (int32_t n = 1; n <= records; ++n) {
      out.line(format_iso_time(start + (n - 1) * step) + "," + shortest(at(surface, n)) + "," +
               shortest(at(total, n)));
    }
    return;
  }
  // The windows of the text layout's annual maxima.
  out.line("year,start,total_flow");
  int32_t year = 1;
  for (int32_t i = 1; i < records; i += year_steps) {
    float qmax = -100000000.0f;
    const int32_t last = std::min(records, i + (year_steps - 1));
    for (int32_t n = i; n <= last; ++n) qmax = std::max(qmax, at(total, n));
    out.line(std::to_string(year) + "," + format_iso_time(start + (i - 1) * step) + "," + shortest(qmax));
    ++year;
  }
}

void write_outlet_csv(const std::string& name, int64_t start, int64_t step, const std::vector<float>& simulated,
                      const std::vector<float>& observed, const std::vector<std::string>& periods) {
  TextWriter out(name);
  out.line("time,simulated,observed,period");
  for (std::size_t m = 0; m < simulated.size(); ++m) {
    std::string line = format_iso_time(start + static_cast<int64_t>(m) * step) + "," + shortest(simulated[m]) + ",";
    if (m < observed.size() && !std::isnan(observed[m]) && observed[m] >= 0.0f) line += shortest(observed[m]);
    line += ",";
    if (m < periods.size()) line += periods[m];
    out.line(line);
  }
  out.close();
}

}  // namespace tarvex

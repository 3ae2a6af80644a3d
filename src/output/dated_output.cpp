#include "output/dated_output.hpp"

#include <algorithm>
#include <cmath>

#include "io/csv_series.hpp"
#include "io/text_writer.hpp"

namespace tarvex {
namespace {

std::string micrometres(double mm) {
  char b[64];
  const std::to_chars_result r = fixed_chars(b, b + sizeof b, mm, 6);
  return r.ec == std::errc() ? std::string(b, r.ptr) : std::string();
}

}  // namespace

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

std::vector<double> record_sums(const std::vector<double>& steps, int32_t records, float R) {
  std::vector<double> out;
  const auto nsteps = static_cast<int32_t>(steps.size());
  for (int32_t i = 1; i <= nsteps && static_cast<int32_t>(out.size()) < records;) {
    double d = 0.0;
    int32_t j = i;
    for (; j <= nsteps && static_cast<float>(j) <= static_cast<float>(i) + R - 1.0f; ++j) {
      d += steps[static_cast<std::size_t>(j - 1)];
    }
    out.push_back(d);
    i = std::max(j, i + 1);
  }
  return out;
}

void write_outlet_csv(const std::string& name, int64_t start, int64_t step, const std::vector<float>& simulated,
                      const std::vector<float>& observed, const std::vector<std::string>& periods,
                      const std::vector<double>& et) {
  TextWriter out(name);
  const bool with_et = !et.empty();
  out.line(with_et ? "time,simulated,observed,period,evapotranspiration_mm" : "time,simulated,observed,period");
  for (std::size_t m = 0; m < simulated.size(); ++m) {
    std::string line = format_iso_time(start + static_cast<int64_t>(m) * step) + "," + shortest(simulated[m]) + ",";
    if (m < observed.size() && !std::isnan(observed[m]) && observed[m] >= 0.0f) line += shortest(observed[m]);
    line += ",";
    if (m < periods.size()) line += periods[m];
    // Depths to a micrometre: the model's step values are sums of 4-byte
    // reals, and a monthly balance needs no more.
    if (with_et) line += "," + (m < et.size() && std::isfinite(et[m]) ? micrometres(et[m]) : std::string());
    out.line(line);
  }
  out.close();
}

}  // namespace tarvex

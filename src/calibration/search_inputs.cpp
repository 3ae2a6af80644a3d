#include "calibration/search_inputs.hpp"

#include <algorithm>

#include "io/csv_series.hpp"
#include "io/input_digest.hpp"

namespace tarvex {

std::vector<InputDigest> search_inputs(const ControlFile& ctl) {
  std::vector<InputDigest> list{{ctl.name(), "the control file", ""}};
  auto add = [&](const ControlValue<std::string>& v, const char* role) {
    if (v.ok()) {
      list.push_back(
          {*v, std::string(role) + " (record " + std::to_string(v.record()) + " of '" + ctl.name() + "')", ""});
    }
  };
  const ControlFile::Run& r = ctl.run;
  add(r.roughness, "the roughness-class file");
  add(r.directions, "the direction file");
  add(r.elevation, "the pit-free elevation file");
  add(r.area, "the contributing-area file");
  add(r.links, "the link-property file");
  add(r.curve_numbers, "the curve-number file");
  add(r.rain, "the rain file");
  add(r.temperature, "the temperature file");
  add(ctl.observed.file, "the observed discharge file");
  // The tables beside a dated series are inputs as much as the series.
  auto beside = [&](const ControlValue<std::string>& v, const char* kind, const char* role) {
    if (v.ok() && is_csv_name(*v)) list.push_back({beside_series(*v, kind).string(), role + (" of '" + *v + "'"), ""});
  };
  beside(r.rain, "stations", "the gauge positions");
  beside(r.temperature, "stations", "the station positions");
  beside(r.temperature, "et", "the evapotranspiration coefficients");
  list.push_back({"scein.dat", "the search settings", ""});
  for (InputDigest& d : list) d.digest = file_digest(d.path);
  return list;
}

int first_changed_input(const std::vector<InputDigest>& saved, const std::vector<InputDigest>& now) {
  const std::size_t n = std::min(saved.size(), now.size());
  for (std::size_t k = 0; k < n; ++k) {
    if (saved[k].path != now[k].path || saved[k].digest != now[k].digest) return static_cast<int>(k);
  }
  return saved.size() == now.size() ? -1 : static_cast<int>(n);
}

}  // namespace tarvex

#include "support/control_file.hpp"

namespace tarvex::test {

std::string ControlFileText::render() const {
  std::string t;
  auto rec = [&](const std::string& s) { t += s + "\n"; };
  auto val = [&](const std::string& label, const std::string& v) {
    rec(label);
    rec(v);
  };
  rec("Tarvex control file");
  rec("test catchment");
  rec("Observed discharge file");
  rec(obs_file);                                      // 4
  val("Header records of the observed file", obs_head);  // 5-6
  val("Number of observed values", n_obs);           // 7-8
  val("Start day month year", start);                // 9-10
  rec("DEM file");                                    // 11
  rec(dem_file);                                      // 12
  val("Number of records", n_data);                  // 13-14
  val("Time step of the records (s)", dt_rain);      // 15-16
  val("Rows and columns", ni_nj);                    // 17-18
  val("Cell sizes (m)", cell);                       // 19-20
  val("Simulation step (s)", dt_sim);                // 21-22
  val("Channel threshold area (km2)", a_channel);    // 23-24
  val("Hillslope width-to-depth ratio", wd_hill);    // 25-26
  val("Roughness classes", nclass);                  // 27-28
  val("Strickler coefficients of the classes", ks_class);  // 29-30
  val("Roughness-class file", rough_file);           // 31-32
  val("Channel WD, KS top, KS outlet", channel);     // 33-34
  val("K_SUB (m/s)", k_sub);                         // 35-36
  val("W_SUB (m)", w_sub);                           // 37-38
  val("TAU_SUB (s)", tau_sub);                       // 39-40
  val("F_SUB_CAP", f_sub_cap);                       // 41-42
  val("IA_RATIO", ia_ratio);                         // 43-44
  val("Outlet row and column", outlet);              // 45-46
  val("Impervious switch", impervious);              // 47-48
  val("Interpolation method", interp);               // 49-50
  val("Direction file", dir_file);                   // 51-52
  val("Cells exempt from pit raising", std::to_string(fixed.size()));  // 53-54
  rec("Row and column of each exempt cell");        // 55
  for (const auto& f : fixed) rec(f);
  rec(marker);                                        // 56+N
  rec(elev_file);                                     // 57+N
  val("Contributing-area file", area_file);          // 58-59+N
  val("Link-property file", link_file);              // 60-61+N
  val("Curve-number file", cn_file);                 // 62-63+N
  val("Rain file", rain_file);                       // 64-65+N
  val("Temperature file", temp_file);                // 66-67+N
  val("Number of output cross-sections", n_sections);  // 68-69+N
  rec("Row and column of each cross-section");      // 70+N
  for (const auto& s : sections) rec(s);
  rec("Output settings");
  rec("A67 output section");
  for (const auto& f : flow_files) rec(f);
  val("Flow components (1 total only, 2 surface and total)", flow_components);
  val("Output kind (1 time series, 2 annual maxima)", flow_output_kind);
  return t;
}

}  // namespace tarvex::test

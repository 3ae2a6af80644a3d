#pragma once
// Builds "Tarvex.in" texts for tests, record by record, with one label record
// before every value record.
#include <string>
#include <utility>
#include <vector>

namespace tarvex::test {

struct ControlFileText {
  std::string obs_file = "obs.txt";
  std::string obs_head = "0";
  std::string n_obs = "24";
  std::string start = "1 1 2001";      // START_DAY START_MONTH START_YEAR
  std::string dem_file = "dem.txt";
  std::string n_data = "24";
  std::string dt_rain = "3600.";
  std::string ni_nj = "3 4";
  std::string cell = "100. 100.";
  std::string dt_sim = "3600.";
  std::string a_channel = "0.05";
  std::string wd_hill = "10.";
  std::string nclass = "1";
  std::string ks_class = "5.";
  std::string rough_file = "rough.txt";
  std::string channel = "20. 30. 25.";  // WD_CHAN KS_CHAN_TOP KS_CHAN_OUT
  std::string k_sub = "0.01";
  std::string w_sub = "100.";
  std::string tau_sub = "86400.";
  std::string f_sub_cap = "2.";
  std::string ia_ratio = "0.2";
  std::string outlet = "3 4";
  std::string impervious = "0";
  std::string interp = "1";
  std::string dir_file = "dir.txt";
  std::vector<std::string> fixed = {};   // exempt cells, "row col"
  std::string marker = "A51 pit-free elevation";
  std::string elev_file = "elev.txt";
  std::string area_file = "area.txt";
  std::string link_file = "links.txt";
  std::string cn_file = "cn.txt";
  std::string rain_file = "rain.txt";
  std::string temp_file = "temp.txt";
  std::string n_sections = "1";
  std::vector<std::string> sections = {"3 4"};
  std::vector<std::string> flow_files = {"flow.out"};
  std::string flow_components = "2";
  std::string flow_output_kind = "1";

  std::string render() const;
};

}  // namespace tarvex::test

#pragma once
// Checks, after loading, the values the runs divide by or index with, so that
// a run never meets a division by zero, a non-number or an index outside a
// table. A failing check throws InputError naming the file and record.
#include <cstdint>
#include <string>

#include "model/input_limits.hpp"
#include "model/model_state.hpp"

namespace tarvex {


// Control-file records where the checked values were read.
struct ParameterRecords {
  std::string control;
  int32_t wd_hill = 0, ks_class = 0, channel = 0, outlet = 0, k_sub = 0, w_sub = 0, tau_sub = 0, f_sub_cap = 0, ia_ratio = 0;
  std::string rough_file;
};

void check_parameters(const ModelState& s, const ParameterRecords& rec);

}  // namespace tarvex

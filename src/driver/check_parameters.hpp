#pragma once
// Checks, after loading, the values the runs divide by or index with, so that
// a run never meets a division by zero, a non-number or an index outside a
// table. A failing check throws InputError naming the file and record.
#include <cstdint>
#include <string>

#include "driver/model_state.hpp"

namespace tarvex {

// Range of the positive real parameters (width-to-depth ratios, Strickler
// coefficients, subsurface parameters): anything outside is no physical value
// and would overflow or underflow 4-byte reals in the runs.
inline constexpr float MIN_PARAMETER = 1.0e-30f;
inline constexpr float MAX_PARAMETER = 1.0e30f;
// Range of the cell sizes, m.
inline constexpr float MIN_CELL_SIZE = 1.0e-3f;
inline constexpr float MAX_CELL_SIZE = 1.0e7f;

// Control-file records where the checked values were read.
struct ParameterRecords {
  std::string control;
  int32_t wd_hill = 0, ks_class = 0, channel = 0, k_sub = 0, w_sub = 0, tau_sub = 0, f_sub_cap = 0, ia_ratio = 0;
  std::string rough_file;
};

void check_parameters(const ModelState& s, const ParameterRecords& rec);

}  // namespace tarvex

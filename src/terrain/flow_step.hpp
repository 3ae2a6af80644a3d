#pragma once
// Moving along the D8 network of the terrain grids: the downstream cell of a
// cell and the length of the step, limited to the grid.
#include <cstdint>
#include <vector>

#include "model/direction_code.hpp"
#include "model/model_state.hpp"

namespace tarvex {

// Length of one step in cells: 1 cardinal, 1.4142135 diagonal.
inline constexpr float DIAGONAL_STEP = 1.4142135f;

inline float step_length(int32_t code) { return is_diagonal(code) ? DIAGONAL_STEP : 1.0f; }

// The cell that (i, j) drains into. False when the code leads nowhere: 0, a
// code that is not a direction, or a step off the grid (all treated as 0).
inline bool downstream(const Grid<int32_t>& FLOW_DIR, int32_t i, int32_t j, int32_t& in, int32_t& jn) {
  const int32_t code = FLOW_DIR(i, j);
  if (!is_flow_code(code)) return false;
  const Step d = decode_direction(code);
  in = i + d.di;
  jn = j + d.dj;
  return FLOW_DIR.contains(in, jn);
}

// Row-major index (from 0) of the downstream cell of every cell, -1 where the
// cell has no downstream cell.
inline std::vector<int32_t> downstream_index(const Grid<int32_t>& FLOW_DIR) {
  const int32_t ni = FLOW_DIR.rows(), nj = FLOW_DIR.cols();
  std::vector<int32_t> down(static_cast<std::size_t>(ni) * static_cast<std::size_t>(nj), -1);
  std::size_t k = 0;
  for (int32_t i = 1; i <= ni; ++i) {
    for (int32_t j = 1; j <= nj; ++j, ++k) {
      int32_t in = 0, jn = 0;
      if (downstream(FLOW_DIR, i, j, in, jn)) down[k] = (in - 1) * nj + (jn - 1);
    }
  }
  return down;
}

}  // namespace tarvex

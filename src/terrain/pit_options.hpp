#pragma once
// How the terrain pass removes the pits of the DEM, and its progress display.
#include <cstdint>
#include <functional>
#include <vector>

#include "model/model_state.hpp"

namespace tarvex {

enum class PitMethod {
  raise,   // cell by cell raising (UNPIT), the default
  fill,    // priority-flood filling
  breach,  // least-cost breaching, then filling what is left
};

struct TerrainOptions {
  PitMethod pits = PitMethod::raise;
  int32_t breach_length = 100;  // cells of one breach channel at most
  float breach_depth = 10.0f;   // m a breach lowers a cell at most
  bool progress = false;        // progress of the long phases on stderr
};

// Called now and then by a long kernel with the share of its work done (0..1).
using ShareDone = std::function<void(double)>;

// What a pit method changed: cells altered and the largest change, m.
struct PitChange {
  int64_t cells = 0;
  float largest = 0.0f;
};

// Cells a pit method never alters, one byte per cell in row-major order:
// the grid's edge, no-data (negative) cells and the first N_FIXED listed
// exempt cells that lie on the grid.
std::vector<uint8_t> fixed_cells(const Grid<float>& ELEVATION, int32_t N_FIXED,
                                 const Array1<int32_t, kLimits.exempt_cells>& FIXED_I,
                                 const Array1<int32_t, kLimits.exempt_cells>& FIXED_J);

// The lowest 4-byte real whose elevation, printed with one decimal as the
// elevation grids are, is one tenth above that of z: a cell set to it drains
// into a cell at z in the reals and in the written grid.
float printed_step_above(float z);

}  // namespace tarvex

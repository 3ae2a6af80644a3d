#include "terrain/mask.hpp"

#include <vector>

#include "terrain/flow_step.hpp"

namespace tarvex {

void MASK(const Grid<int32_t>& FLOW_DIR, const Grid<int32_t>& AREA_CELLS, const Grid<int32_t>& STREAM_ORDER,
          int32_t OUTLET_I, int32_t OUTLET_J, Grid<int32_t>& CATCHMENT_MASK) {
  const int32_t ni = FLOW_DIR.rows();
  const int32_t nj = FLOW_DIR.cols();
  const int32_t cells = ni * nj;
  CATCHMENT_MASK.resize(ni, nj);
  CATCHMENT_MASK.fill(0);
  int32_t* mask = CATCHMENT_MASK.data();
  const int32_t* area = AREA_CELLS.data();
  const std::vector<int32_t> down = downstream_index(FLOW_DIR);
  // Never a cell index when the outlet lies off the grid.
  const int32_t outlet = (OUTLET_I >= 1 && OUTLET_I <= ni && OUTLET_J >= 1 && OUTLET_J <= nj)
                             ? (OUTLET_I - 1) * nj + (OUTLET_J - 1)
                             : -1;

  for (int32_t source = 0; source < cells; ++source) {
    if (down[static_cast<std::size_t>(source)] < 0 || area[source] != 1) continue;
    // First pass: mark the path -1 until it ends, meets a marked path or
    // reaches the outlet. Each step marks a new cell, so the walk is bounded.
    mask[source] = -1;
    bool arrives = false;
    for (int32_t cur = source;;) {
      const int32_t d = down[static_cast<std::size_t>(cur)];
      if (d < 0 || mask[d] == -1) break;
      if (mask[d] > 0) {
        arrives = true;
        break;
      }
      mask[d] = -1;
      if (d == outlet) {
        arrives = true;
        break;
      }
      cur = d;
    }
    if (!arrives) continue;
    // Second pass: the same path becomes part of the catchment.
    mask[source] = 1;
    for (int32_t cur = source;;) {
      const int32_t d = down[static_cast<std::size_t>(cur)];
      if (d < 0 || mask[d] > 0) break;
      mask[d] = 1;
      if (d == outlet) break;
      cur = d;
    }
  }

  const int32_t* order = STREAM_ORDER.data();
  for (int32_t k = 0; k < cells; ++k) {
    if (mask[k] == 1) mask[k] = order[k];
  }
}

}  // namespace tarvex

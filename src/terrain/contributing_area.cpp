#include "terrain/contributing_area.hpp"

#include <vector>

#include "terrain/flow_step.hpp"

namespace tarvex {

// Every cell passes its whole count down once all of its inflows have passed
// theirs (upstream cells first), so each cell ends with 1 + the number of
// cells upstream of it: the counts that repeated sweeps passing pending
// counts downstream reach, in one pass. PENDING holds the inflows still
// awaited by each cell, -1 once the cell has passed its count on.
void CONTRIBUTING_AREA(const Grid<int32_t>& FLOW_DIR, Grid<int32_t>& AREA_CELLS, Grid<int32_t>& PENDING) {
  const int32_t ni = FLOW_DIR.rows(), nj = FLOW_DIR.cols();
  const std::size_t n = static_cast<std::size_t>(ni) * static_cast<std::size_t>(nj);
  const std::vector<int32_t> down = downstream_index(FLOW_DIR);
  AREA_CELLS.resize(ni, nj);
  PENDING.resize(ni, nj);
  int32_t* area = AREA_CELLS.data();
  int32_t* waiting = PENDING.data();

  for (std::size_t k = 0; k < n; ++k) {
    area[k] = 1;
    waiting[k] = 0;
  }
  for (std::size_t k = 0; k < n; ++k) {
    if (down[k] >= 0) ++waiting[down[k]];
  }
  for (std::size_t k = 0; k < n; ++k) {
    if (waiting[k] != 0) continue;  // inflows still awaited, or done already
    // Walk down from here while each cell reached has all its inflows in.
    std::size_t cur = k;
    for (;;) {
      waiting[cur] = -1;
      const int32_t d = down[cur];
      if (d < 0) break;
      area[d] += area[cur];
      if (--waiting[d] != 0) break;
      cur = static_cast<std::size_t>(d);
    }
  }
  // A cell without direction that received nothing contributes nothing.
  for (std::size_t k = 0; k < n; ++k) {
    if (down[k] < 0 && area[k] == 1) area[k] = 0;
  }
}

}  // namespace tarvex

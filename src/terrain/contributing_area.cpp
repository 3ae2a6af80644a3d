#include "terrain/contributing_area.hpp"

#include <vector>

#include "terrain/flow_step.hpp"

namespace tarvex {

// Every cell passes its whole count down once all of its inflows have passed
// theirs (upstream cells first), so each cell ends with 1 + the number of
// cells upstream of it: the counts that repeated sweeps passing pending
// counts downstream reach, in one pass. PENDING holds the inflows still
// awaited by each cell, -1 once the cell has passed its count on.
void accumulate_area(ModelState& s, Grid<int32_t>& PENDING) {
  const std::size_t n = static_cast<std::size_t>(s.NI) * static_cast<std::size_t>(s.NJ);
  const std::vector<int32_t> down = downstream_index(s);
  s.AREA_CELLS.resize(s.NI, s.NJ);
  PENDING.resize(s.NI, s.NJ);
  int32_t* area = s.AREA_CELLS.data();
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

void write_area_file(const ModelState& s, GridWriter& out) { out.rows(s.AREA_CELLS.data(), s.NI, s.NJ); }

void CONTRIBUTING_AREA(ModelState& s, GridWriter& area_file, Grid<int32_t>& PENDING) {
  accumulate_area(s, PENDING);
  write_area_file(s, area_file);
}

}  // namespace tarvex

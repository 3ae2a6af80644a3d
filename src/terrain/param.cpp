#include "terrain/param.hpp"

#include "terrain/flow_step.hpp"

namespace tarvex {

std::vector<LinkProperty> PARAM(const Grid<int32_t>& FLOW_DIR, const Grid<int32_t>& STREAM_ORDER,
                                const Grid<int32_t>& CATCHMENT_MASK, const Array1<int32_t, kLimits.paths>& LINK_ORD,
                                const Array1<int32_t, kLimits.paths>& LINK_I,
                                const Array1<int32_t, kLimits.paths>& LINK_J) {
  std::vector<LinkProperty> links;
  const int64_t max_steps = static_cast<int64_t>(FLOW_DIR.rows()) * FLOW_DIR.cols();
  for (int32_t k = 1; k <= LINK_ORD.size() && LINK_ORD(k) != -1; ++k) {
    const int32_t si = LINK_I(k);
    const int32_t sj = LINK_J(k);
    if (!CATCHMENT_MASK.contains(si, sj) || CATCHMENT_MASK(si, sj) < 0) continue;
    const int32_t O = LINK_ORD(k);
    // Walk the whole segment of order O, through junctions with lower orders.
    float LEN = 0.0f;
    int32_t i = si;
    int32_t j = sj;
    for (int64_t steps = 0; steps < max_steps && STREAM_ORDER(i, j) == O; ++steps) {
      int32_t in = 0, jn = 0;
      if (!downstream(FLOW_DIR, i, j, in, jn)) break;
      LEN = LEN + step_length(FLOW_DIR(i, j));
      i = in;
      j = jn;
    }
    links.push_back({si, sj, i, j, O, LEN});
  }
  return links;
}

}  // namespace tarvex

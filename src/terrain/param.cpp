#include "terrain/param.hpp"

#include <string>

#include "terrain/flow_step.hpp"

namespace tarvex {

void PARAM(const ModelState& s, TextWriter& out) {
  out.line("   IIN JIN   IFIN JFIN  ORD   LEN");
  const int64_t max_steps = static_cast<int64_t>(s.NI) * s.NJ;
  for (int32_t k = 1; k <= s.LINK_ORD.size() && s.LINK_ORD(k) != -1; ++k) {
    const int32_t si = s.LINK_I(k);
    const int32_t sj = s.LINK_J(k);
    if (!s.CATCHMENT_MASK.contains(si, sj) || s.CATCHMENT_MASK(si, sj) < 0) continue;
    const int32_t O = s.LINK_ORD(k);
    // Walk the whole segment of order O, through junctions with lower orders.
    float LEN = 0.0f;
    int32_t i = si;
    int32_t j = sj;
    for (int64_t steps = 0; steps < max_steps && s.STREAM_ORDER(i, j) == O; ++steps) {
      int32_t in = 0, jn = 0;
      if (!downstream(s, i, j, in, jn)) break;
      LEN = LEN + step_length(s.FLOW_DIR(i, j));
      i = in;
      j = jn;
    }
    std::string line = " ";
    put_int(line, si, 4);
    line.push_back(' ');
    put_int(line, sj, 4);
    line.append("  ");
    put_int(line, i, 4);
    line.push_back(' ');
    put_int(line, j, 4);
    line.push_back(' ');
    put_int(line, O, 4);
    line.push_back(' ');
    put_fixed(line, LEN, 6, 1);
    out.line(line);
  }
}

}  // namespace tarvex

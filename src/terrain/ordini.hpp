#pragma once
#include <cstdint>

#include "model/model_state.hpp"

namespace tarvex {

// Working codes of STREAM_ORDER while the network is ordered.
inline constexpr int32_t JUNCTION_BASE = 1000;  // k + 1000: junction reached by an order-k link
inline constexpr int32_t SINK_MARK = -1000;     // cell without direction where a link ended

// Receives the links as the ordering traces them (the temporary link list).
struct LinkTrace {
  virtual ~LinkTrace() = default;
  // The first sweep of order ORDER begins.
  virtual void order(int32_t ORDER) = 0;
  // A link from (IIN, JIN) to the junction or sink (IFIN, JFIN), LEN cells.
  virtual void link(int32_t IIN, int32_t JIN, int32_t IFIN, int32_t JFIN, int32_t ORDER, float LEN) = 0;
};

// The stream-start table ORDINI fills: order and start cell of each stream,
// ended by LINK_ORD = -1.
struct LinkTable {
  Array1<int32_t, kLimits.paths>& LINK_ORD;
  Array1<int32_t, kLimits.paths>& LINK_I;
  Array1<int32_t, kLimits.paths>& LINK_J;
};

// Strahler ordering of the D8 network (FLOW_DIR, AREA_CELLS): traces the
// links order by order, passing each to trace (if not null), resolves the
// junctions, fills STREAM_ORDER with the final orders (the outlet cell
// (OUTLET_I, OUTLET_J) takes the highest order) and the stream-start table.
// When a start past MAX_LINKS would be needed it sets LINK_OVERFLOW = 1 and
// returns at once (STREAM_ORDER holds working codes, no end marker).
// Expects AREA_CELLS computed from the same FLOW_DIR.
void ORDINI(const Grid<int32_t>& FLOW_DIR, const Grid<int32_t>& AREA_CELLS, int32_t OUTLET_I, int32_t OUTLET_J,
            int32_t MAX_LINKS, Grid<int32_t>& STREAM_ORDER, LinkTable table, int32_t& LINK_OVERFLOW,
            LinkTrace* trace);

}  // namespace tarvex

#pragma once
#include <cstdint>

#include "model/model_state.hpp"
#include "io/grid_file.hpp"
#include "io/text_writer.hpp"

namespace tarvex {

// Working codes of STREAM_ORDER while the network is ordered.
inline constexpr int32_t JUNCTION_BASE = 1000;  // k + 1000: junction reached by an order-k link
inline constexpr int32_t SINK_MARK = -1000;     // cell without direction where a link ended

// Strahler ordering of the D8 network (FLOW_DIR, AREA_CELLS): traces the
// links order by order, writing each to the temporary link list, resolves
// the junctions, fills STREAM_ORDER with the final orders and the stream-start
// table LINK_ORD/LINK_I/LINK_J (ended by LINK_ORD = -1), and writes the order
// grid. When a 10001st start would be needed it sets LINK_OVERFLOW = 1 and
// returns at once (no order grid, no end marker). A null writer skips that
// file. Expects AREA_CELLS computed from the same FLOW_DIR.
void ORDINI(ModelState& s, GridWriter* river_order, TextWriter* temp_links);

}  // namespace tarvex

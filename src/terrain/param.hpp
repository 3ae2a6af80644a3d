#pragma once
#include <cstdint>
#include <vector>

#include "model/model_state.hpp"

namespace tarvex {

// One Strahler stream of the link-property file: start cell, end cell (the
// first cell downstream whose order differs, or the cell without direction
// where the stream ends), order and length in cells.
struct LinkProperty {
  int32_t IIN, JIN, IFIN, JFIN, ORD;
  float LEN;
};

// The streams of the stream-start table (LINK_ORD/LINK_I/LINK_J, ended by
// LINK_ORD = -1) whose start cell is not marked -1 in CATCHMENT_MASK, in
// table order.
std::vector<LinkProperty> PARAM(const Grid<int32_t>& FLOW_DIR, const Grid<int32_t>& STREAM_ORDER,
                                const Grid<int32_t>& CATCHMENT_MASK, const Array1<int32_t, kLimits.paths>& LINK_ORD,
                                const Array1<int32_t, kLimits.paths>& LINK_I,
                                const Array1<int32_t, kLimits.paths>& LINK_J);

}  // namespace tarvex

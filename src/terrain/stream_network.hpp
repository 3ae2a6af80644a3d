#pragma once
// The links of the terrain pass as GIS lines, and the terrain pass's
// optional GIS outputs (--streams, --grids).
#include <cstdint>
#include <vector>

#include "io/ascii_grid.hpp"
#include "io/stream_vectors.hpp"
#include "model/model_state.hpp"
#include "terrain/param.hpp"

namespace tarvex {

// One line per link of links (the link-property file, id k = its k-th
// line), through the centres of its cells from its start cell to the cell
// it ends at (the junction it flows into, or the cell without direction
// where the network ends), placed with geo (geo.cellsize the cell side in
// metres). Length: the link's length in cells times the cell side. Area:
// contributing area of its last own cell. Downstream link: the link the
// end cell belongs to, 0 when the link ends where the network does.
std::vector<StreamLine> stream_lines(const Grid<int32_t>& FLOW_DIR, const Grid<int32_t>& STREAM_ORDER,
                                     const Grid<int32_t>& AREA_CELLS, const std::vector<LinkProperty>& links,
                                     const GeoReference& geo);

}  // namespace tarvex

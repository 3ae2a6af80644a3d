#pragma once
// What the terrain pass adds for GIS users: the refusal of a DEM in degrees,
// the vector file of the links (--streams) and the georeferenced copy of
// "RiverOrder.out" (--grids).
#include <vector>

#include "io/control_file.hpp"
#include "io/grid_file.hpp"
#include "model/model_state.hpp"
#include "terrain/param.hpp"

namespace tarvex {

// Throws InputError when the DEM's georeference is in degrees (see
// degree_dem_refusal); a DEM without georeference (the text layout) never is.
void refuse_dem_in_degrees(const GridReader& dem, const ControlFile::Terrain& t);

// Georeference of the GIS outputs: the DEM's, or corner (0, 0) and CELL_DX
// of record 20. Empty when no GIS output is asked for.
GeoReference terrain_gis_georeference(const GridReader& dem, const ControlFile::Terrain& t);

// Writes the GIS outputs asked for (gis_outputs()) from the final grids and
// the links of the link-property file.
void write_terrain_gis_outputs(const Grid<int32_t>& FLOW_DIR, const Grid<int32_t>& STREAM_ORDER,
                               const Grid<int32_t>& AREA_CELLS, const std::vector<LinkProperty>& links,
                               const GeoReference& geo);

}  // namespace tarvex

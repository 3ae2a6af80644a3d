#pragma once
#include <cstdint>

#include "model/model_state.hpp"
#include "io/control_file.hpp"
#include "io/grid_file.hpp"

namespace tarvex {

// Reads the DEM, removes its pits (UNPIT), writes the pit-free elevation
// file and computes and writes the D8 directions. The exempt cells and the
// pit-free elevation file name come from the control file. Messages 1019
// and 1002 throw RunRefused before anything is written.
void FLOW_DIRECTIONS(ModelState& s, GridReader& dem, GridWriter& direction_file, const ControlFile& ctl);

// Reads NI rows of NJ elevations (m) into ELEVATION; every negative value
// becomes the no-data value -1.0.
void read_dem(ModelState& s, GridReader& dem);

// Georeference of the grids the terrain pass writes: the DEM's, or when it
// has none and a GIS grid is written, corner (0, 0) and CELL_DX of record 20.
GeoReference terrain_georeference(const GridReader& dem, const ControlFile::Terrain& t);

// Highest elevation of the grid (at least -1000.0) plus 100.0, m.
float elevation_ceiling(const ModelState& s);

// D8 code of every cell from ELEVATION into FLOW_DIR.
void set_flow_directions(ModelState& s);

// Grid files: elevations in 10 columns with one decimal, codes in 2 columns,
// at most 945 values per line.
void write_elevation_file(const ModelState& s, GridWriter& out);
void write_direction_file(const ModelState& s, GridWriter& out);

}  // namespace tarvex

#pragma once
// Georeference of the result grids of a single run, for their GIS copies
// (--grids).
#include "io/ascii_grid.hpp"
#include "io/control_file.hpp"

namespace tarvex {

// The georeference of the run's terrain grids, which the terrain pass wrote
// with the DEM's: the first of the pit-free elevation, direction and
// contributing-area files that is a GIS grid; else corner (0, 0) and cell
// size cell_dx (record 20), with the projection of a .prj beside the
// elevation file.
GeoReference run_georeference(const ControlFile::Run& run, float cell_dx);

}  // namespace tarvex

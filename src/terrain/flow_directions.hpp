#pragma once
#include <cstdint>

#include "driver/model_state.hpp"
#include "io/record_reader.hpp"
#include "io/text_writer.hpp"

namespace tarvex {

// Reads the DEM, removes its pits (UNPIT), writes the pit-free elevation
// file and computes and writes the D8 directions. The control file is read
// on from record 53: the exempt cells and the pit-free elevation file name.
// On message 1019 or 1002 it sets TERRAIN_ERR = 1 and writes nothing.
void FLOW_DIRECTIONS(ModelState& s, RecordReader& dem, TextWriter& direction_file, int32_t& TERRAIN_ERR,
                     RecordReader& control);

// Reads NI rows of NJ elevations (m) into ELEVATION; every negative value
// becomes the no-data value -1.0.
void read_dem(ModelState& s, RecordReader& dem);

// Highest elevation of the grid (at least -1000.0) plus 100.0, m.
float elevation_ceiling(const ModelState& s);

// D8 code of every cell from ELEVATION into FLOW_DIR.
void set_flow_directions(ModelState& s);

// Grid files: elevations in 10 columns with one decimal, codes in 2 columns,
// at most 945 values per line.
void write_elevation_file(const ModelState& s, TextWriter& out);
void write_direction_file(const ModelState& s, TextWriter& out);

}  // namespace tarvex

#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "io/control_file.hpp"
#include "io/grid_file.hpp"
#include "io/text_writer.hpp"
#include "model/model_state.hpp"
#include "terrain/ordini.hpp"
#include "terrain/param.hpp"
#include "terrain/pit_options.hpp"

namespace tarvex {

// Terrain preprocessing (run mode 1): from the DEM named in the control file
// to the direction, pit-free elevation, contributing-area and link-property
// files. The kernels work on the grids of s; the files are read and written
// here. A numbered failure throws RunRefused (the message printed). opt
// chooses the pit method and the progress display.
void MOD1(ModelState& s, const ControlFile& ctl, const TerrainOptions& opt = {});

// Reads the rows of ELEVATION (m) from the DEM; every negative value becomes
// the no-data value -1.0.
void read_dem(GridReader& dem, Grid<float>& ELEVATION, const ShareDone& progress = {});

// Georeference of the grids the terrain pass writes: the DEM's, or when it
// has none and a GIS grid is written, corner (0, 0) and CELL_DX of record 20.
GeoReference terrain_georeference(const GridReader& dem, const ControlFile::Terrain& t);

// Writes every row of a grid to an open grid file.
template <class T>
void write_grid(GridWriter& out, const Grid<T>& g) {
  out.rows(g.data(), g.rows(), g.cols());
}

// The temporary link list: each order's header, then one line per link.
class LinkListFile : public LinkTrace {
 public:
  explicit LinkListFile(TextWriter& out) : out_(out) {}
  void order(int32_t ORDER) override;
  void link(int32_t IIN, int32_t JIN, int32_t IFIN, int32_t JFIN, int32_t ORDER, float LEN) override;

 private:
  TextWriter& out_;
  std::string line_;  // the line being written, its room kept from link to link
};

// The link-property file: a header line, then one line per stream.
void write_link_properties(TextWriter& out, const std::vector<LinkProperty>& links);

}  // namespace tarvex

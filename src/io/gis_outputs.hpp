#pragma once
// The optional GIS outputs of a pass, chosen on the command line: the stream
// network as vector lines (terrain pass) and a georeferenced copy of each
// fixed-name result grid. Process-wide: the driver sets them once, before
// the pass.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "io/ascii_grid.hpp"
#include "io/grid_file.hpp"

namespace tarvex {

struct GisOutputs {
  std::string streams;                // vector file of the links, empty for none
  std::optional<GridFormat> grids;    // ascii or geotiff copies of the result grids
};

void set_gis_outputs(GisOutputs outputs);
const GisOutputs& gis_outputs();

// Throws InputError when this build cannot write what outputs asks for
// (vector files and GeoTIFF copies need GDAL).
void check_gis_outputs(const GisOutputs& outputs);

// "RiverOrder.out" -> "RiverOrder.asc" (ascii) or "RiverOrder.tif" (geotiff).
std::filesystem::path result_grid_copy_name(const std::filesystem::path& out, GridFormat format);

// Writes, when copies are asked for, the georeferenced copy of the result
// grid out (ni x nj values, row-major) beside it, with the layout's decimals
// and no-data value and geo (and its .prj beside an ASCII grid).
template <class T>
void write_result_grid_copy(const std::filesystem::path& out, const T* values, int32_t ni, int32_t nj,
                            const GridLayout& layout, const GeoReference& geo) {
  const GisOutputs& o = gis_outputs();
  if (!o.grids) return;
  GridWriter copy(result_grid_copy_name(out, *o.grids), layout, geo);
  copy.rows(values, ni, nj);
  copy.close();
}

}  // namespace tarvex

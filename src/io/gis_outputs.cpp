#include "io/gis_outputs.hpp"

#include "io/geotiff.hpp"
#include "io/input_error.hpp"
#include "io/stream_vectors.hpp"

namespace tarvex {
namespace {
GisOutputs g_outputs;
}

void set_gis_outputs(GisOutputs outputs) { g_outputs = std::move(outputs); }

const GisOutputs& gis_outputs() { return g_outputs; }

void check_gis_outputs(const GisOutputs& outputs) {
  if (!outputs.streams.empty() && !stream_vectors_available()) {
    throw InputError(stream_vectors_unavailable_message(outputs.streams));
  }
  if (outputs.grids == GridFormat::geotiff && !geotiff_available()) {
    throw InputError("option --grids tif: GeoTIFF grids need a build with GDAL (libgdal-dev); this build has none");
  }
}

std::filesystem::path result_grid_copy_name(const std::filesystem::path& out, GridFormat format) {
  std::filesystem::path p = out;
  p.replace_extension(format == GridFormat::geotiff ? ".tif" : ".asc");
  return p;
}

}  // namespace tarvex

#include "terrain/terrain_gis.hpp"

#include <cmath>

#include "io/degree_dem.hpp"
#include "io/gis_outputs.hpp"
#include "io/input_error.hpp"
#include "io/stream_vectors.hpp"
#include "terrain/stream_network.hpp"

namespace tarvex {

void refuse_dem_in_degrees(const GridReader& dem, const ControlFile::Terrain& t) {
  const GeoReference& g = dem.geo();
  if (!g.known) return;
  // Without a coordinate system, degree-like cells are named only where the
  // cell size disagrees with record 20 and the DEM is refused anyway.
  bool disagrees = false;
  if (t.cell_size.ok()) {
    for (const float e : {t.cell_size->first, t.cell_size->second}) {
      disagrees = disagrees || std::abs(g.cellsize - static_cast<double>(e)) > 1e-6 * std::abs(static_cast<double>(e));
    }
  }
  const double half = g.center ? 0.5 * g.cellsize : 0.0;
  const GridPlace place{g.x_ll - half, g.y_ll - half, g.cellsize, g.cellsize, t.grid->i, t.grid->j};
  if (auto m = degree_dem_refusal(dem.name(), place, g.prj, disagrees)) throw InputError(*m);
}

GeoReference terrain_gis_georeference(const GridReader& dem, const ControlFile::Terrain& t) {
  const GisOutputs& o = gis_outputs();
  if (o.streams.empty() && !o.grids) return {};
  if (dem.geo().known) return dem.geo();
  return output_georeference(dem.geo(), t.cell_size->first);
}

void write_terrain_gis_outputs(const Grid<int32_t>& FLOW_DIR, const Grid<int32_t>& STREAM_ORDER,
                               const Grid<int32_t>& AREA_CELLS, const std::vector<LinkProperty>& links,
                               const GeoReference& geo) {
  const GisOutputs& o = gis_outputs();
  write_result_grid_copy("RiverOrder.out", STREAM_ORDER.data(), STREAM_ORDER.rows(), STREAM_ORDER.cols(), kOrderGrid,
                         geo);
  if (!o.streams.empty()) {
    write_stream_vectors(o.streams, stream_lines(FLOW_DIR, STREAM_ORDER, AREA_CELLS, links, geo), geo.prj);
  }
}

}  // namespace tarvex

#include "output/result_grid_copies.hpp"

#include <optional>

#include "io/grid_file.hpp"

namespace tarvex {

GeoReference run_georeference(const ControlFile::Run& run, float cell_dx) {
  std::string prj;
  bool first = true;
  for (const ControlValue<std::string>* g : {&run.elevation, &run.directions, &run.area}) {
    if (!g->ok()) continue;
    std::optional<GridReader> r = GridReader::try_open(**g);
    if (!r) continue;
    if (r->geo().known) return r->geo();
    if (first) prj = r->geo().prj;
    first = false;
  }
  GeoReference none;
  none.prj = prj;
  return output_georeference(none, cell_dx);
}

}  // namespace tarvex

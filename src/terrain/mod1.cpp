#include "terrain/mod1.hpp"

#include <optional>
#include <string>

#include "model/warn_error.hpp"
#include "io/grid_file.hpp"
#include "io/output_commit.hpp"
#include "io/memory_check.hpp"
#include "model/memory_estimate.hpp"
#include "io/text_writer.hpp"
#include "terrain/contributing_area.hpp"
#include "terrain/flow_directions.hpp"
#include "terrain/mask.hpp"
#include "terrain/ordini.hpp"
#include "terrain/param.hpp"

namespace tarvex {

namespace {
constexpr const char* kTempLinks = "LinkProperties_temp.out";
}

void MOD1(ModelState& s, const ControlFile& ctl) {
  const ControlFile::Terrain& t = ctl.terrain;
  std::optional<GridReader> dem = GridReader::try_open(*t.dem);
  if (!dem) refuse_run(1001);

  const int32_t ni = t.grid->i, nj = t.grid->j;
  if (ni > s.limits.grid_side || nj > s.limits.grid_side) refuse_run(1018);
  if (ni < 1 || nj < 1) {
    ctl.refuse(t.grid.record(), "the grid size NI = " + std::to_string(ni) + ", NJ = " + std::to_string(nj) +
                                    " must be at least 1 by 1");
  }
  s.NI = ni;
  s.NJ = nj;
  s.OUTLET_I = t.outlet->i;
  s.OUTLET_J = t.outlet->j;
  GridExpect expect{ni, nj, ctl.name(), t.grid.record()};
  if (t.cell_size.ok()) {
    expect.cell_dx = t.cell_size->first;
    expect.cell_dy = t.cell_size->second;
    expect.cell_record = t.cell_size.record();
  }
  // The grids are sized from the control file: a DEM that cannot hold them,
  // or grids memory cannot, are refused before they are taken.
  dem->expect(expect);
  if (s.limits.fit_to_data) {
    check_grid_file_size(*t.dem, ni, nj, ctl.name(), t.grid.record());
    auto gis = [](const ControlValue<std::string>& v) {
      return v.ok() && grid_format(*v) != GridFormat::text ? 1 : 0;
    };
    const int gis_outputs = gis(t.directions) + gis(t.elevation) + gis(t.area);
    check_memory(terrain_pass_bytes(static_cast<int64_t>(ni) * nj, gis(t.dem), gis_outputs),
                 "the terrain pass over " + std::to_string(ni) + " x " + std::to_string(nj) + " cells (record " +
                     std::to_string(t.grid.record()) + " of '" + ctl.name() + "')");
  }
  s.size_terrain_grids(ni, nj);
  const GeoReference geo = terrain_georeference(*dem, t);

  GridWriter direction_file(*t.directions, kDirectionGrid, geo);
  FLOW_DIRECTIONS(s, *dem, direction_file, ctl);

  {
    GridWriter area_file(*t.area, kAreaGrid, geo);
    CONTRIBUTING_AREA(s, area_file, s.STREAM_ORDER);
    area_file.close();
  }

  GridWriter river_order("RiverOrder.out", kOrderGrid);
  TextWriter temp_links(kTempLinks);
  ORDINI(s, &river_order, &temp_links);
  river_order.close();
  if (s.LINK_OVERFLOW == 1) {
    // The temporary list is what this refusal leaves, as its message says;
    // the other outputs of the pass are dropped with it.
    temp_links.close();
    commit_output(kTempLinks);
    refuse_run(1003);
  }

  MASK(s);

  {
    TextWriter link_file(*t.links);
    PARAM(s, link_file);
    link_file.close();
  }

  temp_links.close();
  remove_output(kTempLinks);
  direction_file.close();
}

}  // namespace tarvex

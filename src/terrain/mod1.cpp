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
#include "terrain/terrain_gis.hpp"
#include "terrain/pit_removal.hpp"
#include "terrain/terrain_progress.hpp"

namespace tarvex {

namespace {
constexpr const char* kTempLinks = "LinkProperties_temp.out";
}

void read_dem(GridReader& dem, Grid<float>& ELEVATION, const ShareDone& progress) {
  const int32_t nj = ELEVATION.cols();
  for (int32_t i = 1; i <= ELEVATION.rows(); ++i) {
    if (progress && i % 64 == 0) progress(static_cast<double>(i) / ELEVATION.rows());
    float* row = ELEVATION.row(i);
    dem.row(row, nj, "row " + std::to_string(i) + " of the DEM (" + std::to_string(nj) + " elevations)", -1.0f);
    for (int32_t j = 0; j < nj; ++j) {
      if (row[j] < 0.0f) row[j] = -1.0f;
    }
  }
}

GeoReference terrain_georeference(const GridReader& dem, const ControlFile::Terrain& t) {
  auto gis = [](const ControlValue<std::string>& v) { return v.ok() && grid_format(*v) != GridFormat::text; };
  if (dem.geo().known || !(gis(t.elevation) || gis(t.directions) || gis(t.area))) return dem.geo();
  return output_georeference(dem.geo(), t.cell_size->first);
}

void LinkListFile::order(int32_t ORDER) {
  std::string line = " Order ";
  put_int(line, ORDER, 2);
  out_.line(line);
  out_.line("  IIN JIN IFIN JFIN  ORD    LEN       ");
}

void LinkListFile::link(int32_t IIN, int32_t JIN, int32_t IFIN, int32_t JFIN, int32_t ORDER, float LEN) {
  std::string& line = line_;
  line.clear();
  put_int(line, IIN, 4);
  put_int(line, JIN, 4);
  line.push_back(' ');
  put_int(line, IFIN, 4);
  put_int(line, JFIN, 4);
  line.push_back(' ');
  put_int(line, ORDER, 4);
  line.push_back(' ');
  put_fixed(line, LEN, 13, 1);
  out_.line(line);
}

void write_link_properties(TextWriter& out, const std::vector<LinkProperty>& links) {
  out.line("   IIN JIN   IFIN JFIN  ORD   LEN");
  for (const LinkProperty& p : links) {
    std::string line = " ";
    put_int(line, p.IIN, 4);
    line.push_back(' ');
    put_int(line, p.JIN, 4);
    line.append("  ");
    put_int(line, p.IFIN, 4);
    line.push_back(' ');
    put_int(line, p.JFIN, 4);
    line.push_back(' ');
    put_int(line, p.ORD, 4);
    line.push_back(' ');
    put_fixed(line, p.LEN, 6, 1);
    out.line(line);
  }
}

namespace {

// Writes a grid row by row, showing the share written.
template <class T>
void write_grid(GridWriter& out, const Grid<T>& g, TerrainProgress& progress) {
  for (int32_t i = 1; i <= g.rows(); ++i) {
    out.row(g.row(i), g.cols());
    if (i % 64 == 0) progress.share(static_cast<double>(i) / g.rows());
  }
}

}  // namespace

void MOD1(ModelState& s, const ControlFile& ctl, const TerrainOptions& opt) {
  TerrainProgress progress(opt.progress);
  const ControlFile::Terrain& t = ctl.terrain;
  std::optional<GridReader> dem = GridReader::try_open(*t.dem);
  if (!dem) refuse_run(1001);

  const int32_t ni = t.grid->i, nj = t.grid->j;
  if (ni > s.control.limits.grid_side || nj > s.control.limits.grid_side) refuse_run(1018);
  if (ni < 1 || nj < 1) {
    ctl.refuse(t.grid.record(), "the grid size NI = " + std::to_string(ni) + ", NJ = " + std::to_string(nj) +
                                    " must be at least 1 by 1");
  }
  s.catchment.NI = ni;
  s.catchment.NJ = nj;
  s.catchment.OUTLET_I = t.outlet->i;
  s.catchment.OUTLET_J = t.outlet->j;
  GridExpect expect{ni, nj, ctl.name(), t.grid.record()};
  if (t.cell_size.ok()) {
    expect.cell_dx = t.cell_size->first;
    expect.cell_dy = t.cell_size->second;
    expect.cell_record = t.cell_size.record();
  }
  // The grids are sized from the control file: a DEM that cannot hold them,
  // or grids memory cannot, are refused before they are taken.
  refuse_dem_in_degrees(*dem, t);
  dem->expect(expect);
  if (s.control.limits.fit_to_data) {
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
  const GeoReference gis_geo = terrain_gis_georeference(*dem, t);

  // Files are opened in the order of the pass, so that a file that cannot
  // be created stops it at the same point.
  GridWriter direction_file(*t.directions, kDirectionGrid, geo);
  progress.phase("reading the DEM");
  read_dem(*dem, s.catchment.ELEVATION, progress.meter());
  const int32_t N_FIXED = *t.n_exempt;
  if (N_FIXED > s.control.limits.exempt_cells) refuse_run(1019);
  Array1<int32_t, kLimits.exempt_cells> FIXED_I, FIXED_J;
  FIXED_I.grow(N_FIXED);
  FIXED_J.grow(N_FIXED);
  for (int32_t k = 1; k <= N_FIXED; ++k) {
    const Cell& c = *t.exempt(k);
    FIXED_I(k) = c.i;
    FIXED_J(k) = c.j;
  }
  remove_pits(s.catchment.ELEVATION, N_FIXED, FIXED_I, FIXED_J, s.catchment.FLOW_DIR, opt, progress);
  {
    GridWriter elevation_file(*t.elevation, kElevationGrid, geo);
    progress.phase("writing the elevations");
    write_grid(elevation_file, s.catchment.ELEVATION, progress);
    progress.phase("writing the directions");
    write_grid(direction_file, s.catchment.FLOW_DIR, progress);
    elevation_file.close();
  }

  {
    GridWriter area_file(*t.area, kAreaGrid, geo);
    progress.phase("contributing areas");
    progress.share(0.0);
    CONTRIBUTING_AREA(s.catchment.FLOW_DIR, s.catchment.AREA_CELLS, s.catchment.STREAM_ORDER);
    progress.phase("writing the areas");
    write_grid(area_file, s.catchment.AREA_CELLS, progress);
    area_file.close();
  }
  progress.phase("stream orders and links");
  progress.share(0.0);

  GridWriter river_order("RiverOrder.out", kOrderGrid);
  TextWriter temp_links(kTempLinks);
  LinkListFile link_list(temp_links);
  ORDINI(s.catchment.FLOW_DIR, s.catchment.AREA_CELLS, s.catchment.OUTLET_I, s.catchment.OUTLET_J, s.control.limits.paths, s.catchment.STREAM_ORDER,
         {s.catchment.LINK_ORD, s.catchment.LINK_I, s.catchment.LINK_J}, s.catchment.LINK_OVERFLOW, &link_list);
  if (s.catchment.LINK_OVERFLOW == 0) write_grid(river_order, s.catchment.STREAM_ORDER);
  river_order.close();
  if (s.catchment.LINK_OVERFLOW == 1) {
    // The temporary list is what this refusal leaves, as its message says;
    // the other outputs of the pass are dropped with it.
    temp_links.close();
    commit_output(kTempLinks);
    refuse_run(1003);
  }

  MASK(s.catchment.FLOW_DIR, s.catchment.AREA_CELLS, s.catchment.STREAM_ORDER, s.catchment.OUTLET_I, s.catchment.OUTLET_J, s.catchment.CATCHMENT_MASK);

  {
    TextWriter link_file(*t.links);
    const std::vector<LinkProperty> links =
        PARAM(s.catchment.FLOW_DIR, s.catchment.STREAM_ORDER, s.catchment.CATCHMENT_MASK, s.catchment.LINK_ORD, s.catchment.LINK_I, s.catchment.LINK_J);
    write_link_properties(link_file, links);
    link_file.close();
    write_terrain_gis_outputs(s.catchment.FLOW_DIR, s.catchment.STREAM_ORDER, s.catchment.AREA_CELLS, links, gis_geo);
  }

  temp_links.close();
  remove_output(kTempLinks);
  progress.phase("writing the files");
  progress.share(0.0);
  direction_file.close();
  progress.end();
}

}  // namespace tarvex

#include "load/read_param.hpp"

#include <cmath>
#include <vector>
#include <string>

#include "load/check_parameters.hpp"
#include "load/run_checks.hpp"
#include "model/warn_error.hpp"
#include "model/input_limits.hpp"
#include "load/csv_forcing.hpp"
#include "load/input_rain.hpp"
#include "load/input_temp.hpp"
#include "load/slope_comp.hpp"
#include "load/soil_storativity.hpp"
#include "io/control_file.hpp"
#include "io/grid_file.hpp"
#include "io/memory_check.hpp"
#include "model/memory_estimate.hpp"
#include "io/record_reader.hpp"
#include "io/text_writer.hpp"

namespace tarvex {
namespace {

// Opens a grid file named in the control file and reads NI rows of NJ values;
// refuses the run with message `missing` when the file cannot be opened.
// A GIS grid must match NI x NJ and the cell sizes; its no-data cells read
// as nodata.
// Returns the grid's georeference (known false for the text layout).
template <class T>
GeoReference read_grid_file(const std::string& name, Grid<T>& g, const GridExpect& expect, const char* what,
                            int32_t missing, T nodata) {
  auto f = GridReader::try_open(name, &expect);
  if (!f) refuse_run(missing);
  f->rows(g.data(), expect.ni, expect.nj, what, nodata);
  return f->geo();
}

// Elevations the runs use: catchment cells (channel roughness, cell
// temperature) and link ends (slopes).
void check_path_elevations(const ModelState& s, const std::string& elev_name) {
  auto check = [&](int32_t I, int32_t J) {
    const float z = s.catchment.ELEVATION(I, J);
    if (!(std::fabs(z) <= MAX_ELEVATION)) {
      throw InputError("file '" + elev_name + "': row " + std::to_string(I) + ", column " + std::to_string(J) +
                       ": the elevation " + shortest(z) + " m of a cell of the stream network lies outside -" +
                       shortest(MAX_ELEVATION) + " to " + shortest(MAX_ELEVATION) + " m");
    }
  };
  for (int32_t I = 1; I <= s.catchment.NI; ++I) {
    for (int32_t J = 1; J <= s.catchment.NJ; ++J) {
      if (s.catchment.SLOPE(I, J) > 0.0f) check(I, J);
    }
  }
  for (int32_t p = 1; p <= s.catchment.NPATH; ++p) check(s.catchment.IFIN(p), s.catchment.JFIN(p));
}

// With the capacities lifted the grids are sized from the control file: grid
// files that cannot hold NI x NJ values, or a state memory cannot hold, are
// refused before it is taken.
void check_pass_memory(const ModelState& s, const ControlFile& ctl, bool continuous) {
  const ControlFile::Run& run = ctl.run;
  std::vector<const ControlValue<std::string>*> grids = {&run.roughness, &run.directions, &run.elevation, &run.area};
  const bool impervious = s.control.RUN_MODE == 2 && run.impervious.ok() && *run.impervious == 1;
  if (!impervious) grids.push_back(&run.curve_numbers);
  for (const ControlValue<std::string>* g : grids) {
    if (g->ok()) check_grid_file_size(**g, s.catchment.NI, s.catchment.NJ, ctl.name(), run.grid.record());
  }
  const int64_t cells = static_cast<int64_t>(s.catchment.NI) * s.catchment.NJ;
  check_memory(state_grid_bytes(cells, 1) + run_bytes(cells, 0, 1, s.forcing.N_DATA) +
                   record_series_bytes(s.forcing.N_DATA, 1, continuous ? 1 : 0),
               "a run over " + std::to_string(s.catchment.NI) + " x " + std::to_string(s.catchment.NJ) + " cells (record " +
                   std::to_string(run.grid.record()) + " of '" + ctl.name() + "') and " + std::to_string(s.forcing.N_DATA) +
                   " records");
}

}  // namespace

void READ_PARAM(ModelState& s, const ControlFile& ctl) {
  const ControlFile::Run& run = ctl.run;
  const bool continuous = s.control.RUN_MODE == 3 || s.control.RUN_MODE == 4;

  const std::vector<int32_t>& start = *run.start;
  s.forcing.START_DAY = start[0];
  s.forcing.START_MONTH = start[1];
  s.forcing.START_YEAR = start[2];
  if (continuous && (s.forcing.START_MONTH < 1 || s.forcing.START_MONTH > MAX_MONTHS)) {
    ctl.refuse(run.start.record(), "the start month " + std::to_string(s.forcing.START_MONTH) + " is not a month (1 to 12)");
  }
  s.forcing.N_DATA = *run.n_data;
  if (s.forcing.N_DATA < 1) ctl.refuse(run.n_data.record(), "the number of records N_DATA must be at least 1");
  if (s.forcing.N_DATA > s.control.limits.records) refuse_run(1016);

  s.forcing.DT_RAIN = *run.dt_rain;
  if (!(s.forcing.DT_RAIN > 0.0f)) ctl.refuse(run.dt_rain.record(), "the time step of the records DT_RAIN must be positive");
  s.catchment.NI = run.grid->i;
  s.catchment.NJ = run.grid->j;
  if (s.catchment.NI > s.control.limits.grid_side || s.catchment.NJ > s.control.limits.grid_side) refuse_run(1018);
  if (s.catchment.NI < 1 || s.catchment.NJ < 1) ctl.refuse(run.grid.record(), "a grid needs at least one row and one column");
  if (s.control.limits.fit_to_data) check_pass_memory(s, ctl, continuous);
  s.size_grids(s.catchment.NI, s.catchment.NJ);

  s.catchment.CELL_DX = run.cell_size->first;
  s.catchment.CELL_DY = run.cell_size->second;
  const int32_t cell_record = run.cell_size.record();
  if (!(s.catchment.CELL_DX > 0.0f) || !(s.catchment.CELL_DY > 0.0f)) ctl.refuse(cell_record, "the cell sizes must be positive");
  if (!(s.catchment.CELL_DX >= MIN_CELL_SIZE && s.catchment.CELL_DX <= MAX_CELL_SIZE && s.catchment.CELL_DY >= MIN_CELL_SIZE &&
        s.catchment.CELL_DY <= MAX_CELL_SIZE)) {
    ctl.refuse(cell_record, "the cell sizes " + shortest(s.catchment.CELL_DX) + " and " + shortest(s.catchment.CELL_DY) +
                                " m must lie between " + shortest(MIN_CELL_SIZE) + " and " +
                                shortest(MAX_CELL_SIZE) + " m");
  }
  const GridExpect grid{s.catchment.NI, s.catchment.NJ, ctl.name(), run.grid.record(), s.catchment.CELL_DX, s.catchment.CELL_DY, cell_record};
  s.params.DT_SIM = *run.dt_sim;
  if (!(s.params.DT_SIM > 0.0f)) ctl.refuse(run.dt_sim.record(), "the simulation time step DT_SIM must be positive");
  s.plan_steps();
  s.params.A_CHANNEL = *run.a_channel;
  s.params.WD_HILL = *run.wd_hill;
  s.params.NCLASS = *run.nclass;
  if (s.params.NCLASS > kLimits.classes) refuse_run(1015);
  const std::vector<float>& ks = *run.ks_class;
  for (int32_t k = 1; k <= s.params.NCLASS; ++k) s.params.KS_CLASS(k) = ks[static_cast<std::size_t>(k - 1)];

  const std::string& rough_name = *run.roughness;
  read_grid_file(rough_name, s.catchment.ROUGH_CLASS, grid, "the roughness-class grid", 1010, 0);

  const std::vector<float>& channel = *run.channel;
  s.params.WD_CHAN = channel[0];
  s.params.KS_CHAN_TOP = channel[1];
  s.params.KS_CHAN_OUT = channel[2];
  s.params.K_SUB = *run.k_sub;
  s.params.W_SUB = *run.w_sub;
  s.params.TAU_SUB = *run.tau_sub;
  s.params.F_SUB_CAP = *run.f_sub_cap;
  s.params.IA_RATIO = *run.ia_ratio;
  s.catchment.OUTLET_I = run.outlet->i;
  s.catchment.OUTLET_J = run.outlet->j;
  s.params.IMPERVIOUS = *run.impervious;
  s.forcing.INTERP_METHOD = *run.interp_method;

  read_grid_file(*run.directions, s.catchment.FLOW_DIR, grid, "the direction grid", 1009, 0);
  const std::string& elev_name = *run.elevation;
  // Gauges of a CSV series are placed on the georeference of this grid.
  const GeoReference geo =
      output_georeference(read_grid_file(elev_name, s.catchment.ELEVATION, grid, "the pit-free elevation grid", 1008, -1.0f),
                          s.catchment.CELL_DX);
  read_grid_file(*run.area, s.catchment.AREA_CELLS, grid, "the contributing-area grid", 1007, 0);

  {
    auto links = RecordReader::try_open(*run.links);
    if (!links) refuse_run(1006);
    const int32_t LINK_RECORDS = links->count_records();
    links->rewind();
    SLOPE_COMP(s, *links, LINK_RECORDS);
  }
  check_path_elevations(s, elev_name);

  print_line("");

  const std::string& cn_name = *run.curve_numbers;
  if (s.control.RUN_MODE == 2 && s.params.IMPERVIOUS == 1) {
    s.catchment.SOIL_CAPACITY.fill(0.00001f);
  } else {
    GridReader cn(cn_name, &grid);
    SOIL_STORATIVITY(s, cn);
  }

  for (int32_t I = 1; I <= s.catchment.NI; ++I) {
    for (int32_t J = 1; J <= s.catchment.NJ; ++J) s.run.CUM_RAIN(I, J) = s.catchment.SLOPE(I, J) > 0.0f ? 0.0f : -1.0f;
  }

  if (is_csv_name(*run.rain)) {
    INPUT_RAIN_CSV(s, *run.rain, run_window(s, ctl, s.forcing.N_DATA), geo);
  } else {
    RecordReader rain(*run.rain);
    INPUT_RAIN(s, rain);
  }

  if (continuous) {
    const std::string& temp_name = *run.temperature;
    if (is_csv_name(temp_name)) {
      INPUT_TEMP_CSV(s, temp_name, run_window(s, ctl, s.forcing.N_DATA), geo);
    } else {
      RecordReader temp(temp_name);
      INPUT_TEMP(s, temp);
    }
    // The calendar starts on this day; a day the month does not have would
    // shift every later month.
    if (s.forcing.START_DAY < 1 || s.forcing.START_DAY > s.forcing.DAYS_IN_MONTH(s.forcing.START_MONTH)) {
      ctl.refuse(run.start.record(), "the start day " + std::to_string(s.forcing.START_DAY) + " is not a day of month " +
                                         std::to_string(s.forcing.START_MONTH) + " (1 to " +
                                         std::to_string(s.forcing.DAYS_IN_MONTH(s.forcing.START_MONTH)) + " in '" + temp_name +
                                         "')");
    }
    float doy = 0.0f;
    for (int32_t m = 1; m <= s.forcing.START_MONTH - 1; ++m) doy = doy + static_cast<float>(s.forcing.DAYS_IN_MONTH(m));
    s.forcing.START_DOY = doy + static_cast<float>(s.forcing.START_DAY);
  }

  s.catchment.N_SECTIONS = *run.n_sections;
  // Dated discharge files need a calendar start and a step of whole seconds.
  if (s.control.RUN_MODE == 2 || s.control.RUN_MODE == 3) {
    for (const auto& f : ctl.output.discharge_files) {
      if (f.ok() && is_csv_name(*f)) (void)run_window(s, ctl, 0);
    }
  }
  if (s.catchment.N_SECTIONS > kLimits.sections) refuse_run(1017);
  for (int32_t k = 1; k <= s.catchment.N_SECTIONS; ++k) {
    const ControlValue<Cell>& section = run.sections(k);
    s.catchment.SECTION_I(k) = section->i;
    s.catchment.SECTION_J(k) = section->j;
    if (!s.catchment.SLOPE.contains(s.catchment.SECTION_I(k), s.catchment.SECTION_J(k))) {
      ctl.refuse(section.record(), "the cross-section cell (" + std::to_string(s.catchment.SECTION_I(k)) + ", " +
                                       std::to_string(s.catchment.SECTION_J(k)) + ") lies outside the grid");
    }
  }

  // Parameters the runs divide by or index with: refuse what cannot be simulated.
  ParameterRecords rec;
  rec.control = ctl.name();
  rec.wd_hill = run.wd_hill.record();
  rec.ks_class = run.ks_class.record();
  rec.channel = run.channel.record();
  rec.outlet = run.outlet.record();
  rec.k_sub = run.k_sub.record();
  rec.w_sub = run.w_sub.record();
  rec.tau_sub = run.tau_sub.record();
  rec.f_sub_cap = run.f_sub_cap.record();
  rec.ia_ratio = run.ia_ratio.record();
  rec.rough_file = rough_name;
  check_parameters(s, rec);
  // The step plan and the output records last: their refusals come after
  // every other refusal of the load.
  check_step_plan(s, ctl);
  if (s.control.RUN_MODE == 2 || s.control.RUN_MODE == 3) check_output_section(s, ctl);
}

}  // namespace tarvex

#include "driver/main_menu.hpp"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "calibration/scemain.hpp"
#include "load/read_param.hpp"
#include "model/memory_estimate.hpp"
#include "model/warn_error.hpp"
#include "io/control_file.hpp"
#include "io/csv_series.hpp"
#include "io/file_identity.hpp"
#include "io/gis_outputs.hpp"
#include "io/input_error.hpp"
#include "io/text_writer.hpp"
#include "output/dated_output.hpp"
#include "output/write_output.hpp"
#include "simulation/manual_calibration.hpp"
#include "terrain/mod1.hpp"

namespace tarvex {

namespace {

// The numbered message does not say where the file was looked for.
void report_missing_control_file(const std::string& name) {
  std::error_code ec;
  const std::filesystem::path here = std::filesystem::current_path(ec);
  const std::string line = "tarvex: the control file " + quoted_name(name) + " cannot be opened in directory " +
                           (ec ? std::string("(unknown)") : quoted_name(here.string())) +
                           "; run tarvex in the catchment's directory or give that directory with -C DIR\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

// The files a pass reads and writes, as far as the control file names them.
void check_files_apart(int32_t mode, const ControlFile& ctl, const SearchOptions& search) {
  std::vector<NamedFile> in{{ctl.name(), "the control file"}};
  std::vector<NamedFile> out;
  auto add = [&](std::vector<NamedFile>& list, const ControlValue<std::string>& v, const char* role) {
    if (v.ok()) {
      list.push_back({*v, std::string(role) + " (record " + std::to_string(v.record()) + " of '" + ctl.name() + "')"});
    }
  };
  if (mode == 1) {
    const ControlFile::Terrain& t = ctl.terrain;
    add(in, t.dem, "the DEM");
    add(out, t.directions, "the direction file");
    add(out, t.elevation, "the pit-free elevation file");
    add(out, t.area, "the contributing-area file");
    add(out, t.links, "the link-property file");
    out.push_back({"RiverOrder.out", "the stream-order file"});
    out.push_back({"LinkProperties_temp.out", "the temporary link list"});
  } else {
    const ControlFile::Run& r = ctl.run;
    add(in, r.roughness, "the roughness-class file");
    add(in, r.directions, "the direction file");
    add(in, r.elevation, "the pit-free elevation file");
    add(in, r.area, "the contributing-area file");
    add(in, r.links, "the link-property file");
    add(in, r.curve_numbers, "the curve-number file");
    add(in, r.rain, "the rain file");
    if (mode != 2) add(in, r.temperature, "the temperature file");
    // The tables beside a dated series.
    auto beside = [&](const ControlValue<std::string>& v, const char* kind, const std::string& role) {
      if (v.ok() && is_csv_name(*v)) in.push_back({beside_series(*v, kind), role + " of '" + *v + "'"});
    };
    beside(r.rain, "stations", "the gauge positions");
    if (mode != 2) {
      beside(r.temperature, "stations", "the station positions");
      beside(r.temperature, "et", "the evapotranspiration coefficients");
    }
    // Read in the calibration mode only, but the user's data in every one.
    add(in, ctl.observed.file, "the observed discharge file");
    if (mode == 4) {
      in.push_back({"scein.dat", "the search settings"});
      out.push_back({"sceout.dat", "the search report"});
      out.push_back({"min-ris.txt", "the evaluation log"});
      out.push_back({"outlet.out", "the simulated series"});
      out.push_back({"outlet.csv", "the dated outlet series"});
      if (search.search) out.push_back({"Tarvex.best.in", "the control file of the best parameters"});
      if (search.sensitivity != SearchOptions::Sensitivity::none) {
        out.push_back({"sensitivity.csv", "the sensitivity indices"});
        out.push_back({"sensitivity_evaluations.csv", "the sensitivity evaluations"});
      }
      if (search.uncertainty != SearchOptions::Uncertainty::none) {
        out.push_back({"bands.csv", "the prediction bands"});
        out.push_back({"uncertainty.csv", "the parameter quantiles"});
        out.push_back({"uncertainty_evaluations.csv", "the uncertainty evaluations"});
        out.push_back({"uncertainty_summary.txt", "the uncertainty summary"});
        out.push_back({search.uncertainty == SearchOptions::Uncertainty::glue ? "Tarvex.glue.in" : "Tarvex.dream.in",
                       "the control file of the most likely parameters"});
        if (search.uncertainty == SearchOptions::Uncertainty::dream) {
          out.push_back({"posterior.csv", "the posterior samples"});
        }
      }
    } else {
      if (dated_inputs(mode, ctl)) out.push_back({"outlet.csv", "the dated outlet series"});
      for (const auto& f : ctl.output.discharge_files) add(out, f, "the discharge file");
      for (const char* grid : {"TotRain.out", "RaingThDistr.out", "TempStDistr.out", "Slope.out", "timestep.out"}) {
        out.push_back({grid, "the result file"});
      }
    }
  }
  // The GIS outputs asked for on the command line.
  const GisOutputs& gis = gis_outputs();
  if (mode == 1 && !gis.streams.empty()) out.push_back({gis.streams, "the stream vector file (--streams)"});
  if (gis.grids && mode != 4) {
    const std::vector<const char*> grids = mode == 1 ? std::vector<const char*>{"RiverOrder.out"}
        : std::vector<const char*>{"TotRain.out", "RaingThDistr.out", "TempStDistr.out", "Slope.out"};
    for (const char* grid : grids) {
      out.push_back({result_grid_copy_name(grid, *gis.grids).string(), "a georeferenced result grid (--grids)"});
    }
  }
  refuse_outputs_over_inputs(in, out);
}

int run_pass(ModelState& s, const ControlFile& ctl, const SearchOptions& search, const TerrainOptions& terrain) {
  check_files_apart(s.control.RUN_MODE, ctl, search);
  if (s.control.RUN_MODE == 1) {
    MOD1(s, ctl, terrain);
    return 0;
  }
  READ_PARAM(s, ctl);

  // The run's own tables, once the catchment is known (a search checks its
  // concurrent runs itself).
  if (!search.analysis()) check_run_memory(s);

  if (s.control.RUN_MODE == 2 || s.control.RUN_MODE == 3) {
    s.results.want_et = dated_inputs(s.control.RUN_MODE, ctl);  // for outlet.csv's water balance
    const int32_t steps = MANUAL_CALIBRATION(s);
    WRITE_OUTPUT(s, ctl, steps);
    return 0;
  }
  return SCEMAIN(s, ctl, &search);
}

}  // namespace

int MAINMENU(ModelState& s, int32_t mode, int32_t jobs) {
  SearchOptions options;
  options.jobs = jobs;
  return MAINMENU(s, mode, options);
}

int MAINMENU(ModelState& s, int32_t mode, const SearchOptions& search, const TerrainOptions& terrain,
             const std::string& control) {
  // A search spreads its evaluations over the threads; each run then takes one.
  s.control.RUN_JOBS = search.analysis() ? 1 : search.jobs;
  s.control.RUN_MODE = mode;
  try {
    const std::optional<ControlFile> ctl = ControlFile::read(control, mode);
    if (!ctl) {
      WARN_ERROR(1011);
      report_missing_control_file(control);
      throw RunRefused{1011};
    }
    return run_pass(s, *ctl, search, terrain);
  } catch (const RunRefused&) {
    // The message is printed; a refused pass is not repeated.
    return 1;
  }
}

}  // namespace tarvex

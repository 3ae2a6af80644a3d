#include "output/write_output.hpp"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "io/csv_series.hpp"
#include "io/input_error.hpp"
#include "io/gis_outputs.hpp"
#include "io/grid_file.hpp"
#include "io/text_writer.hpp"
#include "output/result_grid_copies.hpp"
#include "output/dated_output.hpp"

namespace tarvex {
namespace {

// Output steps of one year of hourly records.
constexpr int32_t YEAR_STEPS = 8760;

// Surface and total discharge of one cross-section at the output step, m3/s.
struct OutputSeries {
  std::vector<float> surf;  // [m - 1], output step m
  std::vector<float> total;
};

// The simulated series of cross-section k as output series: copied when
// the steps are equal, otherwise averaged to the record step.
OutputSeries output_series(const ModelState& s, int32_t k, int32_t nsteps) {
  OutputSeries o;
  o.surf.assign(static_cast<std::size_t>(nsteps), 0.0f);
  o.total.assign(static_cast<std::size_t>(nsteps), 0.0f);
  if (s.params.step_plan.same_step) {
    for (int32_t n = 1; n <= nsteps; ++n) {
      o.surf[static_cast<std::size_t>(n - 1)] = s.results.Q_SECTION_SURF(n, k);
      o.total[static_cast<std::size_t>(n - 1)] = s.results.Q_SECTION(n, k);
    }
    return o;
  }
  const float R = s.params.step_plan.steps_per_record;
  const std::vector<float> surf = record_means(s.results.Q_SECTION_SURF, k, nsteps, R);
  const std::vector<float> total = record_means(s.results.Q_SECTION, k, nsteps, R);
  std::copy(surf.begin(), surf.end(), o.surf.begin());
  std::copy(total.begin(), total.end(), o.total.begin());
  return o;
}

std::string flow_line(int32_t n, float surf, float total, bool with_surface) {
  std::string line(" ");
  put_int(line, n, 6);
  if (with_surface) {
    put_blanks(line, 3);
    put_fixed(line, surf, 10, 5);
  }
  put_blanks(line, 3);
  put_fixed(line, total, 10, 5);
  return line;
}

void write_flow(TextWriter& out, const OutputSeries& o, int32_t nsteps, int32_t components, int32_t kind) {
  if (kind == 1) {
    for (int32_t n = 1; n <= nsteps; ++n) {
      const std::size_t m = static_cast<std::size_t>(n - 1);
      out.line(flow_line(n, o.surf[m], o.total[m], components != 1));
    }
    return;
  }
  // Annual maxima over windows of one year of output steps; the last window
  // ends at step nsteps.
  int32_t year = 1;
  for (int32_t i = 1; i < nsteps; i += YEAR_STEPS) {
    float qmax = -100000000.0f;
    const int32_t last = std::min(nsteps, i + (YEAR_STEPS - 1));
    for (int32_t n = i; n <= last; ++n) qmax = std::max(qmax, o.total[static_cast<std::size_t>(n - 1)]);
    out.line(flow_line(year, 0.0f, qmax, false));
    ++year;
  }
}

// A result grid, and its georeferenced copy when asked for (copy_nodata:
// the copy's no-data value).
template <class T>
void write_grid(const char* name, const ModelState& s, const Grid<T>& g, const GridLayout& layout,
                const GeoReference& geo, float copy_nodata) {
  GridWriter out(name, layout);
  out.rows(g.data(), s.catchment.NI, s.catchment.NJ);
  out.close();
  GridLayout copy = layout;
  copy.nodata = copy_nodata;
  write_result_grid_copy(name, g.data(), s.catchment.NI, s.catchment.NJ, copy, geo);
}

void check_grid(const char* name, int32_t rows, int32_t cols, const ModelState& s) {
  if (s.catchment.NI > 0 && s.catchment.NJ > 0 && (rows != s.catchment.NI || cols != s.catchment.NJ)) {
    throw InputError(std::string("result file '") + name + "': the grid is not sized " + std::to_string(s.catchment.NI) +
                     " x " + std::to_string(s.catchment.NJ));
  }
}

}  // namespace

std::vector<float> record_means(const Table<float, kLimits.records, kLimits.sections>& q, int32_t k, int32_t nsteps,
                                float R) {
  std::vector<float> mean;
  int32_t i = 1;
  while (i < nsteps) {
    float sum = 0.0f;
    int32_t j = i;
    for (; j <= nsteps && static_cast<float>(j) <= static_cast<float>(i) + R - 1.0f; ++j) sum = sum + q(j, k);
    mean.push_back(sum / R);
    // A ratio below 1 would not advance the block; the driver refuses it.
    i = std::max(j, i + 1);
  }
  return mean;
}

int32_t WRITE_OUTPUT(const ModelState& s, const ControlFile& ctl, int32_t nsteps) {
  const ControlFile::Output& o = ctl.output;
  (void)*o.marker;

  if (s.catchment.N_SECTIONS > 0) {
    if (s.catchment.N_SECTIONS > kLimits.sections) {
      throw InputError("result output: " + std::to_string(s.catchment.N_SECTIONS) + " cross-sections, at most " +
                       std::to_string(kLimits.sections) + " can be written");
    }
    if (nsteps < 0 || nsteps > s.results.Q_SECTION.rows()) {
      throw InputError("result output: " + std::to_string(nsteps) + " steps, the series hold at most " +
                       std::to_string(s.results.Q_SECTION.rows()));
    }
    std::vector<std::unique_ptr<TextWriter>> files;
    for (int32_t k = 1; k <= s.catchment.N_SECTIONS; ++k) {
      files.push_back(std::make_unique<TextWriter>(*o.discharge_files(k)));
    }
    int32_t components = *o.components;  // 1: total flow only, else surface and total
    const int32_t kind = *o.kind;        // 1: time series, else annual maxima
    if (kind == 2) components = 1;

    for (auto& f : files) {
      if (is_csv_name(f->name())) continue;  // its own header
      if (kind == 1) {
        f->line(ListLine().text("Simulated river flow").str());
        f->line(ListLine().text(components == 1 ? "   Step    Total Flow" : "  Step   Surface Flow    Total Flow").str());
      } else {
        f->line(ListLine().text("Simulated annual maximum flow").str());
        f->line(ListLine().text("   Year    Total Flow").str());
      }
    }

    std::vector<OutputSeries> series;
    for (int32_t k = 1; k <= s.catchment.N_SECTIONS; ++k) series.push_back(output_series(s, k, nsteps));
    if (!s.params.step_plan.same_step) {
      nsteps = static_cast<int32_t>(static_cast<float>(nsteps) / s.params.step_plan.steps_per_record);
    }
    for (int32_t k = 1; k <= s.catchment.N_SECTIONS; ++k) {
      const std::size_t x = static_cast<std::size_t>(k - 1);
      if (is_csv_name(files[x]->name())) {
        // Dated rows; the start date was checked when the run was loaded.
        write_discharge_csv(*files[x], day_seconds(s.forcing.START_YEAR, s.forcing.START_MONTH, s.forcing.START_DAY),
                            std::llround(s.forcing.DT_RAIN), series[x].surf, series[x].total, nsteps, kind, YEAR_STEPS);
      } else {
        write_flow(*files[x], series[x], nsteps, components, kind);
      }
      files[x]->close();
    }
    // A run with a dated input also gets its outlet series with dates.
    if (dated_inputs(s.control.RUN_MODE, ctl)) {
      const auto records = static_cast<std::size_t>(std::max(nsteps, 0));
      std::vector<float> total(series[0].total.begin(), series[0].total.begin() + static_cast<std::ptrdiff_t>(records));
      write_outlet_csv("outlet.csv", day_seconds(s.forcing.START_YEAR, s.forcing.START_MONTH, s.forcing.START_DAY), std::llround(s.forcing.DT_RAIN),
                       total, {}, {},
                       record_sums(s.results.ET_STEP, nsteps,
                                   s.params.step_plan.same_step ? 1.0f : s.params.step_plan.steps_per_record));
    }
  }

  check_grid("TotRain.out", s.run.CUM_RAIN.rows(), s.run.CUM_RAIN.cols(), s);
  check_grid("RaingThDistr.out", s.forcing.RAIN_STATION_MAP.rows(), s.forcing.RAIN_STATION_MAP.cols(), s);
  check_grid("Slope.out", s.catchment.SLOPE.rows(), s.catchment.SLOPE.cols(), s);
  // Cells outside the catchment: no station (0), slope -1.
  const GeoReference geo = gis_outputs().grids ? run_georeference(ctl.run, s.catchment.CELL_DX) : GeoReference{};
  write_grid("TotRain.out", s, s.run.CUM_RAIN, kRainDepthGrid, geo, kRainDepthGrid.nodata);
  write_grid("RaingThDistr.out", s, s.forcing.RAIN_STATION_MAP, kStationGrid, geo, 0.0f);
  if (s.control.RUN_MODE != 2) {
    check_grid("TempStDistr.out", s.forcing.TEMP_STATION_MAP.rows(), s.forcing.TEMP_STATION_MAP.cols(), s);
    write_grid("TempStDistr.out", s, s.forcing.TEMP_STATION_MAP, kStationGrid, geo, 0.0f);
  }
  write_grid("Slope.out", s, s.catchment.SLOPE, kSlopeGrid, geo, -1.0f);
  return nsteps;
}

}  // namespace tarvex

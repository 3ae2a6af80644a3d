#include "driver/init_command.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "driver/command_line.hpp"
#include "io/csv_series.hpp"
#include "io/degree_dem.hpp"
#include "io/grid_file.hpp"
#include "io/input_error.hpp"
#include "io/new_catchment_files.hpp"
#include "io/quoted.hpp"
#include "model/direction_code.hpp"
#include "model/model_state.hpp"
#include "terrain/contributing_area.hpp"
#include "terrain/mod1.hpp"
#include "terrain/flow_directions.hpp"
#include "terrain/priority_flood.hpp"

namespace tarvex {
namespace {

namespace fs = std::filesystem;

// Names the control file holds: longer ones are cut when read.
constexpr std::size_t kNameChars = 30;
constexpr int64_t kDay = 86400;

struct UsageError {
  std::string what;
};

struct InitOptions {
  std::string dem, rain, temperature, observed;
  std::optional<std::pair<double, double>> outlet;
  std::optional<int64_t> start;  // seconds, 00:00 of a day
  std::optional<int64_t> step;   // s
  std::optional<double> snap;    // m
  std::string roughness, curve_numbers;
};

bool parse_number(const std::string& text, double& v) {
  if (text.empty()) return false;
  char* end = nullptr;
  v = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && std::isfinite(v);
}

InitOptions parse_init_options(const std::vector<std::string>& args) {
  InitOptions o;
  std::map<std::string, std::string*> files = {{"--dem", &o.dem},
                                               {"--rain", &o.rain},
                                               {"--temperature", &o.temperature},
                                               {"--observed", &o.observed},
                                               {"--roughness", &o.roughness},
                                               {"--curve-numbers", &o.curve_numbers}};
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& a = args[k];
    if (k + 1 >= args.size()) throw UsageError{"init: option " + quoted_name(a) + " needs a value"};
    const std::string& v = args[++k];
    if (auto it = files.find(a); it != files.end()) {
      if (v.empty()) throw UsageError{"init: " + a + " needs a file name"};
      *it->second = v;
    } else if (a == "--outlet") {
      const auto comma = v.find(',');
      double x = 0.0, y = 0.0;
      if (comma == std::string::npos || !parse_number(v.substr(0, comma), x) ||
          !parse_number(v.substr(comma + 1), y)) {
        throw UsageError{"init: --outlet takes X,Y in the DEM's map coordinates, not " + quoted_name(v)};
      }
      o.outlet = std::make_pair(x, y);
    } else if (a == "--start") {
      int64_t t = 0;
      if (!parse_iso_time(v, t) || t % kDay != 0) {
        throw UsageError{"init: --start takes a date YYYY-MM-DD, not " + quoted_name(v)};
      }
      o.start = t;
    } else if (a == "--step") {
      double s = 0.0;
      if (!parse_number(v, s) || s < 1.0 || s != std::floor(s) || s > 1e9) {
        throw UsageError{"init: --step takes whole seconds, at least 1, not " + quoted_name(v)};
      }
      o.step = static_cast<int64_t>(s);
    } else if (a == "--snap") {
      double r = 0.0;
      if (!parse_number(v, r) || r < 0.0) {
        throw UsageError{"init: --snap takes a radius in m, 0 or more, not " + quoted_name(v)};
      }
      o.snap = r;
    } else {
      throw UsageError{"init: unknown option " + quoted_name(a)};
    }
  }
  for (const auto& [name, value] : {std::pair<const char*, const std::string*>{"--dem", &o.dem},
                                    {"--rain", &o.rain},
                                    {"--temperature", &o.temperature},
                                    {"--observed", &o.observed}}) {
    if (value->empty()) throw UsageError{std::string("init: ") + name + " FILE is needed"};
  }
  if (!o.outlet) throw UsageError{"init: --outlet X,Y is needed"};
  return o;
}

// A number in a message.
std::string num(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.10g", v);
  return buf;
}

// A real as the control file and "scein.dat" take it: always with a point.
std::string real(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  std::string s = buf;
  if (s.find_first_of(".eEn") == std::string::npos) s += ".";
  return s;
}

std::string right(const std::string& s, std::size_t width) {
  return s.size() >= width ? s : std::string(width - s.size(), ' ') + s;
}

std::string date_text(int64_t seconds) {
  // format_iso_time gives "YYYY-MM-DDT..."; the control file wants "D M YYYY".
  const std::string iso = format_iso_time(seconds);
  const int32_t y = std::atoi(iso.substr(0, 4).c_str());
  const int32_t m = std::atoi(iso.substr(5, 2).c_str());
  const int32_t d = std::atoi(iso.substr(8, 2).c_str());
  return std::to_string(d) + " " + std::to_string(m) + " " + std::to_string(y);
}

void check_name(const std::string& name) {
  if (name.size() > kNameChars) {
    throw InputError("init: the name " + quoted_name(name) + " is longer than the " + std::to_string(kNameChars) +
                     " characters \"Tarvex.in\" holds; rename the file or move it beside Tarvex.in");
  }
  if (name.find_first_of(" \t") != std::string::npos) {
    throw InputError("init: the name " + quoted_name(name) + " holds a blank, which \"Tarvex.in\" cannot hold");
  }
}

void check_readable(const std::string& name) {
  if (!file_exists(name)) throw InputError("file " + quoted_name(name) + ": not found");
}

// Records the series covers from start, each step long.
int32_t records_from(const SeriesSpan& span, const std::string& name, int64_t start, int64_t step) {
  if (span.first > start) {
    throw InputError("file " + quoted_name(name) + ": its first row, " + format_iso_time(span.first) +
                     ", comes after the start " + format_iso_time(start));
  }
  if (span.last < start) {
    throw InputError("file " + quoted_name(name) + ": its last row, " + format_iso_time(span.last) +
                     ", comes before the start " + format_iso_time(start));
  }
  const int64_t n = (span.last - start) / step + 1;
  return static_cast<int32_t>(std::min<int64_t>(n, INT32_MAX));
}

struct Snapped {
  Cell under;    // the cell under the outlet point
  Cell outlet;   // the cell of largest area within the radius
  int32_t area = 0;
  Cell section;  // the neighbour draining into it with the largest area
};

// The terrain pass's directions and areas, kept in memory, then the cell of
// largest contributing area within radius cells of the point (row, column
// in cell units).
Snapped snap_outlet(const InitOptions& o, const DemHeader& h, float row, float col, double radius_cells) {
  Snapped r;
  r.under = Cell{static_cast<int32_t>(std::lround(row)), static_cast<int32_t>(std::lround(col))};
  const int32_t ni = h.nrows, nj = h.ncols;
  Grid<float> elevation;
  Grid<int32_t> dir, area, scratch;
  elevation.resize(ni, nj);
  dir.resize(ni, nj);
  {
    GridExpect expect{ni, nj, o.dem, 0};
    GridReader dem(o.dem, &expect);
    read_dem(dem, elevation);
  }
  // Filled rather than raised cell by cell: quiet, and the same drainage
  // up to where the flats lead.
  Array1<int32_t, kLimits.exempt_cells> none_i, none_j;
  const FillResult fill = fill_pits(elevation, fixed_cells(elevation, 0, none_i, none_j));
  if (fill.stuck_i != 0) {
    throw InputError("file " + quoted_name(o.dem) + ": cell " + std::to_string(fill.stuck_i) + " " +
                     std::to_string(fill.stuck_j) + " cannot drain to the edge of the grid");
  }
  set_flow_directions(elevation, dir);
  CONTRIBUTING_AREA(dir, area, scratch);

  // No farther than the grid reaches (a huge radius would overflow).
  const int32_t reach = static_cast<int32_t>(std::min(std::ceil(radius_cells), static_cast<double>(std::max(ni, nj)))) + 1;
  double best_d = 0.0;
  r.outlet = r.under;
  r.area = area(r.under.i, r.under.j);
  for (int32_t i = std::max(1, r.under.i - reach); i <= std::min(ni, r.under.i + reach); ++i) {
    for (int32_t j = std::max(1, r.under.j - reach); j <= std::min(nj, r.under.j + reach); ++j) {
      const double d = std::hypot(i - static_cast<double>(row), j - static_cast<double>(col));
      if (d > radius_cells && !(i == r.under.i && j == r.under.j)) continue;
      const int32_t a = area(i, j);
      if (a > r.area || (a == r.area && d < best_d)) {
        r.outlet = Cell{i, j};
        r.area = a;
        best_d = d;
      }
    }
  }
  // The discharge is given where the largest inflow enters the outlet cell.
  int32_t inflow = 0;
  for (int32_t di = -1; di <= 1; ++di) {
    for (int32_t dj = -1; dj <= 1; ++dj) {
      const int32_t i = r.outlet.i + di, j = r.outlet.j + dj;
      if ((di == 0 && dj == 0) || !dir.contains(i, j)) continue;
      if (dir(i, j) != encode_direction(-di, -dj)) continue;
      if (area(i, j) > inflow) {
        inflow = area(i, j);
        r.section = Cell{i, j};
      }
    }
  }
  if (inflow == 0) {
    throw InputError("init: no cell drains into the outlet cell " + std::to_string(r.outlet.i) + " " +
                     std::to_string(r.outlet.j) + " (" + std::to_string(r.area) +
                     " cells drain through it); give an --outlet on the stream, or a larger --snap");
  }
  return r;
}

struct Defaults {
  std::string text;
  void add(const std::string& name, const std::string& value) { text += "  " + name + ": " + value + "\n"; }
};

std::string grid_text(int32_t ni, int32_t nj, const std::string& value) {
  std::string row;
  for (int32_t j = 1; j <= nj; ++j) row += (j > 1 ? " " : "") + value;
  row += "\n";
  std::string out;
  out.reserve(row.size() * static_cast<std::size_t>(ni));
  for (int32_t i = 1; i <= ni; ++i) out += row;
  return out;
}

// One search parameter: initial value, lower and upper bound, 10 columns each.
std::string parameter_record(double init, double lo, double hi) {
  return right(real(init), 10) + right(real(lo), 10) + right(real(hi), 10) + "\n";
}

const char* const kEtTable =
    "# evapotranspiration coefficients (defaults written by tarvex init)\n"
    "offset,-12.0\n"
    "slope,5.0\n"
    "a,0.70,0.78,0.95,1.08,1.22,1.30,1.32,1.22,1.06,0.92,0.76,0.68\n"
    "b,0.90,0.92,0.97,1.02,1.08,1.12,1.14,1.10,1.04,0.98,0.93,0.90\n"
    "days,31,28,31,30,31,30,31,31,30,31,30,31\n";

int init(const InitOptions& o) {
  for (const std::string* n : {&o.dem, &o.rain, &o.temperature, &o.observed, &o.roughness, &o.curve_numbers}) {
    if (n->empty()) continue;
    check_name(*n);
    check_readable(*n);
  }
  for (const std::string* n : {&o.rain, &o.temperature, &o.observed}) {
    if (!is_csv_name(*n)) {
      throw InputError("init: " + quoted_name(*n) + " is not a dated CSV series (a name ending in .csv)");
    }
  }
  const fs::path rain_stations = beside_series(o.rain, "stations");
  const fs::path temp_stations = beside_series(o.temperature, "stations");
  for (const fs::path& p : {rain_stations, temp_stations}) {
    if (!file_exists(p)) {
      throw InputError("file " + quoted_name(p.string()) + ": not found; it gives the position of each column of " +
                       "the series beside it (name,x,y for rain, name,x,y,elevation for temperature)");
    }
  }

  const DemHeader dem = read_dem_header(o.dem);
  const int32_t ni = dem.nrows, nj = dem.ncols;
  const double cell = dem.geo.cellsize;
  {
    // A DEM in degrees is refused here, before any file is written, as the
    // terrain pass would refuse it.
    const double half = dem.geo.center ? 0.5 * cell : 0.0;
    const GridPlace place{dem.geo.x_ll - half, dem.geo.y_ll - half, cell, cell, ni, nj};
    if (auto m = degree_dem_refusal(o.dem, place, dem.geo.prj, false)) throw InputError(*m);
  }
  const double cell_km2 = cell * cell / 1e6;
  Defaults defaults;

  // Records from the rain series.
  const SeriesSpan rain = read_series_span(o.rain);
  int64_t step = 0;
  if (o.step) {
    step = *o.step;
  } else {
    if (rain.rows < 2) throw InputError("file " + quoted_name(o.rain) + ": one row gives no record step; give --step SECONDS");
    step = rain.second - rain.first;
    if (step <= 0) throw InputError("file " + quoted_name(o.rain) + ": line 3: the times do not increase");
  }
  // The first 00:00 at or after the first row.
  int64_t start = rain.first / kDay * kDay;
  if (start < rain.first) start += kDay;
  if (o.start) start = *o.start;
  if ((start - rain.first) % step != 0) {
    throw InputError("file " + quoted_name(o.rain) + ": no row falls on the start " + format_iso_time(start) +
                     " in steps of " + std::to_string(step) + " s from its first row; give --start DATE");
  }
  const int32_t rain_records = records_from(rain, o.rain, start, step);
  const int32_t temp_records = records_from(read_series_span(o.temperature), o.temperature, start, step);
  const int32_t n_data = std::min(rain_records, temp_records);
  const int32_t n_obs = std::min(n_data, records_from(read_series_span(o.observed), o.observed, start, step));

  // The outlet.
  float row = 0.0f, col = 0.0f;
  map_to_cell(o.outlet->first, o.outlet->second, dem.geo, ni, row, col);
  if (!(row >= 0.5f && row < ni + 0.5f && col >= 0.5f && col < nj + 0.5f)) {
    throw InputError("init: the outlet " + num(o.outlet->first) + "," + num(o.outlet->second) +
                     " lies outside the DEM " + quoted_name(o.dem));
  }
  const double radius = o.snap ? *o.snap : 2.0 * cell;
  if (!o.snap) defaults.add("--snap, the radius searched for the outlet", num(radius) + " m (2 cells)");
  const Snapped snapped = snap_outlet(o, dem, row, col, radius / cell);

  // Terrain files named like the DEM's format, so that they keep its georeference.
  const std::string ext = grid_format(o.dem) == GridFormat::geotiff ? ".tif" : ".asc";
  const std::string directions = "dir" + ext, elevation = "elev" + ext, areas = "area" + ext;

  const double dt_sim = step <= 3600 ? static_cast<double>(step) : (step % 3600 == 0 ? 3600.0 : static_cast<double>(step));
  defaults.add("DT_SIM, the simulation time step", num(dt_sim) + " s");
  const double a_channel = 100.0 * cell_km2;
  defaults.add("A_CHANNEL, the contributing area of a channel cell", num(a_channel) + " km2 (100 cells)");
  defaults.add("WD_HILL, the width-to-depth ratio of hillslope flow", "15");
  defaults.add("roughness classes", "3, Strickler coefficients 6 (forest), 9 (grass), 12 (settlement)");
  defaults.add("WD_CHAN, KS_CHAN_TOP, KS_CHAN_OUT, the channel", "12, 18, 32");
  defaults.add("K_SUB, the subsurface celerity per unit slope", "0.002 m/s");
  defaults.add("W_SUB, the subsurface flow width", num(cell) + " m (the cell size)");
  defaults.add("TAU_SUB, the time constant of the subsurface store", "259200 s (3 days)");
  defaults.add("F_SUB_CAP, the subsurface store capacity", "2 x the soil retention");
  defaults.add("IA_RATIO, the initial-abstraction ratio", "0.2");
  defaults.add("IMPERVIOUS (event runs)", "0");
  defaults.add("rain interpolation", "2 (inverse squared distance)");
  defaults.add("the terrain files", directions + ", " + elevation + ", " + areas + ", links.txt");
  defaults.add("the discharge file of single runs", "discharge.csv (surface and total flow, dated)");

  std::vector<std::pair<fs::path, std::string>> files;
  std::string roughness = o.roughness, curve_numbers = o.curve_numbers;
  if (roughness.empty()) {
    roughness = "rough.txt";
    files.emplace_back(roughness, grid_text(ni, nj, "2"));
    defaults.add("--roughness, the roughness classes", "class 2 (grass) everywhere, in rough.txt");
  }
  if (curve_numbers.empty()) {
    curve_numbers = "cn.txt";
    files.emplace_back(curve_numbers, grid_text(ni, nj, "70.0"));
    defaults.add("--curve-numbers, the curve numbers", "70 everywhere, in cn.txt");
  }
  const fs::path et = beside_series(o.temperature, "et");
  if (!file_exists(et)) {
    files.emplace_back(et, kEtTable);
    defaults.add("the evapotranspiration coefficients", "those of the example catchment, in " + et.string());
  }
  defaults.add("search settings (scein.dat record 1)", "MAXTRIALS 2000, kstop 5, PCTCHANGE 0.01, NGS 2, SEED 0");

  std::string c;
  auto value = [&c](const std::string& label, const std::string& v) { c += label + "\n" + v + "\n"; };
  c += "Tarvex control file written by tarvex init from " + o.dem + ", " + o.rain + ", " + o.temperature + ", " +
       o.observed + "\n";
  c += "Every value record is preceded by one label record; file names start in column 1.\n";
  value("Observed discharge file (calibration run)", o.observed);
  value("Header records of the observed discharge file (not used for a CSV file)", "1");
  value("Number of observed discharge values", std::to_string(n_obs));
  value("Date of the first record: day, month, year", date_text(start));
  value("DEM file (terrain preprocessing)", o.dem);
  value("Number of records of the rain and temperature series", std::to_string(n_data));
  value("Time step of the records, s", real(static_cast<double>(step)));
  value("Rows and columns of the grids", std::to_string(ni) + " " + std::to_string(nj));
  value("Cell sizes along rows and columns, m", real(cell) + " " + real(cell));
  value("Simulation time step, s", real(dt_sim));
  value("Contributing area of a channel cell, km2", real(a_channel));
  value("Width-to-depth ratio of hillslope flow", "15.");
  value("Number of hillslope roughness classes", "3");
  value("Strickler coefficients of the classes 1 (forest), 2 (grass), 3 (settlement)", "6. 9. 12.");
  value("Roughness-class file", roughness);
  value("Channel: width-to-depth ratio, Strickler coefficient at the top of the network and at the outlet",
        "12. 18. 32.");
  value("Subsurface celerity per unit slope, m/s", "0.002");
  value("Subsurface flow width, m", real(cell));
  value("Time constant of the subsurface store, s", "259200.");
  value("Subsurface store capacity, multiple of the soil retention", "2.0");
  value("Initial-abstraction ratio / soil store fraction", "0.2");
  value("Outlet cell: row, column", std::to_string(snapped.outlet.i) + " " + std::to_string(snapped.outlet.j));
  value("Impervious catchment in the event run (1 = yes)", "0");
  value("Rain interpolation (1 = nearest gauge, other = inverse squared distance)", "2");
  value("Flow-direction file", directions);
  value("Number of cells exempt from pit raising", "0");
  c += "Row and column of each exempt cell\n";
  c += "A51 Network files\n" + elevation + "\n";
  value("Contributing-area file", areas);
  value("Link-property file", "links.txt");
  value("Curve-number file", curve_numbers);
  value("Rain file", o.rain);
  value("Temperature file", o.temperature);
  value("Number of output cross-sections", "1");
  value("Row and column of the output cross-section",
        std::to_string(snapped.section.i) + " " + std::to_string(snapped.section.j));
  c += "Output of single runs\nA67 Output settings\ndischarge.csv\n";
  value("Flow components (1 = total only, 2 = surface and total)", "2");
  value("Output kind (1 = series at the record step, 2 = annual maxima)", "1");

  std::string sce = " 2000    5 0.01    2    0    0\n     (default algorithm settings)\n";
  sce += parameter_record(a_channel, 20.0 * cell_km2, 400.0 * cell_km2);  // A_CHANNEL, km2
  sce += parameter_record(15.0, 5.0, 50.0);                               // WD_HILL
  sce += parameter_record(6.0, 2.0, 15.0);                                // KS_CLASS(1)
  sce += parameter_record(9.0, 3.0, 20.0);                                // KS_CLASS(2)
  sce += parameter_record(12.0, 5.0, 40.0);                               // KS_CLASS(3)
  sce += parameter_record(0.002, 0.0005, 0.01);                           // K_SUB, m/s
  sce += parameter_record(259200.0, 86400.0, 2592000.0);                  // TAU_SUB, s
  sce += parameter_record(2.0, 0.5, 5.0);                                 // F_SUB_CAP
  sce += parameter_record(0.2, 0.05, 0.5);                                // IA_RATIO

  files.insert(files.begin(), {fs::path("scein.dat"), sce});
  files.insert(files.begin(), {fs::path("Tarvex.in"), c});
  create_new_files(files);

  std::string out = "tarvex init: wrote";
  for (std::size_t k = 0; k < files.size(); ++k) out += (k ? ", " : " ") + files[k].first.string();
  out += "\nfrom the files:\n";
  out += "  grid: " + std::to_string(ni) + " x " + std::to_string(nj) + " cells of " + num(cell) + " m (" + o.dem +
         ")\n";
  out += "  records: " + std::to_string(n_data) + " of " + std::to_string(step) + " s from " +
         format_iso_time(start) + (o.start ? " (--start)" : "") + " (" + o.rain + ", " + o.temperature + ")\n";
  out += "  observed values: " + std::to_string(n_obs) + " (" + o.observed + ")\n";
  out += "  outlet: " + num(o.outlet->first) + "," + num(o.outlet->second) + " lies in cell " +
         std::to_string(snapped.under.i) + " " + std::to_string(snapped.under.j) + "; snapped within " + num(radius) +
         " m to cell " + std::to_string(snapped.outlet.i) + " " + std::to_string(snapped.outlet.j) + ", " +
         std::to_string(snapped.area) + " cells (" + num(snapped.area * cell_km2) + " km2) drain through it\n";
  out += "  output cross-section: cell " + std::to_string(snapped.section.i) + " " +
         std::to_string(snapped.section.j) + ", its largest inflow\n";
  if (ni > kLimits.grid_side || nj > kLimits.grid_side || n_data > kLimits.records) {
    out += "  the grid or the series exceed the capacities: run tarvex with --no-limits\n";
  }
  out += "defaults taken (edit the files to change them):\n" + defaults.text;
  out += "next: tarvex --mode 1, then tarvex --search\n";
  std::fputs(out.c_str(), stdout);
  return 0;
}

}  // namespace

int run_init_command(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "-h" || a == "--help") {
      std::fputs(usage_text(), stdout);
      return 0;
    }
  }
  try {
    return init(parse_init_options(args));
  } catch (const UsageError& e) {
    std::fprintf(stderr, "tarvex: %s; see tarvex --help\n", escaped(e.what).c_str());
    return 2;
  } catch (const InputError& e) {
    std::fprintf(stderr, "tarvex: error: %s\n", e.what());
    return 1;
  }
}

}  // namespace tarvex

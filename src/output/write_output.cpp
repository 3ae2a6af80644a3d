#include "output/write_output.hpp"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "io/input_error.hpp"
#include "io/record_reader.hpp"
#include "io/text_writer.hpp"

namespace tarvex {
namespace {

// Output steps of one year of hourly records.
constexpr int32_t YEAR_STEPS = 8760;
// Values per line of the result grids.
constexpr int32_t GRID_PER_LINE = 1000;

// Surface and total discharge of one cross-section at the output step, m3/s.
struct OutputSeries {
  std::vector<float> surf;  // [m - 1], output step m
  std::vector<float> total;
};

// The simulated series of cross-section k as output series: copied when
// the steps are equal, otherwise averaged over blocks of R = DT_RAIN/DT_SIM
// simulation steps. A block never reads past step nsteps.
OutputSeries output_series(const ModelState& s, int32_t k, int32_t nsteps) {
  OutputSeries o;
  o.surf.assign(static_cast<std::size_t>(nsteps), 0.0f);
  o.total.assign(static_cast<std::size_t>(nsteps), 0.0f);
  if (s.DT_RAIN == s.DT_SIM) {
    for (int32_t n = 1; n <= nsteps; ++n) {
      o.surf[static_cast<std::size_t>(n - 1)] = s.Q_SECTION_SURF(n, k);
      o.total[static_cast<std::size_t>(n - 1)] = s.Q_SECTION(n, k);
    }
    return o;
  }
  const float R = s.DT_RAIN / s.DT_SIM;
  int32_t i = 1;
  std::size_t m = 0;
  while (i < nsteps) {
    float sum_surf = 0.0f;
    float sum_total = 0.0f;
    int32_t j = i;
    for (; j <= nsteps && static_cast<float>(j) <= static_cast<float>(i) + R - 1.0f; ++j) {
      sum_surf = sum_surf + s.Q_SECTION_SURF(j, k);
      sum_total = sum_total + s.Q_SECTION(j, k);
    }
    o.surf[m] = sum_surf / R;
    o.total[m] = sum_total / R;
    ++m;
    // A ratio below 1 would not advance the block; the driver refuses it.
    i = std::max(j, i + 1);
  }
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

template <class T, class Put>
void write_grid(const char* name, const ModelState& s, const Grid<T>& g, Put&& put) {
  TextWriter out(name);
  for (int32_t i = 1; i <= s.NI; ++i) {
    const T* row = g.row(i);
    write_grid_row(out, s.NJ, GRID_PER_LINE, [&](std::string& buf, int32_t k) { put(buf, row[k]); });
  }
  out.close();
}

void check_grid(const char* name, int32_t rows, int32_t cols, const ModelState& s) {
  if (s.NI > 0 && s.NJ > 0 && (rows != s.NI || cols != s.NJ)) {
    throw InputError(std::string("result file '") + name + "': the grid is not sized " + std::to_string(s.NI) +
                     " x " + std::to_string(s.NJ));
  }
}

}  // namespace

void WRITE_OUTPUT(ModelState& s, int32_t& /*reserved*/, int32_t& nsteps) {
  RecordReader ctl("Tarvex.in");
  ctl.find_marker("A67");

  if (s.N_SECTIONS > 0) {
    if (s.N_SECTIONS > MAX_SECTIONS) {
      throw InputError("result output: " + std::to_string(s.N_SECTIONS) + " cross-sections, at most " +
                       std::to_string(MAX_SECTIONS) + " can be written");
    }
    if (nsteps < 0 || nsteps > MAX_RECORDS) {
      throw InputError("result output: " + std::to_string(nsteps) + " steps, the series hold at most " +
                       std::to_string(MAX_RECORDS));
    }
    std::vector<std::unique_ptr<TextWriter>> files;
    for (int32_t k = 1; k <= s.N_SECTIONS; ++k) {
      const std::string name = ctl.name_item("the name of the discharge file of cross-section " + std::to_string(k));
      files.push_back(std::make_unique<TextWriter>(name));
    }
    ctl.skip(1);
    int32_t components = 0;  // 1: total flow only, else surface and total
    ctl.values("the flow components of the discharge file (1 = total only)", components);
    ctl.skip(1);
    int32_t kind = 0;  // 1: time series, else annual maxima
    ctl.values("the kind of discharge output (1 = time series)", kind);
    if (kind == 2) components = 1;

    for (auto& f : files) {
      if (kind == 1) {
        f->line(ListLine().text("Simulated river flow").str());
        f->line(ListLine().text(components == 1 ? "   Step    Total Flow" : "  Step   Surface Flow    Total Flow").str());
      } else {
        f->line(ListLine().text("Simulated annual maximum flow").str());
        f->line(ListLine().text("   Year    Total Flow").str());
      }
    }

    std::vector<OutputSeries> series;
    for (int32_t k = 1; k <= s.N_SECTIONS; ++k) series.push_back(output_series(s, k, nsteps));
    if (s.DT_RAIN != s.DT_SIM) {
      nsteps = static_cast<int32_t>(static_cast<float>(nsteps) / (s.DT_RAIN / s.DT_SIM));
    }
    for (int32_t k = 1; k <= s.N_SECTIONS; ++k) {
      const std::size_t x = static_cast<std::size_t>(k - 1);
      write_flow(*files[x], series[x], nsteps, components, kind);
      files[x]->close();
    }
  }

  check_grid("TotRain.out", s.CUM_RAIN.rows(), s.CUM_RAIN.cols(), s);
  check_grid("RaingThDistr.out", s.RAIN_STATION_MAP.rows(), s.RAIN_STATION_MAP.cols(), s);
  check_grid("Slope.out", s.SLOPE.rows(), s.SLOPE.cols(), s);
  write_grid("TotRain.out", s, s.CUM_RAIN, [](std::string& b, float v) { put_fixed(b, v, 12, 2); });
  write_grid("RaingThDistr.out", s, s.RAIN_STATION_MAP, [](std::string& b, int32_t v) { put_int(b, v, 3); });
  if (s.RUN_MODE != 2) {
    check_grid("TempStDistr.out", s.TEMP_STATION_MAP.rows(), s.TEMP_STATION_MAP.cols(), s);
    write_grid("TempStDistr.out", s, s.TEMP_STATION_MAP, [](std::string& b, int32_t v) { put_int(b, v, 3); });
  }
  write_grid("Slope.out", s, s.SLOPE, [](std::string& b, float v) {
    put_fixed(b, v, 8, 4);
    put_blanks(b, 1);
  });
}

}  // namespace tarvex

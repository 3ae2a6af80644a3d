// Terrain preprocessing phases on a seeded 1000 x 1000 DEM, each timed on
// its own on an in-memory state: pit removal, directions, contributing area,
// ordering; catchment mask and link properties on a 1000 x 1000 valley whose
// ordering succeeds (a rough DEM of that size has far more than 9999 sources
// and ends at the link table). The cell-by-cell versions kept for the tests
// are timed once for comparison. --size=N sets the side of both DEMs;
// --no-limits lifts the capacities (the realistic DEM then orders and lists
// all its links). --dem=FILE adds the pit methods and the later phases on
// that DEM (an .asc grid) tiled to --tiled=N cells a side (default 4000),
// every other tile mirrored so that the tiles meet along equal edges.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <memory>
#include <random>
#include <vector>

#include "../tests/terrain/terrain_reference.hpp"
#include "model/model_state.hpp"
#include "io/text_writer.hpp"
#include "terrain/contributing_area.hpp"
#include "terrain/flow_directions.hpp"
#include "terrain/mask.hpp"
#include "terrain/mod1.hpp"
#include "terrain/ordini.hpp"
#include "terrain/param.hpp"
#include "terrain/breach.hpp"
#include "terrain/priority_flood.hpp"
#include "terrain/unpit.hpp"

namespace {

using namespace tarvex;

int32_t kSize = 1000;      // --size=N
bool g_no_limits = false;  // --no-limits
std::string g_dem;         // --dem=FILE
int32_t g_tiled = 4000;    // --tiled=N

// Standard output to /dev/null while alive (the progress lines of UNPIT).
class QuietStdout {
 public:
  QuietStdout() {
    std::fflush(stdout);
    saved_ = ::dup(1);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::close(null);
  }
  ~QuietStdout() {
    std::fflush(stdout);
    ::dup2(saved_, 1);
    ::close(saved_);
  }

 private:
  int saved_ = -1;
};

// Value noise: random heights on a lattice of the given spacing, smoothly
// interpolated.
std::vector<float> value_noise(std::mt19937& rng, int32_t spacing) {
  const int32_t n = kSize / spacing + 2;
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  std::vector<float> lattice(static_cast<std::size_t>(n * n));
  for (float& v : lattice) v = u(rng);
  std::vector<float> out(static_cast<std::size_t>(kSize) * kSize);
  auto smooth = [](float t) { return t * t * (3.0f - 2.0f * t); };
  for (int32_t i = 0; i < kSize; ++i) {
    const int32_t a = i / spacing;
    const float ti = smooth(static_cast<float>(i % spacing) / static_cast<float>(spacing));
    for (int32_t j = 0; j < kSize; ++j) {
      const int32_t b = j / spacing;
      const float tj = smooth(static_cast<float>(j % spacing) / static_cast<float>(spacing));
      const float v00 = lattice[static_cast<std::size_t>(a * n + b)];
      const float v01 = lattice[static_cast<std::size_t>(a * n + b + 1)];
      const float v10 = lattice[static_cast<std::size_t>((a + 1) * n + b)];
      const float v11 = lattice[static_cast<std::size_t>((a + 1) * n + b + 1)];
      out[static_cast<std::size_t>(i) * kSize + static_cast<std::size_t>(j)] =
          (v00 * (1 - tj) + v01 * tj) * (1 - ti) + (v10 * (1 - tj) + v11 * tj) * ti;
    }
  }
  return out;
}

// Hills of several scales on a valley falling toward the last row, with
// closed depressions, a few lakes (flat patches), single-cell pits, a no-data
// margin on one side, elevations rounded to 0.1 m.
std::vector<float> realistic_dem() {
  std::mt19937 rng(19870521);
  std::vector<float> z(static_cast<std::size_t>(kSize) * kSize, 0.0f);
  float amplitude = 120.0f;
  for (int32_t spacing : {250, 125, 50, 20, 8, 4}) {
    const std::vector<float> octave = value_noise(rng, spacing);
    for (std::size_t k = 0; k < z.size(); ++k) z[k] += amplitude * octave[k];
    amplitude *= 0.45f;
  }
  for (int32_t i = 0; i < kSize; ++i) {
    for (int32_t j = 0; j < kSize; ++j) {
      float& v = z[static_cast<std::size_t>(i) * kSize + static_cast<std::size_t>(j)];
      v += 300.0f + 0.4f * static_cast<float>(kSize - i) + 0.25f * std::fabs(static_cast<float>(j - kSize / 2));
    }
  }
  std::uniform_int_distribution<int32_t> cell(20, kSize - 40);
  for (int lake = 0; lake < 25; ++lake) {
    const int32_t i0 = cell(rng), j0 = cell(rng);
    const float level = z[static_cast<std::size_t>(i0) * kSize + static_cast<std::size_t>(j0)];
    for (int32_t i = i0; i < i0 + 15; ++i)
      for (int32_t j = j0; j < j0 + 20; ++j) {
        float& v = z[static_cast<std::size_t>(i) * kSize + static_cast<std::size_t>(j)];
        v = std::fmin(v, level);
      }
  }
  for (int pit = 0; pit < 3000; ++pit) z[static_cast<std::size_t>(cell(rng)) * kSize + static_cast<std::size_t>(cell(rng))] -= 4.0f;
  for (float& v : z) v = std::round(v * 10.0f) / 10.0f;
  for (int32_t i = 0; i < 200; ++i)
    for (int32_t j = 0; j < 3; ++j) z[static_cast<std::size_t>(i) * kSize + static_cast<std::size_t>(j)] = -1.0f;
  return z;
}

std::unique_ptr<ModelState> fresh_state() {
  auto s = std::make_unique<ModelState>();
  if (g_no_limits) s->control.limits = kNoLimits;
  s->catchment.NI = kSize;
  s->catchment.NJ = kSize;
  s->size_terrain_grids(kSize, kSize);
  s->catchment.OUTLET_I = kSize;
  s->catchment.OUTLET_J = kSize / 2;
  return s;
}

const std::vector<float>& dem() {
  static const std::vector<float> z = realistic_dem();
  return z;
}

void load(ModelState& s, const std::vector<float>& z) {
  std::copy(z.begin(), z.end(), s.catchment.ELEVATION.data());
}

// State after each phase of the realistic DEM, computed once.
ModelState& realistic_after(int phase) {
  static std::unique_ptr<ModelState> s;
  static int done = -1;
  if (!s) {
    s = fresh_state();
    load(*s, dem());
  }
  Array1<int32_t, kLimits.exempt_cells> none;
  int32_t err = 0;
  while (done < phase) {
    ++done;
    if (done == 0) {
      QuietStdout quiet;
      UNPIT(s->catchment.ELEVATION, 0, none, none, elevation_ceiling(s->catchment.ELEVATION), err);
    } else if (done == 1) {
      set_flow_directions(s->catchment.ELEVATION, s->catchment.FLOW_DIR);
    } else if (done == 2) {
      CONTRIBUTING_AREA(s->catchment.FLOW_DIR, s->catchment.AREA_CELLS, s->catchment.STREAM_ORDER);
    }
  }
  return *s;
}

void BM_PitRemoval(benchmark::State& state) {
  auto s = fresh_state();
  Array1<int32_t, kLimits.exempt_cells> none;
  int64_t raises = 0;
  for (auto _ : state) {
    state.PauseTiming();
    load(*s, dem());
    const float ceiling = elevation_ceiling(s->catchment.ELEVATION);
    int32_t err = 0;
    state.ResumeTiming();
    QuietStdout quiet;
    raises = UNPIT(s->catchment.ELEVATION, 0, none, none, ceiling, err);
  }
  state.counters["raises"] = static_cast<double>(raises);
}
BENCHMARK(BM_PitRemoval)->Unit(benchmark::kMillisecond)->Iterations(3);

// The cell-by-cell sweep on the top-left 250 x 250 cells only: on the whole
// grid it rescans a row after every raise.
void BM_PitRemovalCellByCell250(benchmark::State& state) {
  auto s = std::make_unique<ModelState>();
  s->catchment.NI = 250;
  s->catchment.NJ = 250;
  s->size_terrain_grids(250, 250);
  Array1<int32_t, kLimits.exempt_cells> none;
  int64_t raises = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (int32_t i = 1; i <= 250; ++i)
      for (int32_t j = 1; j <= 250; ++j) s->catchment.ELEVATION(i, j) = dem()[static_cast<std::size_t>(i - 1) * kSize + static_cast<std::size_t>(j - 1)];
    const float ceiling = elevation_ceiling(s->catchment.ELEVATION);
    int32_t err = 0;
    state.ResumeTiming();
    QuietStdout quiet;
    raises = test::unpit_reference(*s, 0, none, none, ceiling, err);
  }
  state.counters["raises"] = static_cast<double>(raises);
}
BENCHMARK(BM_PitRemovalCellByCell250)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_PitRemoval250(benchmark::State& state) {
  auto s = std::make_unique<ModelState>();
  s->catchment.NI = 250;
  s->catchment.NJ = 250;
  s->size_terrain_grids(250, 250);
  Array1<int32_t, kLimits.exempt_cells> none;
  int64_t raises = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (int32_t i = 1; i <= 250; ++i)
      for (int32_t j = 1; j <= 250; ++j) s->catchment.ELEVATION(i, j) = dem()[static_cast<std::size_t>(i - 1) * kSize + static_cast<std::size_t>(j - 1)];
    const float ceiling = elevation_ceiling(s->catchment.ELEVATION);
    int32_t err = 0;
    state.ResumeTiming();
    QuietStdout quiet;
    raises = UNPIT(s->catchment.ELEVATION, 0, none, none, ceiling, err);
  }
  state.counters["raises"] = static_cast<double>(raises);
}
BENCHMARK(BM_PitRemoval250)->Unit(benchmark::kMillisecond);

void BM_FlowDirections(benchmark::State& state) {
  ModelState& s = realistic_after(0);
  for (auto _ : state) set_flow_directions(s.catchment.ELEVATION, s.catchment.FLOW_DIR);
}
BENCHMARK(BM_FlowDirections)->Unit(benchmark::kMillisecond);

void BM_ContributingArea(benchmark::State& state) {
  ModelState& s = realistic_after(1);
  Grid<int32_t> pending;
  for (auto _ : state) CONTRIBUTING_AREA(s.catchment.FLOW_DIR, s.catchment.AREA_CELLS, pending);
  state.counters["largest"] = static_cast<double>(*std::max_element(s.catchment.AREA_CELLS.data(), s.catchment.AREA_CELLS.data() + s.catchment.AREA_CELLS.size()));
}
BENCHMARK(BM_ContributingArea)->Unit(benchmark::kMillisecond);

void BM_ContributingAreaSweeps(benchmark::State& state) {
  ModelState& s = realistic_after(1);
  for (auto _ : state) test::area_reference(s);
}
BENCHMARK(BM_ContributingAreaSweeps)->Unit(benchmark::kMillisecond)->Iterations(1);

void order_network(ModelState& s) {
  ORDINI(s.catchment.FLOW_DIR, s.catchment.AREA_CELLS, s.catchment.OUTLET_I, s.catchment.OUTLET_J, s.control.limits.paths, s.catchment.STREAM_ORDER,
         {s.catchment.LINK_ORD, s.catchment.LINK_I, s.catchment.LINK_J}, s.catchment.LINK_OVERFLOW, nullptr);
}

// Ends at the link table: far more than 9999 sources.
void BM_OrderingRealistic(benchmark::State& state) {
  ModelState& s = realistic_after(2);
  for (auto _ : state) order_network(s);
  state.counters["overflow"] = s.catchment.LINK_OVERFLOW;
}
BENCHMARK(BM_OrderingRealistic)->Unit(benchmark::kMillisecond);

// A valley: every row drains sideways into the middle column, so 2000 sources
// and an order-2 stream continued through 998 junctions (one sweep each).
ModelState& valley_after_area() {
  static std::unique_ptr<ModelState> s;
  if (!s) {
    s = fresh_state();
    for (int32_t i = 1; i <= kSize; ++i)
      for (int32_t j = 1; j <= kSize; ++j)
        s->catchment.ELEVATION(i, j) = 100.0f + 2.0f * static_cast<float>(kSize - i) + 3.0f * static_cast<float>(std::abs(j - kSize / 2));
    set_flow_directions(s->catchment.ELEVATION, s->catchment.FLOW_DIR);
    CONTRIBUTING_AREA(s->catchment.FLOW_DIR, s->catchment.AREA_CELLS, s->catchment.STREAM_ORDER);
  }
  return *s;
}

void BM_OrderingValley(benchmark::State& state) {
  ModelState& s = valley_after_area();
  for (auto _ : state) order_network(s);
  state.counters["overflow"] = s.catchment.LINK_OVERFLOW;
}
BENCHMARK(BM_OrderingValley)->Unit(benchmark::kMillisecond);

void BM_OrderingValleyFullSweeps(benchmark::State& state) {
  ModelState& s = valley_after_area();
  for (auto _ : state) test::ordini_reference(s);
}
BENCHMARK(BM_OrderingValleyFullSweeps)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_MaskAndLinksValley(benchmark::State& state) {
  ModelState& s = valley_after_area();
  order_network(s);
  const auto file = std::filesystem::temp_directory_path() / "tarvex-bench-links.txt";
  for (auto _ : state) {
    MASK(s.catchment.FLOW_DIR, s.catchment.AREA_CELLS, s.catchment.STREAM_ORDER, s.catchment.OUTLET_I, s.catchment.OUTLET_J, s.catchment.CATCHMENT_MASK);
    TextWriter out(file);
    write_link_properties(out, PARAM(s.catchment.FLOW_DIR, s.catchment.STREAM_ORDER, s.catchment.CATCHMENT_MASK, s.catchment.LINK_ORD, s.catchment.LINK_I, s.catchment.LINK_J));
    out.close();
  }
  std::filesystem::remove(file);
}
BENCHMARK(BM_MaskAndLinksValley)->Unit(benchmark::kMillisecond);

// Mask and link list of the realistic DEM: all its links once the
// capacities are lifted.
void BM_MaskAndLinksRealistic(benchmark::State& state) {
  ModelState& s = realistic_after(2);
  order_network(s);
  const auto file = std::filesystem::temp_directory_path() / "tarvex-bench-links-realistic.txt";
  int32_t links = 0;
  for (auto _ : state) {
    MASK(s.catchment.FLOW_DIR, s.catchment.AREA_CELLS, s.catchment.STREAM_ORDER, s.catchment.OUTLET_I, s.catchment.OUTLET_J, s.catchment.CATCHMENT_MASK);
    TextWriter out(file);
    write_link_properties(out, PARAM(s.catchment.FLOW_DIR, s.catchment.STREAM_ORDER, s.catchment.CATCHMENT_MASK, s.catchment.LINK_ORD, s.catchment.LINK_I, s.catchment.LINK_J));
    out.close();
  }
  for (int32_t k = 1; k <= s.catchment.LINK_ORD.size() && s.catchment.LINK_ORD(k) != -1; ++k) ++links;
  state.counters["overflow"] = s.catchment.LINK_OVERFLOW;
  state.counters["links"] = links;
  std::filesystem::remove(file);
}
BENCHMARK(BM_MaskAndLinksRealistic)->Unit(benchmark::kMillisecond);

// The DEM of --dem tiled to g_tiled x g_tiled: tile (a, b) flipped top to
// bottom when a is odd and left to right when b is odd.
const Grid<float>& tiled_dem() {
  static Grid<float> z;
  if (z.rows() == 0) {
    // An ESRI ASCII grid: six header lines (ncols, nrows, corner, cell
    // size, no-data), then the rows; negative values are no data.
    std::ifstream in(g_dem);
    int32_t ni = 0, nj = 0;
    std::string key, value;
    for (int h = 0; h < 6 && in >> key >> value; ++h) {
      if (key == "ncols") nj = std::stoi(value);
      if (key == "nrows") ni = std::stoi(value);
    }
    Grid<float> tile;
    tile.resize(ni, nj);
    for (std::size_t k = 0; k < tile.size(); ++k) {
      in >> tile.data()[k];
      if (tile.data()[k] < 0.0f) tile.data()[k] = -1.0f;
    }
    if (!in || ni < 1 || nj < 1) {
      std::fprintf(stderr, "bench_terrain: cannot read %s as an ESRI ASCII grid\n", g_dem.c_str());
      std::exit(2);
    }
    z.resize(g_tiled, g_tiled);
    for (int32_t i = 0; i < g_tiled; ++i) {
      const int32_t a = i / ni, r = (a % 2) ? ni - 1 - i % ni : i % ni;
      for (int32_t j = 0; j < g_tiled; ++j) {
        const int32_t b = j / nj, c = (b % 2) ? nj - 1 - j % nj : j % nj;
        z(i + 1, j + 1) = tile(r + 1, c + 1);
      }
    }
  }
  return z;
}

std::unique_ptr<ModelState> tiled_state() {
  auto s = std::make_unique<ModelState>();
  s->control.limits = kNoLimits;
  s->catchment.NI = g_tiled;
  s->catchment.NJ = g_tiled;
  s->size_terrain_grids(g_tiled, g_tiled);
  s->catchment.OUTLET_I = g_tiled;
  s->catchment.OUTLET_J = 1;
  return s;
}

// Pit removal of the tiled DEM by filling, or by breaching then filling.
void BM_TiledPits(benchmark::State& state, PitMethod method) {
  const Grid<float>& dem = tiled_dem();
  Grid<float> z;
  int64_t changed = 0;
  for (auto _ : state) {
    state.PauseTiming();
    z = dem;
    const std::vector<uint8_t> fixed = fixed_cells(z, 0, {}, {});
    state.ResumeTiming();
    if (method == PitMethod::fill) {
      changed = fill_pits(z, fixed).change.cells;
    } else {
      const BreachResult b = breach_pits(z, fixed, 100, 10.0f);
      changed = b.change.cells + fill_pits(z, fixed, {}, b.carved).change.cells;
    }
  }
  state.counters["altered"] = static_cast<double>(changed);
}

// The phases after the filling, each on the state the previous one left.
ModelState& tiled_after(int phase) {
  static std::unique_ptr<ModelState> s;
  static int done = -1;
  if (!s) {
    s = tiled_state();
    s->catchment.ELEVATION = tiled_dem();
    fill_pits(s->catchment.ELEVATION, fixed_cells(s->catchment.ELEVATION, 0, {}, {}));
  }
  while (done < phase) {
    ++done;
    if (done == 0) set_flow_directions(s->catchment.ELEVATION, s->catchment.FLOW_DIR);
    if (done == 1) CONTRIBUTING_AREA(s->catchment.FLOW_DIR, s->catchment.AREA_CELLS, s->catchment.STREAM_ORDER);
    if (done == 2) order_network(*s);
  }
  return *s;
}

void BM_TiledDirections(benchmark::State& state) {
  ModelState& s = tiled_after(-1);
  for (auto _ : state) set_flow_directions(s.catchment.ELEVATION, s.catchment.FLOW_DIR);
}

void BM_TiledArea(benchmark::State& state) {
  ModelState& s = tiled_after(0);
  Grid<int32_t> pending;
  for (auto _ : state) CONTRIBUTING_AREA(s.catchment.FLOW_DIR, s.catchment.AREA_CELLS, pending);
}

void BM_TiledOrdering(benchmark::State& state) {
  ModelState& s = tiled_after(1);
  for (auto _ : state) order_network(s);
  state.counters["overflow"] = s.catchment.LINK_OVERFLOW;
}

void BM_TiledMaskAndLinks(benchmark::State& state) {
  ModelState& s = tiled_after(2);
  const auto file = std::filesystem::temp_directory_path() / "tarvex-bench-links-tiled.txt";
  for (auto _ : state) {
    MASK(s.catchment.FLOW_DIR, s.catchment.AREA_CELLS, s.catchment.STREAM_ORDER, s.catchment.OUTLET_I, s.catchment.OUTLET_J, s.catchment.CATCHMENT_MASK);
    TextWriter out(file);
    write_link_properties(out, PARAM(s.catchment.FLOW_DIR, s.catchment.STREAM_ORDER, s.catchment.CATCHMENT_MASK, s.catchment.LINK_ORD, s.catchment.LINK_I, s.catchment.LINK_J));
    out.close();
  }
  std::filesystem::remove(file);
}

void register_tiled() {
  if (g_dem.empty()) return;
  benchmark::RegisterBenchmark("BM_TiledFill", BM_TiledPits, PitMethod::fill)->Unit(benchmark::kMillisecond)->Iterations(1);
  benchmark::RegisterBenchmark("BM_TiledBreach", BM_TiledPits, PitMethod::breach)->Unit(benchmark::kMillisecond)->Iterations(1);
  benchmark::RegisterBenchmark("BM_TiledDirections", BM_TiledDirections)->Unit(benchmark::kMillisecond)->Iterations(1);
  benchmark::RegisterBenchmark("BM_TiledArea", BM_TiledArea)->Unit(benchmark::kMillisecond)->Iterations(1);
  benchmark::RegisterBenchmark("BM_TiledOrdering", BM_TiledOrdering)->Unit(benchmark::kMillisecond)->Iterations(1);
  benchmark::RegisterBenchmark("BM_TiledMaskAndLinks", BM_TiledMaskAndLinks)->Unit(benchmark::kMillisecond)->Iterations(1);
}

// Takes --size=N, --no-limits, --dem=FILE and --tiled=N off the command line.
void take_own_options(int& argc, char** argv) {
  int out = 1;
  for (int k = 1; k < argc; ++k) {
    if (std::strncmp(argv[k], "--size=", 7) == 0) {
      kSize = std::atoi(argv[k] + 7);
    } else if (std::strcmp(argv[k], "--no-limits") == 0) {
      g_no_limits = true;
    } else if (std::strncmp(argv[k], "--dem=", 6) == 0) {
      g_dem = argv[k] + 6;
    } else if (std::strncmp(argv[k], "--tiled=", 8) == 0) {
      g_tiled = std::atoi(argv[k] + 8);
    } else {
      argv[out++] = argv[k];
    }
  }
  argc = out;
  const int32_t top = g_no_limits ? kNoLimits.grid_side : kLimits.grid_side;
  if (kSize < 300 || kSize > top) {
    std::fprintf(stderr, "bench_terrain: --size must be 300..%d\n", top);
    std::exit(2);
  }
}

}  // namespace

int main(int argc, char** argv) {
  take_own_options(argc, argv);
  benchmark::Initialize(&argc, argv);
  register_tiled();
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

// Simulation benchmarks on a synthetic catchment built in memory: one
// continuous objective-function run and one event run over a year of hourly
// records, each with 1 and 2 threads.
//
//   bench_simulation [--size=N] [--records=N] [--gauges=N] [--outages] [--hash] [benchmark options]
//
// --size sets the grid to N x N cells (default 500), --records the length
// of the rain and temperature series (default 8760, one year); --outages
// takes rain gauge 2 out for three days in every thirty; --gauges sets the
// number of rain gauges (default 3; more lifts the capacities).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "model/model_state.hpp"
#include "simulation/simulation_run.hpp"
#include "synthetic_catchment.hpp"

namespace {

using namespace tarvex;
using synthetic::Catchment;
using synthetic::build_catchment;

int32_t g_size = 500;
int32_t g_records = 8760;
bool g_hash = false;
bool g_outages = false;
int32_t g_gauges = 3;

Catchment& catchment() {
  static Catchment c = [] {
    Catchment b = build_catchment(g_size, g_records, g_outages);
    if (g_gauges != 3) synthetic::add_gauges(*b.s, g_gauges);
    return b;
  }();
  return c;
}

double peak_rss_mib() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<double>(ru.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

void set_counters(benchmark::State& state, const Catchment& c, double seconds, double cell_steps) {
  state.counters["wall_s"] = seconds;
  state.counters["ns_per_cell_step"] = seconds * 1e9 / cell_steps;
  state.counters["peak_rss_MiB"] = peak_rss_mib();
  state.counters["cells"] = static_cast<double>(c.cells);
  state.counters["links"] = c.links;
  state.counters["max_order"] = c.max_order;
}

// Threads of a run; the build before the run engine has no such setting.
void set_jobs(ModelState& s, int64_t jobs) {
#if __has_include("simulation/run_engine.hpp")
  s.control.RUN_JOBS = static_cast<int32_t>(jobs);
#else
  (void)s;
  (void)jobs;
#endif
}

// One complete run over the whole record: forcing, runoff generation,
// calendar, routing, recording. kind/mode select the continuous
// objective-function run (mode 4) or the single event run (mode 2).
void run_bench(benchmark::State& state, RunKind kind, int32_t mode) {
  Catchment& c = catchment();
  ModelState& s = *c.s;
  s.control.RUN_MODE = mode;
  set_jobs(s, state.range(0));
  double seconds = 0.0;
  int64_t steps = 0;
  // The outlet discharge is reported as a counter, which keeps the work
  // observable; the installed library's DoNotOptimize garbles a float.
  float last = 0.0f;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    RunTables& t = kind == RunKind::single ? s.run.single_run : s.run.objective_run;
    const int32_t nout = RUN_SIMULATION(s, t, kind);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    steps += nout;
    last = s.results.Q_SECTION(nout, 1);
  }
  s.control.RUN_MODE = 4;
  set_counters(state, c, seconds / static_cast<double>(state.iterations()),
               static_cast<double>(c.cells) * static_cast<double>(steps) / static_cast<double>(state.iterations()));
  state.counters["steps"] = static_cast<double>(steps) / static_cast<double>(state.iterations());
  state.counters["outlet_m3s"] = last;
}

// Continuous method (objective-function run); the argument is the thread count.
void BM_ObjectiveRun(benchmark::State& state) { run_bench(state, RunKind::objective, 4); }
BENCHMARK(BM_ObjectiveRun)->Arg(1)->Arg(2)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// Event method (single run in run mode 2).
void BM_EventRun(benchmark::State& state) { run_bench(state, RunKind::single, 2); }
BENCHMARK(BM_EventRun)->Arg(1)->Arg(2)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// --hash: prints the FNV-1a hash of the outlet discharge series of both
// methods and exits (pinned by the simulation tests at --size=60 --records=200).
void print_hashes() {
  Catchment& c = catchment();
  ModelState& s = *c.s;
  const int32_t n1 = RUN_SIMULATION(s, s.run.objective_run, RunKind::objective);
  std::printf("continuous %d steps: %016llx\n", n1,
              static_cast<unsigned long long>(synthetic::discharge_hash(s, n1)));
  s.control.RUN_MODE = 2;
  const int32_t n2 = RUN_SIMULATION(s, s.run.single_run, RunKind::single);
  std::printf("event %d steps: %016llx\n", n2, static_cast<unsigned long long>(synthetic::discharge_hash(s, n2)));
  s.control.RUN_MODE = 4;
}

// Takes --size=N, --records=N, --gauges=N, --outages and --hash off the command line.
void take_own_options(int& argc, char** argv) {
  int out = 1;
  for (int k = 1; k < argc; ++k) {
    if (std::strncmp(argv[k], "--size=", 7) == 0) {
      g_size = std::atoi(argv[k] + 7);
    } else if (std::strcmp(argv[k], "--hash") == 0) {
      g_hash = true;
    } else if (std::strcmp(argv[k], "--outages") == 0) {
      g_outages = true;
    } else if (std::strncmp(argv[k], "--gauges=", 9) == 0) {
      g_gauges = std::atoi(argv[k] + 9);
    } else if (std::strncmp(argv[k], "--records=", 10) == 0) {
      g_records = std::atoi(argv[k] + 10);
    } else {
      argv[out++] = argv[k];
    }
  }
  argc = out;
  if (g_size < 3 || g_size > kLimits.grid_side || g_records < 1 || g_records > kLimits.records || g_gauges < 3 ||
      g_gauges > 1000) {
    std::fprintf(stderr, "bench_simulation: --size must be 3..%d, --records 1..%d and --gauges 3..1000\n",
                 kLimits.grid_side, kLimits.records);
    std::exit(2);
  }
}

}  // namespace

int main(int argc, char** argv) {
  take_own_options(argc, argv);
  if (g_hash) {
    print_hashes();
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

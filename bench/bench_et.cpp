// Monthly evapotranspiration of a block of cells: step_depth cell by cell
// (extended precision) against step_depths (doubles, proven per value).
// Temperatures of 4096 cells spread over -30..45 C, taken in blocks of 128
// as the run engine does.
//
//   bench_et [benchmark options]
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "model/model_state.hpp"
#include "simulation/continuous.hpp"

namespace {

using namespace tarvex;

constexpr int32_t CELLS = 4096;
constexpr int32_t BLOCK = 128;

// The synthetic catchment's July: hourly records, 0.46 per degree, offset 8.
const MonthlyEt& july() {
  static const MonthlyEt et = [] {
    auto s = std::make_unique<ModelState>();
    s->params.DT_SIM = 3600.0f;
    s->forcing.DT_RAIN = 3600.0f;
    s->plan_steps();
    s->forcing.DAYS_IN_MONTH(7) = 31;
    s->forcing.ET_SLOPE = 0.46f;
    s->forcing.ET_OFFSET = 8.0f;
    s->forcing.ET_MONTH_A(7) = 31.0f * 0.34f;
    s->forcing.ET_MONTH_B(7) = 1.0f;
    return MonthlyEt(*s, 7);
  }();
  return et;
}

const std::vector<float>& temperatures() {
  static const std::vector<float> T = [] {
    std::vector<float> t(CELLS);
    uint32_t x = 12345;
    for (float& v : t) {
      x = x * 1664525u + 1013904223u;
      v = -30.0f + 75.0f * static_cast<float>(x >> 8) * 0x1p-24f;
    }
    return t;
  }();
  return T;
}

void per_value(benchmark::State& state) {
  state.counters["time_per_value"] = benchmark::Counter(static_cast<double>(state.iterations()) * CELLS,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_StepDepth(benchmark::State& state) {
  const MonthlyEt& et = july();
  const std::vector<float>& T = temperatures();
  std::vector<float> E(CELLS);
  for (auto _ : state) {
    for (int32_t b = 0; b < CELLS; b += BLOCK)
      for (int32_t k = b; k < b + BLOCK; ++k) E[k] = et.step_depth(T[k]);
    benchmark::DoNotOptimize(E.data());
    benchmark::ClobberMemory();
  }
  per_value(state);
}
BENCHMARK(BM_StepDepth);

void BM_StepDepths(benchmark::State& state) {
  const MonthlyEt& et = july();
  const std::vector<float>& T = temperatures();
  std::vector<float> E(CELLS);
  int64_t slow = 0;
  for (auto _ : state) {
    for (int32_t b = 0; b < CELLS; b += BLOCK) slow += et.step_depths(T.data() + b, E.data() + b, BLOCK);
    benchmark::DoNotOptimize(E.data());
    benchmark::ClobberMemory();
  }
  per_value(state);
  state.counters["fallbacks_per_value"] =
      static_cast<double>(slow) / (static_cast<double>(state.iterations()) * CELLS);
}
BENCHMARK(BM_StepDepths);

}  // namespace

BENCHMARK_MAIN();

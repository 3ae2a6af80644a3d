// The catchment's evapotranspiration per step, which a run adds on request
// for the water balance: the mean of the cells' depths, the same for every
// thread count and layout, and without effect on the run itself.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "bench/synthetic_catchment.hpp"
#include "simulation/simulation_run.hpp"

namespace tarvex {
namespace {

TEST(CatchmentEt, MeanOfTheCellsForAnyThreadsAndNoEffectOnTheRun) {
  for (bool outages : {false, true}) {
    auto c = synthetic::build_catchment(60, 200, outages);
    ModelState& s = *c.s;
    s.control.RUN_MODE = 4;
    s.results.want_et = false;
    const int32_t n = RUN_SIMULATION(s, s.run.objective_run, RunKind::objective);
    const uint64_t plain = synthetic::discharge_hash(s, n);
    EXPECT_TRUE(s.results.ET_STEP.empty());

    s.results.want_et = true;
    std::vector<double> first;
    for (int32_t jobs : {1, 2, 5}) {
      for (int32_t way : {0, 1, 2}) {
        s.control.RUN_JOBS = jobs;
        EngineOptions opt;
        opt.cells_per_thread = 64;
        opt.lanes = way == 0;
        opt.tile_cells = way == 2 ? 40 : 8192;
        opt.block_steps = way == 2 ? 5 : 64;
        const int32_t m = RUN_SIMULATION(s, s.run.objective_run, RunKind::objective, opt);
        EXPECT_EQ(synthetic::discharge_hash(s, m), plain) << jobs << " threads, way " << way;
        ASSERT_EQ(s.results.ET_STEP.size(), static_cast<std::size_t>(m));
        if (first.empty()) {
          first = s.results.ET_STEP;
        } else {
          EXPECT_EQ(std::memcmp(first.data(), s.results.ET_STEP.data(), first.size() * sizeof(double)), 0)
              << jobs << " threads, way " << way << (outages ? ", outages" : "");
        }
      }
    }

    // The last step's value is the mean depth the cells were left with.
    double sum = 0.0;
    int64_t cells = 0;
    for (std::size_t g = 0; g < s.catchment.SLOPE.size(); ++g) {
      if (!(s.catchment.SLOPE.data()[g] > 0.0f)) continue;
      sum += s.run.CELL_ET.data()[g];
      ++cells;
    }
    ASSERT_GT(cells, 0);
    const double mean = sum / static_cast<double>(cells);
    EXPECT_GT(mean, 0.0);
    EXPECT_NEAR(s.results.ET_STEP.back(), mean, 1e-7);
    for (double v : s.results.ET_STEP) EXPECT_TRUE(std::isfinite(v) && v >= 0.0);
  }
}

}  // namespace
}  // namespace tarvex

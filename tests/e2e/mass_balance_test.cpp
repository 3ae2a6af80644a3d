// Water balance of a continuous run on the committed small catchment, run by
// RUN_SIMULATION: the rain that falls is what reaches the outlet plus what the
// cells still store at the end, once a long dry spell after the record has
// drained the network, up to the small imbalance of the variable-coefficient
// routing (about 1e-3 of the rain here).
#include <gtest/gtest.h>

#include <memory>

#include "load/read_param.hpp"
#include "simulation/simulation_run.hpp"
#include "support/testkit.hpp"

namespace tarvex {
namespace {

// Dry records added after the series, hourly: 100 days, long enough for the
// slow subsurface routing (K_SUB 0.003 m/s per unit slope) to carry what the
// cells released to the outlet.
constexpr int32_t kDryRecords = 2400;

struct Volumes {
  double rain = 0.0;    // m3 fallen on the catchment
  double outlet = 0.0;  // m3 arrived at the outlet cell
  double stored = 0.0;  // m3 in the soil and subsurface stores at the end
};

// Loads the small set with evapotranspiration off and the outlet as the only
// cross-section, adds the dry spell and runs it.
Volumes run_balance(float cn_scale) {
  test::TempDir d;
  test::copy_dir(test::test_data_dir() / "small", d.path());
  test::ChangeDir cd(d.path());
  auto s = std::make_unique<ModelState>();
  s->control.RUN_MODE = 3;
  test::capture_stdout([&] { READ_PARAM(*s, test::control(3)); });
  s->forcing.ET_SLOPE = 0.0f;
  s->forcing.ET_OFFSET = 0.0f;
  if (cn_scale > 0.0f) s->catchment.SOIL_CAPACITY.fill(cn_scale);
  s->catchment.N_SECTIONS = 1;
  s->catchment.SECTION_I(1) = s->catchment.IFIN(s->catchment.NPATH);
  s->catchment.SECTION_J(1) = s->catchment.JFIN(s->catchment.NPATH);

  const int32_t n = s->forcing.N_DATA + kDryRecords;
  s->grow_rain_records(n);
  s->grow_temp_records(n);
  for (int32_t N = s->forcing.N_DATA + 1; N <= n; ++N) {
    for (int32_t k = 1; k <= s->forcing.N_RAIN_ST; ++k) {
      s->forcing.RAIN_DATA(N, k) = 0.0f;
      s->forcing.RAIN_MISSING(N, k) = 0;
    }
    for (int32_t k = 1; k <= s->forcing.N_TEMP_ST; ++k) {
      s->forcing.TEMP_DATA(N, k) = s->forcing.TEMP_DATA(s->forcing.N_DATA, k);
      s->forcing.TEMP_MISSING(N, k) = 0;
    }
  }
  s->forcing.N_DATA = n;
  s->plan_steps();

  int32_t nout = 0;
  test::capture_stdout([&] { nout = RUN_SIMULATION(*s, s->run.single_run, RunKind::single); });
  EXPECT_GT(nout, 0);

  Volumes v;
  for (int32_t k = 1; k <= nout; ++k) v.outlet += static_cast<double>(s->results.Q_SECTION(k, 1)) * s->params.DT_SIM;
  const double cell = static_cast<double>(s->catchment.CELL_DX) * s->catchment.CELL_DY;  // m2
  for (int32_t i = 1; i <= s->catchment.NI; ++i) {
    for (int32_t j = 1; j <= s->catchment.NJ; ++j) {
      if (!(s->catchment.SLOPE(i, j) > 0.0f)) continue;
      v.rain += s->run.CUM_RAIN(i, j) / 1000.0 * cell;
      v.stored += (static_cast<double>(s->run.SOIL_WATER(i, j)) + s->run.SUB_STORE(i, j)) / 1000.0 * cell;
    }
  }
  return v;
}

void expect_balance(float cn_scale) {
  const Volumes v = run_balance(cn_scale);
  ASSERT_GT(v.rain, 100.0);
  EXPECT_NEAR(v.outlet + v.stored, v.rain, 3e-3 * v.rain);
}

TEST(MassBalance, ContinuousRunOfTheSmallCatchment) { expect_balance(0.0f); }

TEST(MassBalance, CurveNumber100EverywhereCreatesNoWater) { expect_balance(0.0001f); }

}  // namespace
}  // namespace tarvex

#include "model/model_state.hpp"

#include <algorithm>
#include <new>
#include <string>

#include "io/input_error.hpp"

namespace tarvex {

namespace {

// Runs a sizing step; memory that does not hold the table ends the run with
// an error naming it.
template <class F>
void sized(const std::string& what, F&& f) {
  try {
    f();
  } catch (const std::bad_alloc&) {
    throw InputError(what + " does not fit in memory");
  } catch (const std::length_error&) {
    throw InputError(what + " does not fit in memory");
  }
}

std::string by(int32_t a, const char* what_a, int32_t b, const char* what_b) {
  return std::to_string(a) + " " + what_a + " x " + std::to_string(b) + " " + what_b;
}

// Rows of a weight grid of `planes` planes of NI rows: refused past what a
// grid addresses.
int32_t weight_rows(int32_t planes, int32_t ni) {
  const int64_t rows = static_cast<int64_t>(planes) * std::max(ni, 0);
  if (rows > 2147483647) {
    throw InputError("the rain weights of " + by(planes, "gauges", ni, "rows") + " do not fit in one grid");
  }
  return static_cast<int32_t>(rows);
}

}  // namespace

void ModelState::size_grids(int32_t ni, int32_t nj) {
  sized("the grids of " + by(ni, "rows", nj, "columns"), [&] {
    for (Grid<int32_t>* g : {&catchment.ROUGH_CLASS, &catchment.FLOW_DIR, &catchment.AREA_CELLS,
                               &forcing.RAIN_STATION_MAP, &forcing.TEMP_STATION_MAP}) {
      g->resize(ni, nj);
    }
    for (Grid<float>* g : {&catchment.ELEVATION, &catchment.SLOPE, &catchment.SOIL_CAPACITY}) g->resize(ni, nj);
    RunState& r = run;
    for (Grid<float>* g : {&r.CUM_RAIN, &r.EVENT_RAIN, &r.INFILTRATION, &r.SOIL_WATER, &r.SUB_STORE, &r.ET_DEFICIT,
                           &r.SUB_FLOW, &r.CELL_TEMP, &r.CELL_ET, &r.C1_SUP, &r.C2_SUP, &r.C3_SUP, &r.C4_SUP,
                           &r.C1_SUB, &r.C2_SUB, &r.C3_SUB, &r.C4_SUB, &r.QIN_SUP, &r.QOUT_SUP, &r.QIN_SUB,
                           &r.QOUT_SUB, &r.QIN_SUP_OLD, &r.QOUT_SUP_OLD, &r.QIN_SUB_OLD, &r.QOUT_SUB_OLD}) {
      g->resize(ni, nj);
    }
    forcing.RAIN_WEIGHT.resize(weight_rows(weight_planes(), ni), nj);
  });
}

void ModelState::size_terrain_grids(int32_t ni, int32_t nj) {
  sized("the terrain grids of " + by(ni, "rows", nj, "columns"), [&] {
    for (Grid<int32_t>* g : {&catchment.FLOW_DIR, &catchment.AREA_CELLS, &catchment.STREAM_ORDER,
                             &catchment.CATCHMENT_MASK}) g->resize(ni, nj);
    catchment.ELEVATION.resize(ni, nj);
  });
}

int32_t weight_planes(const Limits& limits, const Forcing& forcing) {
  return limits.fit_to_data ? std::max(forcing.N_RAIN_ST, 1) : kLimits.rain_gauges;
}

namespace {

constexpr int32_t kFirstRecords = 65536;

// Rows for record n of N_DATA: doubling, at most N_DATA.
int32_t grown_rows(int32_t have, int32_t n, int32_t n_data) {
  const int64_t doubled = std::max<int64_t>(static_cast<int64_t>(have) * 2, n);
  return static_cast<int32_t>(std::min<int64_t>(doubled, std::max(n_data, n)));
}

}  // namespace

void ModelState::grow_rain_records(int32_t n) {
  if (n <= forcing.RAIN_DATA.rows()) return;
  const int32_t rows = grown_rows(forcing.RAIN_DATA.rows(), n, forcing.N_DATA);
  sized("the rain series of " + by(rows, "records", forcing.RAIN_DATA.cols(), "gauges"), [&] {
    forcing.RAIN_DATA.grow_rows(rows);
    forcing.RAIN_MISSING.grow_rows(rows);
  });
}

void ModelState::grow_temp_records(int32_t n) {
  if (n <= forcing.TEMP_DATA.rows()) return;
  const int32_t rows = grown_rows(forcing.TEMP_DATA.rows(), n, forcing.N_DATA);
  sized("the temperature series of " + by(rows, "records", forcing.TEMP_DATA.cols(), "stations"), [&] {
    forcing.TEMP_DATA.grow_rows(rows);
    forcing.TEMP_MISSING.grow_rows(rows);
  });
}

void ModelState::size_rain_tables() {
  if (!control.limits.fit_to_data) return;
  const int32_t n = std::max(forcing.N_RAIN_ST, 1);
  const int32_t rows = std::clamp(forcing.N_DATA, 1, kFirstRecords);
  sized("the rain series of " + by(rows, "records", n, "gauges"), [&] {
    forcing.RAIN_XY.resize(2, n);
    forcing.RAIN_DATA.resize(rows, n);
    forcing.RAIN_MISSING.resize(rows, n);
  });
  const int32_t wrows = weight_rows(n, catchment.NI);
  sized("the rain weights of " + by(n, "gauges", catchment.NI, "rows") + " x " + std::to_string(catchment.NJ) + " columns",
        [&] { forcing.RAIN_WEIGHT.resize(wrows, catchment.NJ); });
}

void ModelState::size_temp_tables() {
  if (!control.limits.fit_to_data) return;
  const int32_t n = std::max(forcing.N_TEMP_ST, 1);
  const int32_t rows = std::clamp(forcing.N_DATA, 1, kFirstRecords);
  sized("the temperature series of " + by(rows, "records", n, "stations"), [&] {
    forcing.TEMP_XY.resize(2, n);
    forcing.TEMP_Z.v.assign(static_cast<std::size_t>(n), 0.0f);
    forcing.TEMP_DATA.resize(rows, n);
    forcing.TEMP_MISSING.resize(rows, n);
  });
}

void Results::size_series(int32_t steps, const Limits& limits) {
  if (!limits.fit_to_data) return;
  sized("the discharge series of " + std::to_string(steps) + " steps", [&] {
    Q_SECTION_SURF.grow_rows(steps);
    Q_SECTION.grow_rows(steps);
    Q_SIM_AGG.grow_rows(steps);
  });
}

void ModelState::size_observed(int32_t records) {
  if (!control.limits.fit_to_data) return;
  sized("the observed discharge series of " + std::to_string(records) + " records",
        [&] { forcing.Q_OBS.grow_rows(records); });
}

}  // namespace tarvex

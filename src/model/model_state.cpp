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
    for (Grid<int32_t>* g : {&ROUGH_CLASS, &FLOW_DIR, &AREA_CELLS, &RAIN_STATION_MAP, &TEMP_STATION_MAP}) {
      g->resize(ni, nj);
    }
    for (Grid<float>* g : {&ELEVATION, &SLOPE, &SOIL_CAPACITY, &CUM_RAIN, &EVENT_RAIN, &INFILTRATION,
                           &SOIL_WATER, &SUB_STORE, &ET_DEFICIT, &SUB_FLOW, &CELL_TEMP, &CELL_ET,
                           &C1_SUP, &C2_SUP, &C3_SUP, &C4_SUP, &C1_SUB, &C2_SUB, &C3_SUB, &C4_SUB,
                           &QIN_SUP, &QOUT_SUP, &QIN_SUB, &QOUT_SUB, &QIN_SUP_OLD, &QOUT_SUP_OLD,
                           &QIN_SUB_OLD, &QOUT_SUB_OLD}) {
      g->resize(ni, nj);
    }
    RAIN_WEIGHT.resize(weight_rows(weight_planes(), ni), nj);
  });
}

void ModelState::size_terrain_grids(int32_t ni, int32_t nj) {
  sized("the terrain grids of " + by(ni, "rows", nj, "columns"), [&] {
    for (Grid<int32_t>* g : {&FLOW_DIR, &AREA_CELLS, &STREAM_ORDER, &CATCHMENT_MASK}) g->resize(ni, nj);
    ELEVATION.resize(ni, nj);
  });
}

int32_t ModelState::weight_planes() const {
  return limits.fit_to_data ? std::max(N_RAIN_ST, 1) : kLimits.rain_gauges;
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
  if (n <= RAIN_DATA.rows()) return;
  const int32_t rows = grown_rows(RAIN_DATA.rows(), n, N_DATA);
  sized("the rain series of " + by(rows, "records", RAIN_DATA.cols(), "gauges"), [&] {
    RAIN_DATA.grow_rows(rows);
    RAIN_MISSING.grow_rows(rows);
  });
}

void ModelState::grow_temp_records(int32_t n) {
  if (n <= TEMP_DATA.rows()) return;
  const int32_t rows = grown_rows(TEMP_DATA.rows(), n, N_DATA);
  sized("the temperature series of " + by(rows, "records", TEMP_DATA.cols(), "stations"), [&] {
    TEMP_DATA.grow_rows(rows);
    TEMP_MISSING.grow_rows(rows);
  });
}

void ModelState::size_rain_tables() {
  if (!limits.fit_to_data) return;
  const int32_t n = std::max(N_RAIN_ST, 1);
  const int32_t rows = std::clamp(N_DATA, 1, kFirstRecords);
  sized("the rain series of " + by(rows, "records", n, "gauges"), [&] {
    RAIN_XY.resize(2, n);
    RAIN_DATA.resize(rows, n);
    RAIN_MISSING.resize(rows, n);
  });
  const int32_t wrows = weight_rows(n, NI);
  sized("the rain weights of " + by(n, "gauges", NI, "rows") + " x " + std::to_string(NJ) + " columns",
        [&] { RAIN_WEIGHT.resize(wrows, NJ); });
}

void ModelState::size_temp_tables() {
  if (!limits.fit_to_data) return;
  const int32_t n = std::max(N_TEMP_ST, 1);
  const int32_t rows = std::clamp(N_DATA, 1, kFirstRecords);
  sized("the temperature series of " + by(rows, "records", n, "stations"), [&] {
    TEMP_XY.resize(2, n);
    TEMP_Z.v.assign(static_cast<std::size_t>(n), 0.0f);
    TEMP_DATA.resize(rows, n);
    TEMP_MISSING.resize(rows, n);
  });
}

void ModelState::size_series(int32_t steps) {
  if (!limits.fit_to_data) return;
  sized("the discharge series of " + std::to_string(steps) + " steps", [&] {
    Q_SECTION_SURF.grow_rows(steps);
    Q_SECTION.grow_rows(steps);
    Q_SIM_AGG.grow_rows(steps);
    Q_OBS.grow_rows(steps);
  });
}

}  // namespace tarvex

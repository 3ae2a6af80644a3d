#include "support/grid_reference.hpp"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <string>
#include <vector>

#include "io/input_error.hpp"
#include "laws/cell_discharge.hpp"
#include "laws/continuous_store.hpp"
#include "laws/curve_number.hpp"
#include "laws/temperature_lapse.hpp"
#include "model/direction_code.hpp"
#include "routing/celerity.hpp"
#include "simulation/check_temp.hpp"
#include "simulation/continuous.hpp"
#include "simulation/gauge_check.hpp"
#include "simulation/initial_value.hpp"

namespace tarvex::reference {

float LOCAL_RAIN(const RunModel& s, int32_t I, int32_t J, int32_t MISS_FLAG, float FACTOR, int32_t N,
                 const Grid<int32_t>& MAP_STEP, const Grid<float>& WEIGHT_STEP) {
  float RAIN = 0.0f;
  if (s.forcing.INTERP_METHOD == 1) {
    const int32_t st = MISS_FLAG == 1 ? MAP_STEP(I, J) : s.forcing.RAIN_STATION_MAP(I, J);
    RAIN = s.forcing.RAIN_DATA(N, st) * FACTOR;
  } else {
    const Grid<float>& weight = MISS_FLAG == 1 ? WEIGHT_STEP : s.forcing.RAIN_WEIGHT;
    for (int32_t k = 1; k <= s.forcing.N_RAIN_ST; ++k) {
      RAIN = s.forcing.RAIN_DATA(N, k) * weight((k - 1) * s.catchment.NI + I, J) * FACTOR + RAIN;
    }
  }
  return RAIN;
}

void CN_METHOD(const RunModel& s, int32_t N, int32_t MISS_FLAG, Grid<float>& RUNOFF, const Grid<int32_t>& MAP_STEP,
               const Grid<float>& WEIGHT_STEP) {
  const float lambda = s.params.IA_RATIO;
  const bool impervious = s.control.RUN_MODE == 2 && s.params.IMPERVIOUS == 1;
  for_catchment_cells(s, N, MISS_FLAG, RUNOFF, MAP_STEP, WEIGHT_STEP, [&](int32_t I, int32_t J, float P) {
    const float S = s.catchment.SOIL_CAPACITY(I, J);
    const float P0 = s.run.EVENT_RAIN(I, J);  // accumulated before the step
    const float P1 = P + P0;              // and after it

    // Accumulated direct runoff after and before the step.
    const float Q1 = cn_accumulated_runoff(P1, S, lambda);
    const float Q0 = cn_accumulated_runoff(P0, S, lambda);
    s.run.EVENT_RAIN(I, J) = P1;

    float q = Q1 - Q0;
    if (q < 0.0f) q = 0.0f;
    RUNOFF(I, J) = q;
    s.run.INFILTRATION(I, J) = P > 0.0f ? P - q : 0.0f;
    if (impervious) s.run.INFILTRATION(I, J) = 0.0f;
  });
}

void CONTINUOUS(const RunModel& s, int32_t N, int32_t MONTH, int32_t MISS_FLAG, int32_t TMISS_FLAG,
                const Grid<int32_t>& TMAP_STEP, Grid<float>& RUNOFF, const Grid<int32_t>& MAP_STEP,
                const Grid<float>& WEIGHT_STEP) {
  const float DT = s.params.DT_SIM;
  const int32_t m = MONTH;
  // Per-call values, each evaluated exactly as in the per-cell formulas.
  const float inv_tau = 1.0f / s.params.TAU_SUB;  // 1/s
  const float F_SUB_CAP = s.params.F_SUB_CAP;
  const float IA_RATIO = s.params.IA_RATIO;
  const MonthlyEt et(s, m);
  for_catchment_cells(s, N, MISS_FLAG, RUNOFF, MAP_STEP, WEIGHT_STEP, [&](int32_t I, int32_t J, float P) {

    // Soil store; its overflow X recharges the subsurface store.
    const float S = s.catchment.SOIL_CAPACITY(I, J);
    const float soil_cap = IA_RATIO * S;  // mm
    const SoilFill<float> fill = soil_fill(s.run.SOIL_WATER(I, J) + P, soil_cap);
    s.run.SOIL_WATER(I, J) = fill.water;
    const float X = fill.overflow;

    // Subsurface store, D the deficit of the previous step.
    const float r = store_recharge(X, DT);  // mm/s
    const float D = s.run.ET_DEFICIT(I, J);
    const float sub_cap = F_SUB_CAP * S;  // mm
    const float g = store_decay(inv_tau, r, sub_cap);
    StoreStep<float> step;
    if (store_stiff(static_cast<double>(g), DT)) {
      // Stiff cell: the explicit stages would overshoot and the clamps would
      // lift the store, creating water; use the exact solution instead.
      SUB_STORE_EXACT(s.run.SUB_STORE(I, J), r, g, D, DT, step.q, step.mean);
    } else {
      step = store_stages(s.run.SUB_STORE(I, J), r, g, D, DT);
    }
    RUNOFF(I, J) = store_runoff(step.mean, X, sub_cap);
    s.run.SUB_FLOW(I, J) = store_outflow(inv_tau, step.mean, s.catchment.CELL_DX, s.catchment.CELL_DY);
    s.run.SUB_STORE(I, J) = store_capped(step.q, sub_cap);

    // Cell temperature, 6.3 degrees per 1000 m from the station.
    const int32_t st = TMISS_FLAG == 0 ? s.forcing.TEMP_STATION_MAP(I, J) : TMAP_STEP(I, J);
    const float T = cell_temperature(s.forcing.TEMP_DATA(N, st), lapse_drop(s.catchment.ELEVATION(I, J), s.forcing.TEMP_Z(st)));
    s.run.CELL_TEMP(I, J) = T;

    const float E = et.step_depth(T);
    s.run.CELL_ET(I, J) = E;

    const SoilWithdrawal<float> left = soil_withdraw(s.run.SOIL_WATER(I, J), E, DT);
    s.run.SOIL_WATER(I, J) = left.water;
    s.run.ET_DEFICIT(I, J) = left.deficit;
  });
}

namespace {

std::string cell_text(int32_t i, int32_t j) { return "(" + std::to_string(i) + "," + std::to_string(j) + ")"; }

[[noreturn]] void broken_path(int32_t k, int32_t i0, int32_t j0, int32_t ie, int32_t je, const std::string& why) {
  throw InputError("path list: link " + std::to_string(k) + " from cell " + cell_text(i0, j0) + " to cell " +
                   cell_text(ie, je) + " does not reach its end cell along the flow directions: " + why);
}

// Every grid the walk touches must have the NI x NJ shape, so that one
// row-major offset addresses the same cell in all of them.
void check_shapes(const RunModel& s, const Grid<float>& RUNOFF) {
  bool ok = s.catchment.FLOW_DIR.rows() == s.catchment.NI && s.catchment.FLOW_DIR.cols() == s.catchment.NJ && s.catchment.AREA_CELLS.rows() == s.catchment.NI &&
            s.catchment.AREA_CELLS.cols() == s.catchment.NJ && s.catchment.ROUGH_CLASS.rows() == s.catchment.NI && s.catchment.ROUGH_CLASS.cols() == s.catchment.NJ;
  for (const Grid<float>* g : std::initializer_list<const Grid<float>*>{&RUNOFF, &s.catchment.ELEVATION, &s.catchment.SLOPE, &s.run.INFILTRATION, &s.run.SUB_FLOW, &s.run.C1_SUP, &s.run.C2_SUP, &s.run.C3_SUP,
        &s.run.C4_SUP, &s.run.C1_SUB, &s.run.C2_SUB, &s.run.C3_SUB, &s.run.C4_SUB, &s.run.QIN_SUP, &s.run.QOUT_SUP, &s.run.QIN_SUB,
        &s.run.QOUT_SUB, &s.run.QIN_SUP_OLD, &s.run.QOUT_SUP_OLD, &s.run.QIN_SUB_OLD, &s.run.QOUT_SUB_OLD}) {
    ok = ok && g->rows() == s.catchment.NI && g->cols() == s.catchment.NJ;
  }
  if (!ok) {
    throw InputError("routing: the grids are not all sized " + std::to_string(s.catchment.NI) + " x " +
                     std::to_string(s.catchment.NJ));
  }
  if (s.catchment.NPATH < 0 || s.catchment.NPATH > s.catchment.IIN.size()) {
    throw InputError("routing: " + std::to_string(s.catchment.NPATH) + " paths, the path list holds at most " +
                     std::to_string(s.catchment.IIN.size()));
  }
}

}  // namespace

void ROUTING(const RunModel& s, const Grid<float>& RUNOFF) {
  check_shapes(s, RUNOFF);
  const CelerityConstants c = celerity_constants(s);
  const float a = c.a;                                        // km2, cell area
  const float f = cell_discharge_factor(s.catchment.CELL_DX, s.catchment.CELL_DY, s.params.DT_SIM);
  const bool event_run = s.control.RUN_MODE < 3;
  // Scalars held locally: the flow grids are written through float pointers.
  const float a_channel = c.a_channel;
  const float dx = s.catchment.CELL_DX, dy = s.catchment.CELL_DY, dt = s.params.DT_SIM;
  const std::size_t nj = static_cast<std::size_t>(s.catchment.NJ);
  // A path that reaches its end visits each cell at most once.
  const int64_t max_cells = static_cast<int64_t>(s.catchment.NI) * static_cast<int64_t>(s.catchment.NJ);

  const int32_t* flow_dir = s.catchment.FLOW_DIR.data();
  const int32_t* area_cells = s.catchment.AREA_CELLS.data();
  const float* runoff = RUNOFF.data();
  const float* infiltration = s.run.INFILTRATION.data();
  const float* sub_flow = s.run.SUB_FLOW.data();
  float* qin_sup = s.run.QIN_SUP.data();
  float* qout_sup = s.run.QOUT_SUP.data();
  float* qin_sub = s.run.QIN_SUB.data();
  float* qout_sub = s.run.QOUT_SUB.data();
  const float* qin_sup_old = s.run.QIN_SUP_OLD.data();
  const float* qout_sup_old = s.run.QOUT_SUP_OLD.data();
  const float* qin_sub_old = s.run.QIN_SUB_OLD.data();
  const float* qout_sub_old = s.run.QOUT_SUB_OLD.data();
  const float* c1_sup = s.run.C1_SUP.data();
  const float* c2_sup = s.run.C2_SUP.data();
  const float* c3_sup = s.run.C3_SUP.data();
  const float* c4_sup = s.run.C4_SUP.data();
  const float* c1_sub = s.run.C1_SUB.data();
  const float* c2_sub = s.run.C2_SUB.data();
  const float* c3_sub = s.run.C3_SUB.data();
  const float* c4_sub = s.run.C4_SUB.data();

  for (int32_t k = 1; k <= s.catchment.NPATH; ++k) {
    const int32_t i0 = s.catchment.IIN(k), j0 = s.catchment.JIN(k);
    const int32_t ie = s.catchment.IFIN(k), je = s.catchment.JFIN(k);
    int32_t i = i0, j = j0;
    if (!s.catchment.FLOW_DIR.contains(i, j)) broken_path(k, i0, j0, ie, je, "the start cell lies outside the grid");
    for (int64_t visited = 0;; ++visited) {
      if (visited == max_cells) broken_path(k, i0, j0, ie, je, "the directions form a loop");
      const std::size_t idx = static_cast<std::size_t>(i - 1) * nj + static_cast<std::size_t>(j - 1);
      const int32_t code = flow_dir[idx];
      if (!is_flow_code(code)) {
        broken_path(k, i0, j0, ie, je, "cell " + cell_text(i, j) + " has direction code " + std::to_string(code));
      }
      const Step step = decode_direction(code);
      const int32_t in = i + step.di, jn = j + step.dj;
      if (!s.catchment.FLOW_DIR.contains(in, jn)) {
        broken_path(k, i0, j0, ie, je, "cell " + cell_text(i, j) + " drains off the grid");
      }
      const std::size_t nidx = static_cast<std::size_t>(in - 1) * nj + static_cast<std::size_t>(jn - 1);
      const bool diagonal = step.di != 0 && step.dj != 0;

      if (static_cast<float>(area_cells[idx]) * a >= a_channel) {
        // Channel cell: the subsurface flow that reached it joins the surface.
        qin_sup[idx] = qin_sup[idx] + qin_sub[idx];
      } else {
        celer_sub_cell(s, c, idx, diagonal);
        // Lateral subsurface input, m3/s: the infiltrated depth in an event
        // run, the subsurface store's outflow otherwise.
        const float lateral = event_run ? cell_discharge(c4_sub[idx] * infiltration[idx], dx, dy, dt)
                                        : c4_sub[idx] * sub_flow[idx];
        const float q = muskingum_outflow(c1_sub[idx], c2_sub[idx], c3_sub[idx], qin_sub[idx], qin_sub_old[idx],
                                          qout_sub_old[idx], lateral);
        qout_sub[idx] = q;
        qin_sub[nidx] = qin_sub[nidx] + q;
      }

      celer_sup_cell(s, c, i, j, idx, diagonal);
      const float q = muskingum_outflow(c1_sup[idx], c2_sup[idx], c3_sup[idx], qin_sup[idx], qin_sup_old[idx],
                                        qout_sup_old[idx], c4_sup[idx] * runoff[idx] * f);
      qout_sup[idx] = q;
      qin_sup[nidx] = qin_sup[nidx] + q;

      if (in == ie && jn == je) break;
      i = in;
      j = jn;
    }
  }
}

void STEP_SHIFT(const RunModel& s) {
  for (int32_t I = 1; I <= s.catchment.NI; ++I) {
    float* qin_sup = s.run.QIN_SUP.row(I);
    float* qout_sup = s.run.QOUT_SUP.row(I);
    float* qin_sub = s.run.QIN_SUB.row(I);
    float* qout_sub = s.run.QOUT_SUB.row(I);
    float* qin_sup_old = s.run.QIN_SUP_OLD.row(I);
    float* qout_sup_old = s.run.QOUT_SUP_OLD.row(I);
    float* qin_sub_old = s.run.QIN_SUB_OLD.row(I);
    float* qout_sub_old = s.run.QOUT_SUB_OLD.row(I);
    for (int32_t J = 0; J < s.catchment.NJ; ++J) {
      qin_sup_old[J] = qin_sup[J];
      qout_sup_old[J] = qout_sup[J];
      qin_sup[J] = 0.0f;
      qout_sup[J] = 0.0f;
      qin_sub_old[J] = qin_sub[J];
      qout_sub_old[J] = qout_sub[J];
      qin_sub[J] = 0.0f;
      qout_sub[J] = 0.0f;
    }
  }
}

int32_t reference_run(const RunModel& s, RunTables& t, RunKind kind) {
  const bool single = kind == RunKind::single;
  const int32_t NSTEPS = RUN_STEP_COUNT(s.params.step_plan, kind);
  const bool event = single && s.control.RUN_MODE == 2;
  s.results.size_series(NSTEPS, s.control.limits);
  t.resize(s.catchment.NI, s.catchment.NJ, weight_planes(s.control.limits, s.forcing));
  INITIAL_VALUE(s);
  Calendar cal;
  cal.HOUR = 0.0f;
  cal.MONTH = s.forcing.START_MONTH;
  cal.DAY = s.forcing.START_DOY;
  cal.DAY_STEPS = 0;
  int32_t IOUT = 1;
  int32_t MISS_FLAG = 0, NMISS = 0, TMISS_FLAG = 0;
  MissList MISSLIST, TMISSLIST;
  MISSLIST.size_to(s.forcing.N_RAIN_ST);
  TMISSLIST.size_to(s.forcing.N_TEMP_ST);
  const auto record_step = [&](const float* sup, const float* sub) {
    if (s.catchment.N_SECTIONS > 0) {
      for (int32_t k = 1; k <= s.catchment.N_SECTIONS; ++k) {
        s.results.Q_SECTION_SURF(IOUT, k) = sup[k - 1];
        s.results.Q_SECTION(IOUT, k) = sup[k - 1] + sub[k - 1];
      }
      IOUT = IOUT + 1;
    }
  };
    std::vector<float> sup(static_cast<std::size_t>(std::max(s.catchment.N_SECTIONS, 0)));
    std::vector<float> sub(sup.size());
    for (int32_t IT = 1; IT <= NSTEPS; ++IT) {
      const int32_t N = RUN_RECORD_OF_STEP(s.params.step_plan, kind, IT);
      RAIN_GAUGE_CHECK(s, N, MISS_FLAG, NMISS, MISSLIST, t);
      t.STEP_RUNOFF.fill(0.0f);
      if (event) {
        // The calendar stands still in an event run.
        CN_METHOD(s, N, MISS_FLAG, t.STEP_RUNOFF, t.RAIN_STATION_MAP_STEP, t.RAIN_WEIGHT_STEP);
      } else {
        CHECK_TEMP(s, N, TMISS_FLAG, t.TEMP_STATION_MAP_STEP, TMISSLIST);
        CONTINUOUS(s, N, cal.MONTH, MISS_FLAG, TMISS_FLAG, t.TEMP_STATION_MAP_STEP, t.STEP_RUNOFF,
                   t.RAIN_STATION_MAP_STEP, t.RAIN_WEIGHT_STEP);
        UPDATE_DAY(s, cal);
      }
      ROUTING(s, t.STEP_RUNOFF);
      for (int32_t k = 1; k <= s.catchment.N_SECTIONS; ++k) {
        sup[static_cast<std::size_t>(k - 1)] = s.run.QIN_SUP(s.catchment.SECTION_I(k), s.catchment.SECTION_J(k));
        sub[static_cast<std::size_t>(k - 1)] = s.run.QIN_SUB(s.catchment.SECTION_I(k), s.catchment.SECTION_J(k));
      }
      record_step(sup.data(), sub.data());
      STEP_SHIFT(s);
    }
  return single ? IOUT - 1 : NSTEPS;
}

}  // namespace tarvex::reference

// Constants of a run and of every engine cell, and the cells' starting
// state, copied from the grids.
#include "laws/curve_number.hpp"
#include "simulation/run_engine_impl.hpp"

namespace tarvex {

void RunEngine::Impl::set_run_constants(const RunModel& s, RunKind kind, const CelerityConstants& c) {
  Impl& E = *this;
  const bool event = kind == RunKind::single && s.control.RUN_MODE == 2;
  E.continuous = !event;
  E.lateral_event = s.control.RUN_MODE < 3;
  E.impervious = s.control.RUN_MODE == 2 && s.params.IMPERVIOUS == 1;
  E.interp = s.forcing.INTERP_METHOD;
  E.n_rain = s.forcing.N_RAIN_ST;
  E.R = s.params.step_plan.records_per_step;
  E.DT = s.params.DT_SIM;
  E.inv_tau = 1.0f / s.params.TAU_SUB;
  E.dx = s.catchment.CELL_DX;
  E.dy = s.catchment.CELL_DY;
  E.f = cell_discharge_factor(s.catchment.CELL_DX, s.catchment.CELL_DY, s.params.DT_SIM);
  E.lambda = s.params.IA_RATIO;
  E.cc = c;
  E.dry_reuse = opt.dry_reuse;
#if TARVEX_ENGINE_LANES
  E.route_lanes = E.dry_reuse && opt.lanes && __builtin_cpu_supports("avx512f") &&
                  __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw");
#endif
}

void RunEngine::Impl::load_cells(const RunModel& s, const EngineWalk& w, const std::vector<int32_t>& eng_of) {
  Impl& E = *this;
  const CelerityConstants& cc = E.cc;
  const int32_t V = w.V;
  const std::size_t G = w.G;
  const std::size_t Ms = static_cast<std::size_t>(M);
  const bool weighted = s.forcing.INTERP_METHOD != 1;
  const std::vector<std::size_t>& vcell = w.vcell;
  const std::vector<uint8_t>& vdiag = w.vdiag;
  const std::vector<uint8_t>& vchan = w.vchan;
  auto sized = [Ms](std::vector<float>& v, std::size_t per = 1) { v.assign(Ms * per, 0.0f); };
  E.active.assign(Ms, 0);
  E.channel.assign(Ms, 0);
  E.area0.assign(Ms, 0);
  for (std::vector<float>* v : {&E.soil_S, &E.soil_cap, &E.sub_cap, &E.lapse, &E.L, &E.KS, &E.slope, &E.cum_rain,
                                &E.soil, &E.store, &E.deficit, &E.sub_flow, &E.temp, &E.et, &E.event_rain,
                                &E.infil, &E.runoff, &E.cn_acc}) {
    sized(*v);
  }
  for (std::vector<float>* v : {&E.dry_sup, &E.low_sub, &E.c_sup, &E.c_sub}) sized(*v, 4);
  // Plane j of dry_sup and low_sub holds Cj+1 of every cell.
  const auto to_planes = [Ms](std::vector<float>& v, std::size_t c, const float* C) {
    for (std::size_t j = 0; j < 4; ++j) v[j * Ms + c] = C[j];
  };
  sized(E.weight, static_cast<std::size_t>(E.w_stride));
  E.rd.assign(static_cast<std::size_t>(std::max<int32_t>(s.forcing.N_RAIN_ST, 1)) * static_cast<std::size_t>(E.K), 0.0f);
  E.rain_zero.assign(static_cast<std::size_t>(E.K), 0);
  for (std::vector<float>& v : E.q) sized(v);
  E.temp_st.assign(Ms, 1);
  E.rain_st.assign(Ms, 1);
  E.sub_den.assign(Ms, 1.0);
  E.sub_Cr.assign(Ms, 0.0);
  const Grid<float>* const qgrids[8] = {&s.run.QIN_SUP,     &s.run.QOUT_SUP,     &s.run.QIN_SUB,     &s.run.QOUT_SUB,
                                        &s.run.QIN_SUP_OLD, &s.run.QOUT_SUP_OLD, &s.run.QIN_SUB_OLD, &s.run.QOUT_SUB_OLD};
  for (int32_t c = 0; c < M; ++c) {
    const std::size_t g = E.gidx[static_cast<std::size_t>(c)];
    const std::size_t c4 = 4 * static_cast<std::size_t>(c);
    const float S = s.catchment.SLOPE.data()[g];
    E.active[c] = S > 0.0f ? 1 : 0;
    E.slope[c] = S;
    E.soil_S[c] = s.catchment.SOIL_CAPACITY.data()[g];
    E.soil_cap[c] = s.params.IA_RATIO * E.soil_S[c];
    E.sub_cap[c] = s.params.F_SUB_CAP * E.soil_S[c];
    const int32_t ts = s.forcing.TEMP_STATION_MAP.data()[g];
    E.temp_st[c] = ts;
    if (E.active[c] && ts >= 1 && ts <= s.forcing.TEMP_Z.size()) E.lapse[c] = lapse_drop(s.catchment.ELEVATION.data()[g], s.forcing.TEMP_Z(ts));
    E.rain_st[c] = s.forcing.RAIN_STATION_MAP.data()[g];
    for (int32_t k = 0; weighted && k < s.forcing.N_RAIN_ST; ++k) {
      E.weight[Ms * static_cast<std::size_t>(k) + static_cast<std::size_t>(c)] =
          s.forcing.RAIN_WEIGHT.data()[G * static_cast<std::size_t>(k) + g];
    }
    E.cum_rain[c] = s.run.CUM_RAIN.data()[g];
    E.soil[c] = s.run.SOIL_WATER.data()[g];
    E.store[c] = s.run.SUB_STORE.data()[g];
    E.deficit[c] = s.run.ET_DEFICIT.data()[g];
    E.sub_flow[c] = s.run.SUB_FLOW.data()[g];
    E.temp[c] = s.run.CELL_TEMP.data()[g];
    E.et[c] = s.run.CELL_ET.data()[g];
    E.event_rain[c] = s.run.EVENT_RAIN.data()[g];
    E.infil[c] = s.run.INFILTRATION.data()[g];
    E.cn_acc[c] = cn_accumulated_runoff(E.event_rain[c], E.soil_S[c], s.params.IA_RATIO);
    E.c_sup[c4] = s.run.C1_SUP.data()[g];
    E.c_sup[c4 + 1] = s.run.C2_SUP.data()[g];
    E.c_sup[c4 + 2] = s.run.C3_SUP.data()[g];
    E.c_sup[c4 + 3] = s.run.C4_SUP.data()[g];
    E.c_sub[c4] = s.run.C1_SUB.data()[g];
    E.c_sub[c4 + 1] = s.run.C2_SUB.data()[g];
    E.c_sub[c4 + 2] = s.run.C3_SUB.data()[g];
    E.c_sub[c4 + 3] = s.run.C4_SUB.data()[g];
    // The step functions start from the zeroed flows; the current-step
    // values are rebuilt by every step.
    for (int32_t k = 0; k < 4; ++k) E.q[k][c] = qgrids[k + 4]->data()[g];
  }
  for (int32_t v = 0; v < V; ++v) {
    const int32_t c = eng_of[vcell[v]];
    const std::size_t g = vcell[v];
    float C[4];
    const float Lc = vdiag[v] ? cc.L_diag : cc.L_axis;
    const float S = E.slope[c];
    E.L[c] = Lc;
    E.channel[c] = vchan[v];
    E.area0[c] = s.catchment.AREA_CELLS.data()[g] == 0 ? 1 : 0;
    const float sqrtS = std::sqrt(S);
    if (vchan[v]) {
      const float K = channel_roughness(cc.ks_out, cc.ks_slope, s.catchment.ELEVATION.data()[g], cc.z_out);
      E.KS[c] = K * sqrtS;
      surface_coefficients(0.0001f, E.KS[c], cc.chan, S, Lc, cc.dt, C);
      to_planes(E.dry_sup, c, C);
    } else {
      const float K = cc.ks_class[s.catchment.ROUGH_CLASS.data()[g] - 1];
      E.KS[c] = K * sqrtS;
      surface_coefficients(0.0001f, E.KS[c], cc.hill, S, Lc, cc.dt, C);
      to_planes(E.dry_sup, c, C);
      const float ck = subsurface_celerity(cc.k_sub, S);
      E.sub_den[c] = subsurface_diffusion_denominator<double>(ck, S, cc.w_sub, Lc);
      E.sub_Cr[c] = courant_number<double>(ck, cc.dt, Lc);
      muskingum_coefficients(E.sub_Cr[c], 1.0 - E.sub_Cr[c], C[0], C[1], C[2], C[3]);
      to_planes(E.low_sub, c, C);
    }
  }
  // Outflows no step writes (the subsurface one of a channel cell, both of a
  // cell off the paths) are those of a step that starts from zeroed flows.
  for (int32_t c = 0; c < M; ++c) {
    if (c >= V) E.q[1][c] = 0.0f;
    if (c >= V || E.channel[c]) E.q[3][c] = 0.0f;
  }
  E.weights_finite = weighted && std::isfinite(E.R);
  for (std::size_t k = 0; E.weights_finite && k < static_cast<std::size_t>(s.forcing.N_RAIN_ST) * Ms; ++k) {
    E.weights_finite = std::isfinite(E.weight[k]);
  }
  E.set_pointers();
}

}  // namespace tarvex

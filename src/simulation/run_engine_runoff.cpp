#include "simulation/run_engine_impl.hpp"

namespace tarvex {

void RunEngine::Impl::runoff_range(int32_t b, int32_t e, const StepView& v) {
  if (b >= e) return;
  if (continuous) {
#if TARVEX_ENGINE_LANES
    if (route_lanes) {
      continuous_cells_lanes(b, e, v);
      return;
    }
#endif
    CONTINUOUS(b, e, v);
  } else {
    CN_METHOD(b, e, v);
  }
}

// The four clamped Runge-Kutta stages of the subsurface store and its
// outflows for cells [0, n) of a block (inputs padded to a multiple of 4):
// the store's laws, four cells at a time in SSE lanes.
void RunEngine::Impl::sub_store_stages(int32_t n, const float* X, const float* r, const float* g, const float* D,
                                       const float* cap, const float* q0, float* ro, float* flow, float* q1) const {
  const auto stages = [&](auto q, auto rv, auto gv, auto Dv, auto Xv, auto capv, auto& out, auto& flow_v,
                          auto& q_v) {
    const auto step = store_stages(q, rv, gv, Dv, DT);
    out = store_runoff(step.mean, Xv, capv);
    flow_v = store_outflow(inv_tau, step.mean, dx, dy);
    q_v = store_capped(step.q, capv);
  };
#if defined(__SSE2__)
  for (int32_t i = 0; i < n; i += 4) {
    __m128 out, fl, qe;
    stages(_mm_load_ps(q0 + i), _mm_load_ps(r + i), _mm_load_ps(g + i), _mm_load_ps(D + i), _mm_load_ps(X + i),
           _mm_load_ps(cap + i), out, fl, qe);
    _mm_store_ps(ro + i, out);
    _mm_store_ps(flow + i, fl);
    _mm_store_ps(q1 + i, qe);
  }
#else
  for (int32_t i = 0; i < n; ++i) stages(q0[i], r[i], g[i], D[i], X[i], cap[i], ro[i], flow[i], q1[i]);
#endif
}

void RunEngine::Impl::CONTINUOUS(int32_t b, int32_t e, const StepView& v) {
  const RunModel& s = *cs;
  const auto [N, miss, tmiss, rd, wstep, mstep, tstep, month, rain_zero, keep] = v;
  const MonthlyEt et_month(s, month);
  // Blocks of cells in three stages (rain and soil store, subsurface store,
  // evapotranspiration), each a loop of independent iterations; the
  // subsurface store of four cells at a time in vector lanes.
  constexpr int32_t BLOCK = 128;
  const bool dt_positive = DT > 0.0f;
  alignas(16) float soil_after[BLOCK], excess[BLOCK], recharge[BLOCK], decay[BLOCK], def0[BLOCK], cap0[BLOCK],
      store0[BLOCK], ro_v[BLOCK], flow_v[BLOCK], store_v[BLOCK], T_v[BLOCK], E_v[BLOCK];
  bool stiff[BLOCK];
  for (int32_t b0 = b; b0 < e; b0 += BLOCK) {
    const int32_t e0 = std::min(b0 + BLOCK, e);
    const int32_t n = e0 - b0;
    for (int32_t c = b0; c < e0; ++c) {
      const int32_t i = c - b0;
      if (!active[c]) {
        runoff[c] = -1.0f;
        soil_after[i] = excess[i] = recharge[i] = decay[i] = def0[i] = store0[i] = 0.0f;
        cap0[i] = 1.0f;
        stiff[i] = false;
        continue;
      }
      const float P = cell_rain(s, c, N, miss, rd, wstep, mstep, rain_zero);  // mm in the step
      cum_rain[c] = P + cum_rain[c];
      // Soil store; its overflow X recharges the subsurface store.
      const SoilFill<float> fill = soil_fill(soil[c] + P, soil_cap[c]);
      const float sw = fill.water, X = fill.overflow;
      float r, g;
      if (dry_reuse && X == 0.0f && dt_positive && sub_cap[c] > 0.0f) {
        // No recharge: X/DT and r/sub_cap are +0.
        r = 0.0f;
        g = inv_tau + 0.0f;
      } else {
        r = store_recharge(X, DT);
        g = store_decay(inv_tau, r, sub_cap[c]);
      }
      soil_after[i] = sw;
      excess[i] = X;
      recharge[i] = r;
      decay[i] = g;
      def0[i] = deficit[c];
      cap0[i] = sub_cap[c];
      store0[i] = store[c];
      // A stiff cell would make the explicit stages overshoot: exact solution.
      stiff[i] = store_stiff(static_cast<double>(g), DT);
    }
    for (int32_t i = n; i < ((n + 3) & ~3); ++i) {
      excess[i] = recharge[i] = decay[i] = def0[i] = store0[i] = 0.0f;
      cap0[i] = 1.0f;
    }
    sub_store_stages(n, excess, recharge, decay, def0, cap0, store0, ro_v, flow_v, store_v);
    for (int32_t c = b0; c < e0; ++c) {
      if (!active[c]) continue;
      const int32_t i = c - b0;
      if (!stiff[i]) {
        runoff[c] = ro_v[i];
        sub_flow[c] = flow_v[i];
        store[c] = store_v[i];
        continue;
      }
      stiff_store(c, store0[i], recharge[i], decay[i], def0[i], excess[i], cap0[i]);
    }
    for (int32_t c = b0; c < e0; ++c) T_v[c - b0] = active[c] ? cell_temperature(s, c, N, tmiss, tstep) : 0.0f;
    et_month.step_depths(T_v, E_v, n);
    for (int32_t c = b0; c < e0; ++c) {
      if (!active[c]) continue;
      temp[c] = T_v[c - b0];
      const float E = E_v[c - b0];
      et[c] = E;
      const SoilWithdrawal<float> left = soil_withdraw(soil_after[c - b0], E, DT);
      deficit[c] = left.deficit;
      soil[c] = left.water;
    }
  }
}

#if TARVEX_ENGINE_LANES
// CONTINUOUS sixteen cells at a time in AVX-512 lanes, each lane the
// scalar arithmetic of its cell in the same order. Rain comes from the
// weights in lanes when no gauge is missing; a stiff cell's subsurface store
// is taken cell by cell.
__attribute__((target("avx512f,avx512vl,avx512bw"))) void RunEngine::Impl::continuous_cells_lanes(int32_t b,
                                                                                                   int32_t e,
                                                                                                   const StepView& v) {
  const RunModel& s = *cs;
  const auto [N, miss, tmiss, rd, wstep, mstep, tstep, month, rain_zero, keep] = v;
  const MonthlyEt et_month(s, month);
  const bool rain_lanes = interp != 1 && !miss;
  constexpr int32_t BLOCK = 128;
  alignas(64) float P_v[BLOCK], soil_after[BLOCK], excess[BLOCK], recharge[BLOCK], decay[BLOCK], def0[BLOCK],
      cap0[BLOCK], store0[BLOCK], T_v[BLOCK], E_v[BLOCK];
  const __m512 zero = _mm512_setzero_ps(), minus_one = _mm512_set1_ps(-1.0f), one = _mm512_set1_ps(1.0f);
  const __m512 Rv = _mm512_set1_ps(R);
  for (int32_t b0 = b; b0 < e; b0 += BLOCK) {
    const int32_t e0 = std::min(b0 + BLOCK, e);
    const int32_t n = e0 - b0;
    if (!rain_lanes) {
      for (int32_t c = b0; c < e0; ++c) {
        P_v[c - b0] = active[c] ? cell_rain(s, c, N, miss, rd, wstep, mstep, rain_zero) : 0.0f;
      }
    }
    unsigned stiff_any = 0;
    __mmask16 stiff_m[BLOCK / 16] = {};
    __mmask16 act_m[BLOCK / 16] = {};
    // Rain, soil store, recharge and decay of the subsurface store.
    for (int32_t i = 0; i < n; i += 16) {
      const int32_t c = b0 + i;
      const __mmask16 live = static_cast<__mmask16>(n - i >= 16 ? 0xffffu : (1u << (n - i)) - 1u);
      const __mmask16 act = _mm_test_epi8_mask(_mm_maskz_loadu_epi8(live, active.data() + c), _mm_set1_epi8(-1));
      act_m[i / 16] = act;
      _mm512_mask_storeu_ps(runoff.data() + c, live & static_cast<__mmask16>(~act), minus_one);
      __m512 P;
      if (rain_lanes) {
        P = zero;
        for (int32_t k = 0; !rain_zero && k < n_rain; ++k) {
          const __m512 w = _mm512_maskz_loadu_ps(act, weight.data() + static_cast<std::size_t>(M) * k + c);
          P = _mm512_add_ps(_mm512_mul_ps(_mm512_mul_ps(_mm512_set1_ps(rd[k]), w), Rv), P);
        }
      } else {
        P = _mm512_load_ps(P_v + i);
      }
      _mm512_mask_storeu_ps(cum_rain.data() + c, act, _mm512_add_ps(P, _mm512_maskz_loadu_ps(act, cum_rain.data() + c)));
      // The laws in lanes; the lanes off the catchment are never stored.
      const auto fill = soil_fill(_mm512_add_ps(_mm512_maskz_loadu_ps(act, soil.data() + c), P),
                                              _mm512_maskz_loadu_ps(act, soil_cap.data() + c));
      const __m512 X = fill.overflow, sw = fill.water;
      const __m512 scap = _mm512_mask_loadu_ps(one, act, sub_cap.data() + c);
      const __m512 r = store_recharge(X, DT);
      const __m512 g = store_decay(inv_tau, r, scap);
      const __mmask8 s_lo = lane_mask(store_stiff(_mm512_cvtps_pd(_mm512_castps512_ps256(g)), DT));
      const __mmask8 s_hi = lane_mask(
          store_stiff(_mm512_cvtps_pd(_mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(g), 1))), DT));
      const __mmask16 stiff = act & static_cast<__mmask16>(s_lo | (static_cast<unsigned>(s_hi) << 8));
      stiff_m[i / 16] = stiff;
      stiff_any |= stiff;
      _mm512_store_ps(soil_after + i, sw);
      _mm512_store_ps(excess + i, _mm512_maskz_mov_ps(act, X));
      _mm512_store_ps(recharge + i, _mm512_maskz_mov_ps(act, r));
      _mm512_store_ps(decay + i, g);
      _mm512_store_ps(def0 + i, _mm512_maskz_loadu_ps(act, deficit.data() + c));
      _mm512_store_ps(cap0 + i, scap);
      _mm512_store_ps(store0 + i, _mm512_maskz_loadu_ps(act, store.data() + c));
    }
    // Subsurface store: four clamped Runge-Kutta stages.
    for (int32_t i = 0; i < n; i += 16) {
      const int32_t c = b0 + i;
      const __mmask16 ok = act_m[i / 16] & static_cast<__mmask16>(~stiff_m[i / 16]);
      const auto step = store_stages(_mm512_load_ps(store0 + i), _mm512_load_ps(recharge + i),
                                                  _mm512_load_ps(decay + i), _mm512_load_ps(def0 + i), DT);
      const __m512 capv = _mm512_load_ps(cap0 + i);
      _mm512_mask_storeu_ps(runoff.data() + c, ok, store_runoff(step.mean, _mm512_load_ps(excess + i), capv));
      _mm512_mask_storeu_ps(sub_flow.data() + c, ok, store_outflow(inv_tau, step.mean, dx, dy));
      _mm512_mask_storeu_ps(store.data() + c, ok, store_capped(step.q, capv));
    }
    if (stiff_any != 0) {
      for (int32_t i = 0; i < n; ++i) {
        if (!((stiff_m[i / 16] >> (i % 16)) & 1u)) continue;
        stiff_store(b0 + i, store0[i], recharge[i], decay[i], def0[i], excess[i], cap0[i]);
      }
    }
    // Cell temperature and evapotranspiration, withdrawn from the soil store.
    for (int32_t c = b0; c < e0; ++c) T_v[c - b0] = active[c] ? cell_temperature(s, c, N, tmiss, tstep) : 0.0f;
    et_month.step_depths(T_v, E_v, n);
    for (int32_t i = 0; i < n; i += 16) {
      const int32_t c = b0 + i;
      const __mmask16 act = act_m[i / 16];
      const __m512 E = _mm512_load_ps(E_v + i);
      _mm512_mask_storeu_ps(temp.data() + c, act, _mm512_load_ps(T_v + i));
      _mm512_mask_storeu_ps(et.data() + c, act, E);
      const auto left = soil_withdraw(_mm512_load_ps(soil_after + i), E, DT);
      _mm512_mask_storeu_ps(deficit.data() + c, act, left.deficit);
      _mm512_mask_storeu_ps(soil.data() + c, act, left.water);
    }
  }
}
#endif

void RunEngine::Impl::CN_METHOD(int32_t b, int32_t e, const StepView& v) {
  const RunModel& s = *cs;
  const auto [N, miss, tmiss, rd, wstep, mstep, tstep, month, rain_zero, keep] = v;
  for (int32_t c = b; c < e; ++c) {
    if (!active[c]) {
      runoff[c] = -1.0f;
      continue;
    }
    const float P = cell_rain(s, c, N, miss, rd, wstep, mstep, rain_zero);  // mm in the step
    const float S = soil_S[c];
    const float P0 = event_rain[c];  // accumulated before the step
    const float P1 = P + P0;         // and after it
    cum_rain[c] = P + cum_rain[c];
    // Accumulated direct runoff after and before the step; the one before
    // is the one after the previous step (same accumulated rain), and stays
    // when the accumulated rain does (a dry step).
    float Q0, Q1;
    if (dry_reuse) {
      Q0 = cn_acc[c];
      Q1 = std::memcmp(&P1, &P0, sizeof P1) == 0 ? Q0 : cn_accumulated_runoff(P1, S, lambda);
      cn_acc[c] = Q1;
    } else {
      Q1 = cn_accumulated_runoff(P1, S, lambda);
      Q0 = cn_accumulated_runoff(P0, S, lambda);
    }
    event_rain[c] = P1;
    float qd = Q1 - Q0;
    if (qd < 0.0f) qd = 0.0f;
    runoff[c] = qd;
    infil[c] = P > 0.0f ? P - qd : 0.0f;
    if (impervious) infil[c] = 0.0f;
  }
}


}  // namespace tarvex

#include "simulation/run_engine_impl.hpp"

namespace tarvex {

// Inflows of cells [b, e) from their contributors, in the order of the walk.
void RunEngine::Impl::gather(int32_t b, int32_t e) {
  for (int32_t c = b; c < e; ++c) {
    inflows(c, qin_sup[c], qin_sub[c]);
  }
}

void RunEngine::Impl::ROUTING(int32_t b, int32_t e, bool keep) {
  for (int32_t c = b; c < e;) {
    const int32_t end = std::min(block_end[c], e);
#if TARVEX_ENGINE_LANES
    if (route_lanes) {
      route_block_lanes(c, end, keep);
      c = end;
      continue;
    }
#endif
    route_block(c, end, keep);
    c = end;
  }
}

// Surface coefficients of the wet cells wet[0..n) of the chunk at b0 from
// their reference discharge (celer_sup_cell's order), the section widths
// and celerities taken over all of them at once; C_wet[j][k] is Cj+1 of
// wet cell k.
void RunEngine::Impl::wet_coefficients(int32_t b0, int32_t n, const int32_t* wet, const float* q_ref,
                                       float (*C_wet)[CHUNK]) const {
  float width[CHUNK] = {}, celerity[CHUNK], S_wet[CHUNK], L_wet[CHUNK];
  for (int32_t k = 0; k < n; ++k) {
    const int32_t c = b0 + wet[k];
    width[k] = channel[c] ? width_base(q_ref[k], KS[c], cc.chan) : width_base(q_ref[k], KS[c], cc.hill);
  }
  powf_batch(width, kWidthPower, width, n, opt.lanes);
  powf_batch(width, kCelerityPower, celerity, n, opt.lanes);
  for (int32_t k = 0; k < n; ++k) {
    const int32_t c = b0 + wet[k];
    celerity[k] = channel[c] ? celerity_of(KS[c], celerity[k], cc.chan) : celerity_of(KS[c], celerity[k], cc.hill);
    S_wet[k] = slope[c];
    L_wet[k] = L[c];
  }
  muskingum_surface_batch(n, q_ref, celerity, width, S_wet, L_wet, cc.dt, C_wet[0], C_wet[1], C_wet[2], C_wet[3],
                          opt.lanes);
}

// Cells [b, e) share one height: none feeds another, so each stage runs
// over a chunk of them, its iterations independent, with the chunk's
// coefficients held locally (kept in c_sup and c_sub on the last step only).
void RunEngine::Impl::route_block(int32_t b, int32_t e, bool keep) {
  alignas(16) float Cs[4 * CHUNK];
  // Wet cells of the chunk, compacted: index in the chunk, reference
  // discharge, coefficients.
  int32_t wet[CHUNK];
  float q_ref[CHUNK], C_wet[4][CHUNK];
  float in_old[CHUNK], out_old[CHUNK];  // the chunk's previous surface flows
  const bool reuse = dry_reuse;
  const std::size_t Mz = static_cast<std::size_t>(M);
  for (int32_t b0 = b; b0 < e; b0 += CHUNK) {
    const int32_t e0 = std::min(b0 + CHUNK, e);
    int32_t n_wet = 0;
    // Inflows, the subsurface flow, the surface reference discharge.
    for (int32_t c = b0; c < e0; ++c) {
      const int32_t i = c - b0;
      float a, u;
      inflows(c, a, u);
      const std::size_t c4 = 4 * static_cast<std::size_t>(c);
      if (channel[c]) {
        // The subsurface flow that reached a channel cell joins the surface.
        a = a + u;
      } else {
        const float sub_in_old = qin_sub[c], sub_out_old = qout_sub[c];
        const float Q = reference_discharge(u, sub_in_old, sub_out_old);
        alignas(16) float C[4];
        const double D = subsurface_diffusion_number<double>(Q, sub_den[c]);
        if (reuse && diffusion_raised(sub_Cr[c], D)) {
          // D is raised to 1 - Cr: the coefficients depend on Cr alone.
          for (std::size_t j = 0; j < 4; ++j) C[j] = low_sub[j * Mz + c];
        } else {
          muskingum_pairs(sub_Cr[c], D, C);
        }
        if (keep) std::memcpy(&c_sub[c4], C, sizeof C);
        const float lateral = lateral_event ? cell_discharge(C[3] * infil[c], dx, dy, DT) : C[3] * sub_flow[c];
        qout_sub[c] = muskingum_outflow(C[0], C[1], C[2], u, sub_in_old, sub_out_old, lateral);
      }
      in_old[i] = qin_sup[c];
      out_old[i] = qout_sup[c];
      qin_sup[c] = a;
      qin_sub[c] = u;

      float Q = reference_discharge(a, in_old[i], out_old[i]);
      if (area0[c]) Q = 0.0001f;
      if (reuse && Q == 0.0001f) {
        for (std::size_t j = 0; j < 4; ++j) Cs[4 * i + j] = dry_sup[j * Mz + c];
      } else {
        q_ref[n_wet] = Q;
        wet[n_wet++] = i;
      }
    }
    wet_coefficients(b0, n_wet, wet, q_ref, C_wet);
    for (int32_t k = 0; k < n_wet; ++k) {
      for (int32_t j = 0; j < 4; ++j) Cs[4 * wet[k] + j] = C_wet[j][k];
    }
    // Surface outflows.
    for (int32_t c = b0; c < e0; ++c) {
      const int32_t i = c - b0;
      const float* C = &Cs[4 * i];
      qout_sup[c] = muskingum_outflow(C[0], C[1], C[2], qin_sup[c], in_old[i], out_old[i], C[3] * runoff[c] * f);
    }
    if (keep) std::memcpy(&c_sup[4 * static_cast<std::size_t>(b0)], Cs, 4 * sizeof(float) * (e0 - b0));
  }
}

#if TARVEX_ENGINE_LANES
// route_block with the per-cell stages sixteen cells at a time in AVX-512
// lanes, used with the dry-cell reuse on: every lane does the scalar
// arithmetic of its cell in the same order; the coefficients are held in
// planes. A hillslope cell whose subsurface diffusion number is not raised
// (rare) gets its coefficients from the scalar form.
__attribute__((target("avx512f,avx512vl,avx512bw"))) void RunEngine::Impl::route_block_lanes(int32_t b,
                                                                                              int32_t e,
                                                                                              bool keep) {
  alignas(64) float Cp[4][CHUNK];                          // surface coefficients of the chunk
  alignas(64) float a_in[CHUNK], u_in[CHUNK];              // surface and subsurface inflow
  alignas(64) float in_old[CHUNK], out_old[CHUNK];         // previous surface flows
  alignas(64) int32_t wet[CHUNK + 16];                     // compacted, with room for a whole vector
  alignas(64) float q_ref[CHUNK + 16], C_wet[4][CHUNK];
  const std::size_t Mz = static_cast<std::size_t>(M);
  const __m512 floor = _mm512_set1_ps(0.0001f);
  const __m512 fv = _mm512_set1_ps(f);
  const __m512i lane_index = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  const float* lateral_src = lateral_event ? infil.data() : sub_flow.data();
  for (int32_t b0 = b; b0 < e; b0 += CHUNK) {
    const int32_t e0 = std::min(b0 + CHUNK, e);
    // Inflows from the contributors, in the order of the walk.
    for (int32_t c = b0; c < e0; ++c) inflows(c, a_in[c - b0], u_in[c - b0]);
    int32_t n_wet = 0;
    for (int32_t i = 0; i < e0 - b0; i += 16) {
      const int32_t c = b0 + i;
      const int32_t left = e0 - c;
      const __mmask16 live = static_cast<__mmask16>(left >= 16 ? 0xffffu : (1u << left) - 1u);
      const __mmask16 ch = _mm_test_epi8_mask(_mm_maskz_loadu_epi8(live, channel.data() + c), _mm_set1_epi8(-1));
      const __mmask16 hill = live & static_cast<__mmask16>(~ch);
      const __m512 u = _mm512_maskz_loadu_ps(live, u_in + i);
      // Subsurface outflow of the hillslope cells.
      if (hill != 0) {
        const __m512 sub_in_old = _mm512_maskz_loadu_ps(hill, qin_sub + c);
        const __m512 sub_out_old = _mm512_maskz_loadu_ps(hill, qout_sub + c);
        const __m512 Q = reference_discharge(u, sub_in_old, sub_out_old);
        const __mmask8 h_lo = static_cast<__mmask8>(hill), h_hi = static_cast<__mmask8>(hill >> 8);
        const __m512d Q_lo = _mm512_cvtps_pd(_mm512_castps512_ps256(Q));
        const __m512d Q_hi = _mm512_cvtps_pd(_mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(Q), 1)));
        // The laws in lanes; the lanes off the hillslope are never read.
        const __m512d D_lo = subsurface_diffusion_number(Q_lo, _mm512_maskz_loadu_pd(h_lo, sub_den.data() + c));
        const __m512d D_hi = subsurface_diffusion_number(Q_hi, _mm512_maskz_loadu_pd(h_hi, sub_den.data() + c + 8));
        const __mmask8 r_lo = h_lo & lane_mask(diffusion_raised(_mm512_maskz_loadu_pd(h_lo, sub_Cr.data() + c), D_lo));
        const __mmask8 r_hi =
            h_hi & lane_mask(diffusion_raised(_mm512_maskz_loadu_pd(h_hi, sub_Cr.data() + c + 8), D_hi));
        const __mmask16 raised = static_cast<__mmask16>(r_lo | (static_cast<unsigned>(r_hi) << 8));
        __m512 C[4];
        for (int32_t j = 0; j < 4; ++j) C[j] = _mm512_maskz_loadu_ps(raised, low_sub.data() + j * Mz + c);
        const unsigned other = hill & static_cast<__mmask16>(~raised);
        if (other != 0 || keep) {
          alignas(64) float Cl[4][16];
          alignas(64) double D[16];
          for (int32_t j = 0; j < 4; ++j) _mm512_store_ps(Cl[j], C[j]);
          _mm512_store_pd(D, D_lo);
          _mm512_store_pd(D + 8, D_hi);
          for (int32_t l = 0; l < 16; ++l) {
            if (!((hill >> l) & 1u)) continue;
            const std::size_t cl = static_cast<std::size_t>(c + l);
            alignas(16) float Cs[4];
            if ((other >> l) & 1u) {
              muskingum_pairs(sub_Cr[cl], D[l], Cs);
              for (int32_t j = 0; j < 4; ++j) Cl[j][l] = Cs[j];
            }
            if (keep) {
              for (int32_t j = 0; j < 4; ++j) c_sub[4 * cl + j] = Cl[j][l];
            }
          }
          for (int32_t j = 0; j < 4; ++j) C[j] = _mm512_load_ps(Cl[j]);
        }
        __m512 lateral = _mm512_mul_ps(C[3], _mm512_maskz_loadu_ps(hill, lateral_src + c));
        if (lateral_event) {
          lateral = cell_discharge(lateral, dx, dy, DT);
        }
        _mm512_mask_storeu_ps(qout_sub + c, hill,
                              muskingum_outflow(C[0], C[1], C[2], u, sub_in_old, sub_out_old, lateral));
      }
      _mm512_mask_storeu_ps(qin_sub + c, live, u);
      // The subsurface flow that reached a channel cell joins the surface.
      __m512 a = _mm512_maskz_loadu_ps(live, a_in + i);
      a = _mm512_mask_add_ps(a, ch, a, u);
      const __m512 sup_in_old = _mm512_maskz_loadu_ps(live, qin_sup + c);
      const __m512 sup_out_old = _mm512_maskz_loadu_ps(live, qout_sup + c);
      _mm512_store_ps(in_old + i, sup_in_old);
      _mm512_store_ps(out_old + i, sup_out_old);
      _mm512_store_ps(a_in + i, a);
      _mm512_mask_storeu_ps(qin_sup + c, live, a);
      __m512 Q = reference_discharge(a, sup_in_old, sup_out_old);
      const __mmask16 no_area =
          _mm_test_epi8_mask(_mm_maskz_loadu_epi8(live, area0.data() + c), _mm_set1_epi8(-1));
      Q = _mm512_mask_blend_ps(no_area, Q, floor);
      const __mmask16 dry = _mm512_mask_cmp_ps_mask(live, Q, floor, _CMP_EQ_OQ);
      for (int32_t j = 0; j < 4; ++j) _mm512_store_ps(&Cp[j][i], _mm512_maskz_loadu_ps(dry, dry_sup.data() + j * Mz + c));
      const __mmask16 wetm = live & static_cast<__mmask16>(~dry);
      _mm512_storeu_si512(wet + n_wet,
                          _mm512_maskz_compress_epi32(wetm, _mm512_add_epi32(lane_index, _mm512_set1_epi32(i))));
      _mm512_storeu_ps(q_ref + n_wet, _mm512_maskz_compress_ps(wetm, Q));
      n_wet += __builtin_popcount(wetm);
    }
    wet_coefficients(b0, n_wet, wet, q_ref, C_wet);
    for (int32_t k = 0; k < n_wet; ++k) {
      for (int32_t j = 0; j < 4; ++j) Cp[j][wet[k]] = C_wet[j][k];
    }
    // Surface outflows.
    for (int32_t i = 0; i < e0 - b0; i += 16) {
      const int32_t c = b0 + i;
      const int32_t left = e0 - c;
      const __mmask16 live = static_cast<__mmask16>(left >= 16 ? 0xffffu : (1u << left) - 1u);
      const __m512 lateral =
          _mm512_mul_ps(_mm512_mul_ps(_mm512_load_ps(&Cp[3][i]), _mm512_maskz_loadu_ps(live, runoff.data() + c)), fv);
      _mm512_mask_storeu_ps(qout_sup + c, live,
                            muskingum_outflow(_mm512_load_ps(&Cp[0][i]), _mm512_load_ps(&Cp[1][i]),
                                              _mm512_load_ps(&Cp[2][i]), _mm512_load_ps(a_in + i),
                                              _mm512_load_ps(in_old + i), _mm512_load_ps(out_old + i), lateral));
    }
    if (keep) {
      for (int32_t c = b0; c < e0; ++c) {
        for (int32_t j = 0; j < 4; ++j) c_sup[4 * static_cast<std::size_t>(c) + j] = Cp[j][c - b0];
      }
    }
  }
}
#endif

}  // namespace tarvex

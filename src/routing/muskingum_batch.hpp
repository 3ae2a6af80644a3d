#pragma once
// Surface Muskingum-Cunge coefficients of many cells at once from their
// reference discharge, celerity and section width, value for value what
// coefficients_from_celerity gives cell by cell: the laws instantiated for
// eight cells at a time in vector lanes on CPUs with AVX-512.
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "routing/celerity.hpp"

namespace tarvex {

#if defined(__SSE2__)
// muskingum_coefficients with the divisions of the terms done two at a
// time: each lane of a packed division is the same IEEE division as a
// scalar one.
inline void muskingum_pairs(double Cr, double D, float* C) {
  const MuskingumTerms<double> t = muskingum_terms(Cr, D);
  const __m128d d = _mm_set1_pd(t.den);
  const __m128d q12 = _mm_div_pd(_mm_set_pd(t.n2, t.n1), d);
  const __m128d q34 = _mm_div_pd(_mm_set_pd(t.n4, t.n3), d);
  const __m128 f12 = _mm_cvtpd_ps(q12);
  const __m128 f34 = _mm_cvtpd_ps(q34);
  C[0] = _mm_cvtss_f32(f12);
  C[1] = _mm_cvtss_f32(_mm_shuffle_ps(f12, f12, 1));
  C[2] = _mm_cvtss_f32(f34);
  C[3] = _mm_cvtss_f32(_mm_shuffle_ps(f34, f34, 1));
}
#else
inline void muskingum_pairs(double Cr, double D, float* C) { muskingum_coefficients(Cr, D, C[0], C[1], C[2], C[3]); }
#endif

// Surface Muskingum coefficients C1..C4 of one cell from the reference
// discharge Q (m3/s), the celerity ck (m/s), the section width W (m), the
// slope S, the flow length L (m) and the step dt (s).
inline void coefficients_from_celerity(float Q, float ck, float W, float S, float L, float dt, float* C) {
  const double D = surface_diffusion_number<double>(Q, S, ck, W, L);
  const double Cr = courant_number<double>(ck, dt, L);
  muskingum_pairs(Cr, D, C);
}

// The same from Q alone, by the section's width and celerity laws; KS is
// the cell's K*sqrt(S).
inline void surface_coefficients(float Q, float KS, const SectionShape& sh, float S, float L, float dt, float* C) {
  const float W = section_width(Q, KS, sh);
  const float ck = kinematic_celerity(W, KS, sh);
  coefficients_from_celerity(Q, ck, W, S, L, dt, C);
}

// For k in [0, n): D = Q/(S ck W L) and Cr = ck dt/L in double, then
// C1..C4 as muskingum_coefficients gives them. Q, ck and W as the celerity
// law computes them, S the cell's slope, L its flow length (m), dt (s).
// vector: in vector lanes where the CPU has them; off, cell by cell by
// coefficients_from_celerity (the same bits; the tests compare both).
void muskingum_surface_batch(int32_t n, const float* Q, const float* ck, const float* W, const float* S,
                             const float* L, float dt, float* C1, float* C2, float* C3, float* C4, bool vector = true);

// Whether this CPU has the vector lanes muskingum_surface_batch uses.
bool muskingum_batch_vectorised();

}  // namespace tarvex

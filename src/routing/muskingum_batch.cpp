#include <atomic>

// GCC only: clang refuses vector values of 512 bits passed to the laws'
// templates outside AVX-512 functions (it checks the call before inlining);
// a clang build computes cell by cell, bit for bit the same.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define TARVEX_MUSKINGUM_LANES 1
#include <immintrin.h>
// GCC 12 warns inside the intrinsics, whose unused pass-through operands
// are left undefined on purpose, and at the laws instantiated for 8-double
// lanes, which are inlined into the AVX-512 functions (no such value crosses
// a call).
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wpsabi"
#else
#define TARVEX_MUSKINGUM_LANES 0
#endif

// After the pragmas above, which reach the laws it includes.
#include "routing/muskingum_batch.hpp"

namespace tarvex {
namespace {

void cell_by_cell(int32_t n, const float* Q, const float* ck, const float* W, const float* S, const float* L,
                  float dt, float* C1, float* C2, float* C3, float* C4) {
  for (int32_t k = 0; k < n; ++k) {
    float C[4];
    coefficients_from_celerity(Q[k], ck[k], W[k], S[k], L[k], dt, C);
    C1[k] = C[0];
    C2[k] = C[1];
    C3[k] = C[2];
    C4[k] = C[3];
  }
}

#if TARVEX_MUSKINGUM_LANES
__attribute__((target("avx512f,avx512vl"))) void lanes(int32_t n, const float* Q, const float* ck, const float* W,
                                              const float* S, const float* L, float dt, float* C1, float* C2,
                                              float* C3, float* C4) {
  const __m512d dtv = _mm512_set1_pd(static_cast<double>(dt));
  for (int32_t k = 0; k < n; k += 8) {
    const __mmask8 live = static_cast<__mmask8>(n - k >= 8 ? 0xffu : (1u << (n - k)) - 1u);
    // Padding lanes compute 1/4 from ones and are never stored.
    const __m256 ones = _mm256_set1_ps(1.0f);
    const __m512d q = _mm512_cvtps_pd(_mm256_mask_loadu_ps(ones, live, Q + k));
    const __m512d c = _mm512_cvtps_pd(_mm256_mask_loadu_ps(ones, live, ck + k));
    const __m512d w = _mm512_cvtps_pd(_mm256_mask_loadu_ps(ones, live, W + k));
    const __m512d s = _mm512_cvtps_pd(_mm256_mask_loadu_ps(ones, live, S + k));
    const __m512d l = _mm512_cvtps_pd(_mm256_mask_loadu_ps(ones, live, L + k));
    __m512d C[4];
    muskingum_cunge(courant_number(c, dtv, l), surface_diffusion_number(q, s, c, w, l), C);
    _mm256_mask_storeu_ps(C1 + k, live, _mm512_cvtpd_ps(C[0]));
    _mm256_mask_storeu_ps(C2 + k, live, _mm512_cvtpd_ps(C[1]));
    _mm256_mask_storeu_ps(C3 + k, live, _mm512_cvtpd_ps(C[2]));
    _mm256_mask_storeu_ps(C4 + k, live, _mm512_cvtpd_ps(C[3]));
  }
}

bool cpu_has_lanes() {
  static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
  return has;
}
#endif

}  // namespace

bool muskingum_batch_vectorised() {
#if TARVEX_MUSKINGUM_LANES
  return cpu_has_lanes();
#else
  return false;
#endif
}

void muskingum_surface_batch(int32_t n, const float* Q, const float* ck, const float* W, const float* S,
                             const float* L, float dt, float* C1, float* C2, float* C3, float* C4, bool vector) {
#if TARVEX_MUSKINGUM_LANES
  if (vector && muskingum_batch_vectorised()) {
    lanes(n, Q, ck, W, S, L, dt, C1, C2, C3, C4);
    return;
  }
#endif
  cell_by_cell(n, Q, ck, W, S, L, dt, C1, C2, C3, C4);
}

}  // namespace tarvex

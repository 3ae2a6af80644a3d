#include "routing/powf_batch.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#if defined(__x86_64__) && defined(__GLIBC__) && defined(__GNUC__)
#define TARVEX_POWF_LANES 1
#include <immintrin.h>

#include <bit>
// GCC 12 warns inside the intrinsics, whose unused pass-through operands
// are left undefined on purpose.
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#else
#define TARVEX_POWF_LANES 0
#endif

namespace tarvex {
namespace {

void scalar_pow(const float* x, float y, float* out, int32_t n) {
  for (int32_t k = 0; k < n; ++k) out[k] = std::pow(x[k], y);
}

#if TARVEX_POWF_LANES
// The C library's powf: log2(x) from a 16-entry table of 1/c and log2(c)
// and a degree-5 polynomial, then 2^(y log2 x) from a 32-entry table of
// 2^(k/32) and a degree-3 polynomial, all in double, rounded once to float.
// Its FMA build fuses exactly the multiply-adds fused below.
constexpr double bits(uint64_t b) { return std::bit_cast<double>(b); }

alignas(64) constexpr double kLog2Tab[32] = {
    // {1/c, log2 c} per subinterval
    bits(0x3ff661ec79f8f3beull), bits(0xbfdefec65b963019ull), bits(0x3ff571ed4aaf883dull), bits(0xbfdb0b6832d4fca4ull),
    bits(0x3ff49539f0f010b0ull), bits(0xbfd7418b0a1fb77bull), bits(0x3ff3c995b0b80385ull), bits(0xbfd39de91a6dcf7bull),
    bits(0x3ff30d190c8864a5ull), bits(0xbfd01d9bf3f2b631ull), bits(0x3ff25e227b0b8ea0ull), bits(0xbfc97c1d1b3b7af0ull),
    bits(0x3ff1bb4a4a1a343full), bits(0xbfc2f9e393af3c9full), bits(0x3ff12358f08ae5baull), bits(0xbfb960cbbf788d5cull),
    bits(0x3ff0953f419900a7ull), bits(0xbfaa6f9db6475fceull), bits(0x3ff0000000000000ull), bits(0x0000000000000000ull),
    bits(0x3fee608cfd9a47acull), bits(0x3fb338ca9f24f53dull), bits(0x3feca4b31f026aa0ull), bits(0x3fc476a9543891baull),
    bits(0x3feb2036576afce6ull), bits(0x3fce840b4ac4e4d2ull), bits(0x3fe9c2d163a1aa2dull), bits(0x3fd40645f0c6651cull),
    bits(0x3fe886e6037841edull), bits(0x3fd88e9c2c1b9ff8ull), bits(0x3fe767dcf5534862ull), bits(0x3fdce0a44eb17bccull),
};
constexpr double kA0 = bits(0x3fd27616c9496e0bull), kA1 = bits(0xbfd71969a075c67aull),
                 kA2 = bits(0x3fdec70a6ca7baddull), kA3 = bits(0xbfe7154748bef6c8ull),
                 kA4 = bits(0x3ff71547652ab82bull);
// 2^(k/32) with k/32 << 52 taken off its bits (added back from k below).
alignas(64) constexpr long long kExp2Tab[32] = {
    0x3ff0000000000000ll, 0x3fefd9b0d3158574ll, 0x3fefb5586cf9890fll, 0x3fef9301d0125b51ll, 0x3fef72b83c7d517bll,
    0x3fef54873168b9aall, 0x3fef387a6e756238ll, 0x3fef1e9df51fdee1ll, 0x3fef06fe0a31b715ll, 0x3feef1a7373aa9cbll,
    0x3feedea64c123422ll, 0x3feece086061892dll, 0x3feebfdad5362a27ll, 0x3feeb42b569d4f82ll, 0x3feeab07dd485429ll,
    0x3feea47eb03a5585ll, 0x3feea09e667f3bcdll, 0x3fee9f75e8ec5f74ll, 0x3feea11473eb0187ll, 0x3feea589994cce13ll,
    0x3feeace5422aa0dbll, 0x3feeb737b0cdc5e5ll, 0x3feec49182a3f090ll, 0x3feed503b23e255dll, 0x3feee89f995ad3adll,
    0x3feeff76f2fb5e47ll, 0x3fef199bdd85529cll, 0x3fef3720dcef9069ll, 0x3fef5818dcfba487ll, 0x3fef7c97337b9b5fll,
    0x3fefa4afa2a490dall, 0x3fefd0765b6e4540ll,
};
constexpr double kShift = bits(0x42e8000000000000ull);  // 1.5 * 2^52 / 32: rounds to k/32
constexpr double kC0 = bits(0x3fac6af84b912394ull), kC1 = bits(0x3fcebfce50fac4f3ull),
                 kC2 = bits(0x3fe62e42ff0c52d6ull);

// Eight values at a time, the tables read by permutes.
__attribute__((target("avx512f,avx512vl,fma"))) void vector_pow(const float* x, float y, float* out, int32_t n) {
  const __m512d yd = _mm512_set1_pd(static_cast<double>(y));
  const __m512d one = _mm512_set1_pd(1.0), minus_one = _mm512_set1_pd(-1.0);
  const __m512d A0 = _mm512_set1_pd(kA0), A1 = _mm512_set1_pd(kA1), A2 = _mm512_set1_pd(kA2), A3 = _mm512_set1_pd(kA3),
                A4 = _mm512_set1_pd(kA4);
  const __m512d C0 = _mm512_set1_pd(kC0), C1 = _mm512_set1_pd(kC1), C2 = _mm512_set1_pd(kC2);
  const __m512d shift = _mm512_set1_pd(kShift);
  const __m512i idx_even = _mm512_set_epi64(14, 12, 10, 8, 6, 4, 2, 0),
                idx_odd = _mm512_set_epi64(15, 13, 11, 9, 7, 5, 3, 1);
  const __m512d t01 = _mm512_load_pd(kLog2Tab), t23 = _mm512_load_pd(kLog2Tab + 8), t45 = _mm512_load_pd(kLog2Tab + 16),
                t67 = _mm512_load_pd(kLog2Tab + 24);
  // invc and logc of subintervals 0-7 and 8-15.
  const __m512d invc_lo = _mm512_permutex2var_pd(t01, idx_even, t23),
                invc_hi = _mm512_permutex2var_pd(t45, idx_even, t67);
  const __m512d logc_lo = _mm512_permutex2var_pd(t01, idx_odd, t23),
                logc_hi = _mm512_permutex2var_pd(t45, idx_odd, t67);
  const __m512i e0 = _mm512_load_si512(kExp2Tab), e1 = _mm512_load_si512(kExp2Tab + 8),
                e2 = _mm512_load_si512(kExp2Tab + 16), e3 = _mm512_load_si512(kExp2Tab + 24);
  for (int32_t k = 0; k < n; k += 8) {
    const int32_t m = std::min<int32_t>(8, n - k);
    const __mmask8 live = static_cast<__mmask8>((1u << m) - 1u);
    const __m256i ix = _mm256_castps_si256(_mm256_mask_loadu_ps(_mm256_set1_ps(1.0f), live, x + k));
    const __m256i t0 = _mm256_sub_epi32(ix, _mm256_set1_epi32(0x00800000));
    const __mmask8 off_x = _mm256_cmpgt_epu32_mask(t0, _mm256_set1_epi32(0x7effffff));
    const __m256i tmp = _mm256_sub_epi32(ix, _mm256_set1_epi32(0x3f330000));
    const __m512i i = _mm512_cvtepu32_epi64(_mm256_and_si256(_mm256_srli_epi32(tmp, 19), _mm256_set1_epi32(15)));
    const __m256i top = _mm256_and_si256(tmp, _mm256_set1_epi32(static_cast<int32_t>(0xff800000u)));
    const __m256i iz = _mm256_sub_epi32(ix, top);
    const __m512d kd0 = _mm512_cvtepi32_pd(_mm256_srai_epi32(top, 23));
    const __m512d invc = _mm512_permutex2var_pd(invc_lo, i, invc_hi);
    const __m512d logc = _mm512_permutex2var_pd(logc_lo, i, logc_hi);
    const __m512d z = _mm512_cvtps_pd(_mm256_castsi256_ps(iz));
    const __m512d r = _mm512_fmadd_pd(z, invc, minus_one);
    const __m512d y0 = _mm512_add_pd(kd0, logc);
    const __m512d ya = _mm512_fmadd_pd(r, A0, A1);
    const __m512d p = _mm512_fmadd_pd(r, A2, A3);
    const __m512d r2 = _mm512_mul_pd(r, r);
    __m512d q = _mm512_fmadd_pd(r, A4, y0);
    const __m512d r4 = _mm512_mul_pd(r2, r2);
    q = _mm512_fmadd_pd(r2, p, q);
    const __m512d ylogx = _mm512_mul_pd(yd, _mm512_fmadd_pd(ya, r4, q));
    const __m512i top16 =
        _mm512_and_si512(_mm512_srli_epi64(_mm512_castpd_si512(ylogx), 47), _mm512_set1_epi64(0xffff));
    const __mmask8 off_y = _mm512_cmpgt_epi64_mask(top16, _mm512_set1_epi64(0x80be));
    __m512d kd = _mm512_add_pd(ylogx, shift);
    const __m512i ki = _mm512_castpd_si512(kd);
    kd = _mm512_sub_pd(kd, shift);
    const __m512d rr = _mm512_sub_pd(ylogx, kd);
    const __m512i j = _mm512_and_si512(ki, _mm512_set1_epi64(31));
    const __m512i t_lo = _mm512_permutex2var_epi64(e0, j, e1), t_hi = _mm512_permutex2var_epi64(e2, j, e3);
    const __mmask8 upper = _mm512_test_epi64_mask(j, _mm512_set1_epi64(16));
    __m512i t = _mm512_mask_blend_epi64(upper, t_lo, t_hi);
    t = _mm512_add_epi64(t, _mm512_slli_epi64(ki, 47));
    const __m512d s = _mm512_castsi512_pd(t);
    const __m512d zz = _mm512_fmadd_pd(rr, C0, C1);
    const __m512d rr2 = _mm512_mul_pd(rr, rr);
    __m512d e = _mm512_fmadd_pd(rr, C2, one);
    e = _mm512_fmadd_pd(zz, rr2, e);
    e = _mm512_mul_pd(e, s);
    alignas(32) float res[8];
    _mm256_store_ps(res, _mm512_cvtpd_ps(e));
    const unsigned off = static_cast<unsigned>(off_x | off_y) & live;
    if (off != 0) {
      for (int32_t l = 0; l < m; ++l) {
        if ((off >> l) & 1u) res[l] = std::pow(x[k + l], y);
      }
    }
    _mm256_mask_storeu_ps(out + k, live, _mm256_load_ps(res));
  }
}

using LanesFn = void (*)(const float*, float, float*, int32_t);

// Lanes are used where the C library runs the FMA build of the same
// arithmetic, and only once they agree with std::pow on a spread of values.
LanesFn checked(LanesFn f) {
  constexpr int32_t n = 4099;
  static float x[n], a[n], b[n];
  uint32_t h = 0x2545f491u;
  for (int32_t k = 0; k < n; ++k) {
    h = h * 1664525u + 1013904223u;
    const uint32_t bits32 = 0x00800000u + h % 0x7f000000u;  // positive normal numbers
    std::memcpy(&x[k], &bits32, sizeof bits32);
  }
  for (const float y : {0.375f, 0.6666667f, 1.5f, -2.25f}) {
    f(x, y, a, n);
    scalar_pow(x, y, b, n);
    if (std::memcmp(a, b, sizeof a) != 0) return nullptr;
  }
  return f;
}

// The lanes where the CPU has AVX-512 (and so the AVX2 and FMA that make the
// C library take the arithmetic above), and most allows them.
LanesFn lanes(int32_t most) {
  static const LanesFn eight = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") &&
                                       __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl")
                                   ? checked(vector_pow)
                                   : nullptr;
  return most >= 8 ? eight : nullptr;
}
#endif

}  // namespace

int32_t powf_batch_lanes() {
#if TARVEX_POWF_LANES
  const LanesFn f = lanes(8);
  return f == nullptr ? 1 : 8;
#else
  return 1;
#endif
}

void powf_batch(const float* x, float y, float* out, int32_t n, bool vector) {
#if TARVEX_POWF_LANES
  uint32_t iy;
  std::memcpy(&iy, &y, sizeof iy);
  const bool y_finite_nonzero = 2u * iy - 1u < 2u * 0x7f800000u - 1u;
  const LanesFn f = y_finite_nonzero && vector ? lanes(8) : nullptr;
  if (f != nullptr) {
    f(x, y, out, n);
    return;
  }
#endif
  scalar_pow(x, y, out, n);
}

}  // namespace tarvex

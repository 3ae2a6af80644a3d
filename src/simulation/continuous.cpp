#include "simulation/continuous.hpp"

#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif


namespace tarvex {

void SUB_STORE_EXACT(float q0, float r, float g, float D, float DT, float& Q_END, float& Q_MEAN) {
  const double gd = g;
  const double dt = DT;
  const double q = q0;
  const double a = static_cast<double>(r) - static_cast<double>(D);  // net input, mm/s
  const double qe = a / gd;                                           // equilibrium store
  double span = dt;                                                   // time the store holds water
  if (a < 0.0) {
    if (!(q > 0.0)) {
      Q_END = 0.0f;
      Q_MEAN = 0.0f;
      return;
    }
    const double t_dry = std::log((q - qe) / -qe) / gd;
    if (t_dry < dt) span = t_dry;
  }
  if (span < dt) {
    // Runs dry at t_dry: integral of q over [0, t_dry] is qe*t_dry + q0/g.
    Q_END = 0.0f;
    Q_MEAN = static_cast<float>((qe * span + q / gd) / dt);
    return;
  }
  const double h = gd * dt;
  Q_END = static_cast<float>(qe + (q - qe) * std::exp(-h));
  if (!(Q_END > 0.0f)) Q_END = 0.0f;
  Q_MEAN = static_cast<float>(qe + (q - qe) * (-std::expm1(-h)) / h);
}

void MonthlyEt::init_double_path() {
  const long double R = records_in_month;
  const long double r = slope * b * a / R;
  const long double o = offset / R;
  rate = static_cast<double>(r);
  base = static_cast<double>(o);
  double_ok = std::isfinite(R) && R != 0.0L && std::isfinite(rate) && std::isfinite(base);
}

// Why the double form is safe. With u = 2^-53, v = 2^-64, X = slope*T*b*a
// and S = (X + offset)/R exactly, the extended expression gives
//   Le = ((X/R)(1+h2)(1+h3) + offset/R)(1+h4)(1+h5),   |hi| <= v
// (slope*T is exact in 64 bits). The doubles give P = rate*T, De = P + base:
//   De = ((X/R)(1+ec)(1+d1) + (offset/R)(1+eo))(1+d2),   |d| <= u,
// rate and base being extended values rounded once more: |ec|, |eo| <= u+3v.
// With |offset/R| <= |S| + |X/R|, collecting terms and bounding |S| and |X/R|
// by |De| and |P| (factors 1 + O(u)):
//   |De - Le| <= 2.01u|De| + 3.02u|P| < err = 2^-51 (|De| + |P|),
// and evaluating err in doubles loses at most 2u relative, which the margin
// absorbs. For finite constants no product or sum leaves the normal double
// range (|rate| in [2^-644, 2^496] when not 0), so these bounds hold.
//
// (float)Le rounds Le once to 24 bits; the result equals (float)De when no
// float rounding boundary lies within err of De. Let h = 2^(e-24), e the
// exponent of De: half a float ulp in De's binade, and fd = (float)De.
// The boundaries nearest De are at distance h - |De - fd| (exact in doubles)
// and, just above a power of two, one at distance >= h/2 below it; so accept
// when err < h - |De - fd| and 2 err < h. The overflow threshold is such a
// boundary too (the midpoint above FLT_MAX). The test rejects zero, NaN and
// infinities (comparisons false, h = 0 or d infinite); below the normal
// range the float spacing is coarser than 2h, so h - |De - fd| still
// underestimates the distance and accepted subnormal results are right.
int32_t MonthlyEt::step_depths(const float* T, float* E, int32_t n) const {
  if (!double_ok || n <= 0) {
    for (int32_t k = 0; k < n; ++k) E[k] = step_depth(T[k]);
    return n > 0 ? n : 0;
  }
  int32_t slow = 0;
#if defined(__SSE2__)
  const __m128d vrate = _mm_set1_pd(rate);
  const __m128d vbase = _mm_set1_pd(base);
  const __m128d abs_mask = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffffLL));
  const __m128d exp_mask = _mm_castsi128_pd(_mm_set1_epi64x(0x7ff0000000000000LL));
  const __m128d half_ulp = _mm_set1_pd(0x1p-24);
  const __m128d err_scale = _mm_set1_pd(0x1p-51);
  const __m128 vdt = _mm_set1_ps(DT);
  const __m128 vdt_rain = _mm_set1_ps(DT_RAIN);
  // Two values in doubles: their floats in the low half of F, bit i of the
  // result set when value i is proven.
  auto pair = [&](__m128d t, __m128& F) {
    const __m128d p = _mm_mul_pd(vrate, t);
    const __m128d e = _mm_add_pd(p, vbase);
    F = _mm_cvtpd_ps(e);
    const __m128d fd = _mm_cvtps_pd(F);
    const __m128d d = _mm_and_pd(_mm_sub_pd(e, fd), abs_mask);
    const __m128d h = _mm_mul_pd(_mm_and_pd(e, exp_mask), half_ulp);
    const __m128d err = _mm_mul_pd(_mm_add_pd(_mm_and_pd(e, abs_mask), _mm_and_pd(p, abs_mask)), err_scale);
    const __m128d ok = _mm_and_pd(_mm_cmplt_pd(err, _mm_sub_pd(h, d)), _mm_cmplt_pd(_mm_add_pd(err, err), h));
    return _mm_movemask_pd(ok);
  };
  auto quad = [&](const float* t4, float* e4, int32_t m) {
    const __m128 t = _mm_loadu_ps(t4);
    __m128 lo, hi;
    const int ok = pair(_mm_cvtps_pd(t), lo) | pair(_mm_cvtps_pd(_mm_movehl_ps(t, t)), hi) << 2;
    __m128 f = _mm_movelh_ps(lo, hi);
    f = _mm_div_ps(_mm_mul_ps(vdt, f), vdt_rain);
    f = _mm_andnot_ps(_mm_cmplt_ps(f, _mm_setzero_ps()), f);  // negative to +0
    _mm_storeu_ps(e4, f);
    int32_t c = 0;
    if (ok != 0xF) {
      for (int32_t j = 0; j < m; ++j) {
        if (!(ok >> j & 1)) {
          e4[j] = step_depth(t4[j]);
          ++c;
        }
      }
    }
    return c;
  };
  int32_t k = 0;
  for (; k + 4 <= n; k += 4) slow += quad(T + k, E + k, 4);
  if (k < n) {
    const int32_t m = n - k;
    float t4[4] = {T[k], T[k], T[k], T[k]}, e4[4];
    for (int32_t j = 1; j < m; ++j) t4[j] = T[k + j];
    slow += quad(t4, e4, m);
    for (int32_t j = 0; j < m; ++j) E[k + j] = e4[j];
  }
#else
  for (int32_t k = 0; k < n; ++k) E[k] = step_depth(T[k]);
  slow = n;
#endif
  return slow;
}

}  // namespace tarvex

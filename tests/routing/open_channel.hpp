#pragma once
// Open-channel hydraulics in double precision for the routing tests, solved
// independently of the model's closed forms.
#include <cmath>

namespace tarvex::test {

// Rectangular section of width-to-depth ratio r carrying Q (m3/s) on bed slope
// S by Strickler's law Q = K A R^(2/3) S^(1/2) (A = W h, R = A / (W + 2 h),
// h = W / r): its width W (m), the kinematic celerity c = dQ/dA (m/s) of a
// wave rising in it at that width, and the hydraulic diffusivity
// Dh = Q / (2 S W) (m2/s) of the diffusive wave (Cunge 1969).
struct Section {
  double W = 0.0, c = 0.0, Dh = 0.0;
};

inline Section strickler_section(double Q, double K, double S, double r) {
  const auto discharge = [&](double W) {
    const double h = W / r, A = W * h, R = A / (W + 2.0 * h);
    return K * A * std::cbrt(R * R) * std::sqrt(S);
  };
  double lo = 1e-9, hi = 1e5;  // discharge(W) grows with W: bisection
  for (int k = 0; k < 200; ++k) {
    const double mid = 0.5 * (lo + hi);
    (discharge(mid) < Q ? lo : hi) = mid;
  }
  Section s;
  s.W = 0.5 * (lo + hi);
  const double h = s.W / r;
  // dQ/dh at fixed W over W: Q (5/3 - 4/3 h / (W + 2 h)) / A.
  s.c = Q / (s.W * h) * (5.0 / 3.0 - 4.0 / 3.0 * h / (s.W + 2.0 * h));
  s.Dh = Q / (2.0 * S * s.W);
  return s;
}

// Mean delay and variance, in steps and steps squared, of one cell's response
// O[n] = C1 I[n] + C2 I[n-1] + C3 O[n-1] to its inflow: the first two
// cumulants of (C1 + C2 z) / (1 - C3 z), with C1 + C2 + C3 = 1.
struct CellMoments {
  double mean = 0.0, var = 0.0;
};

inline CellMoments cell_moments(double C1, double C2, double C3) {
  const double a = C1 + C2;
  return {(C2 + C3) / a, C1 * C2 / (a * a) + C3 / ((1.0 - C3) * (1.0 - C3))};
}

}  // namespace tarvex::test

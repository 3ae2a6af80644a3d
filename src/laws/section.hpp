#pragma once
// Wet width and kinematic-wave celerity of a cell's flow in a rectangular
// section of width W = r h at depth h (r the width-to-depth ratio), from the
// Gauckler-Manning-Strickler law Q = K A R^(2/3) S^(1/2), with A = r h^2 and
// R = r h / (r + 2):
//
//   W  = (Q r (r + 2)^(2/3) / (K S^(1/2)))^(3/8)                       (m)
//   ck = dQ/dA at fixed W = (5/3 r + 2) (r + 2)^(-5/3) K S^(1/2) W^(2/3) (m/s)
//
// Q in m3/s, K in m^(1/3)/s, S the slope (m/m). The celerity is the
// kinematic-wave one of Lighthill and Whitham (1955). Callers pass
// KS = K S^(1/2).
#include <cmath>

namespace tarvex {

// The powers of r a run's width and celerity laws take.
struct SectionShape {
  float r = 0.0f;    // width-to-depth ratio
  float p23 = 0.0f;  // (r + 2)^(2/3)
  float p53 = 0.0f;  // (r + 2)^(-5/3)
  float f = 0.0f;    // 5/3 r + 2
};

inline SectionShape section_shape(float r) {
  SectionShape sh;
  sh.r = r;
  sh.p23 = std::pow(r + 2.0f, 0.6666667f);
  sh.p53 = std::pow(r + 2.0f, -1.6666666f);
  sh.f = 1.6666666f * r + 2.0f;
  return sh;
}

// W = width_base^kWidthPower and ck = celerity_of(W^kCelerityPower): the
// batch forms take the powers for many cells at once between the two steps.
inline constexpr float kWidthPower = 0.375f;
inline constexpr float kCelerityPower = 0.6666667f;

// W^(8/3), m^(8/3).
inline float width_base(float Q, float KS, const SectionShape& sh) { return sh.p23 * Q * sh.r / KS; }

// ck from W^(2/3); a zero celerity is floored to 0.0001 m/s.
inline float celerity_of(float KS, float W23, const SectionShape& sh) {
  float ck = sh.p53 * (KS * W23) * sh.f;
  if (ck == 0.0f) ck = 0.0001f;
  return ck;
}

inline float section_width(float Q, float KS, const SectionShape& sh) {
  return std::pow(width_base(Q, KS, sh), kWidthPower);
}

inline float kinematic_celerity(float W, float KS, const SectionShape& sh) {
  return celerity_of(KS, std::pow(W, kCelerityPower), sh);
}

}  // namespace tarvex

#pragma once
// Curve-number direct runoff (USDA Soil Conservation Service, 1956; NRCS
// National Engineering Handbook, Part 630, chapter 10): of an event's
// accumulated rain P, the accumulated direct runoff is
//
//   Q = (P - lambda S)^2 / (P + (1 - lambda) S)   for P > lambda S, else 0
//
// P, S (the potential maximum retention) and Q in mm; lambda S is the
// initial abstraction (lambda = 0.2 in the handbook).

namespace tarvex {

inline float cn_accumulated_runoff(float P, float S, float lambda) {
  float A = P - lambda * S;
  if (A < 0.0f) A = 0.0f;
  float Q = A * A / ((1.0f - lambda) * S + P);
  if (Q < 0.0f) Q = 0.0f;
  return Q;
}

}  // namespace tarvex

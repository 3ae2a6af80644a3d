#pragma once
// Muskingum-Cunge routing of one cell (Cunge 1969), in the form of Ponce and
// Yevjevich (1978): the outflow at the end of a step of dt seconds is
//
//   Q_out' = C1 Q_in' + C2 Q_in + C3 Q_out + C4 q_lat   (m3/s, never below 0)
//
//   C1 = (Cr - 1 + D) / (Cr + 1 + D)    C2 = (Cr + 1 - D) / (Cr + 1 + D)
//   C3 = (1 - Cr + D) / (Cr + 1 + D)    C4 = 2 Cr / (Cr + 1 + D)
//
// with the Courant number Cr = ck dt / L and the diffusion (cell Reynolds)
// number D = Q / (S ck W L): ck the celerity (m/s), L the flow length (m),
// Q = (Q_in' + Q_in + Q_out) / 3 the reference discharge (m3/s, at least
// 0.0001), S the slope, W the flow width (m). The subsurface flow takes
// D = 2 Q / (ck S w L) over its width w. D is raised to 1 - Cr where
// Cr + D < 1, so that C1 is never negative.
//
// Every law here is a template over V: float or double (as each law is
// evaluated), or a GCC vector of them (__m512, __m512d), whose operators are
// the same IEEE operations lane by lane, so that the vector forms are this
// arithmetic in the same order.

namespace tarvex {

template <class V>
inline V reference_discharge(V in, V in_old, V out_old) {
  const V Q = (in + in_old + out_old) / 3.0f;
  return Q <= V{} ? V{} + 0.0001f : Q;
}

// lateral: C4 q_lat, m3/s.
template <class V>
inline V muskingum_outflow(V C1, V C2, V C3, V in, V in_old, V out_old, V lateral) {
  const V q = C2 * in_old + C1 * in + C3 * out_old + lateral;
  return q < V{} ? V{} : q;
}

template <class V>
inline V courant_number(V ck, V dt, V L) {
  return ck * dt / L;
}

template <class V>
inline V surface_diffusion_number(V Q, V S, V ck, V W, V L) {
  return Q / (S * ck * W * L);
}

// ck S w L, fixed for a cell during a run.
template <class V>
inline V subsurface_diffusion_denominator(V ck, V S, V w, V L) {
  return ck * S * w * L;
}

template <class V>
inline V subsurface_diffusion_number(V Q, V denominator) {
  return 2.0 * Q / denominator;
}

// Whether D is raised to 1 - Cr: bool, or a lane mask of all ones or zeros.
template <class V>
inline auto diffusion_raised(V Cr, V D) {
  return Cr + D < 1.0;
}

// The numerators of C1..C4 and their common denominator.
template <class V>
struct MuskingumTerms {
  V n1, n2, n3, n4, den;
};

template <class V>
inline MuskingumTerms<V> muskingum_terms(V Cr, V D) {
  D = diffusion_raised(Cr, D) ? 1.0 - Cr : D;
  return {Cr - 1.0 + D, Cr + 1.0 - D, 1.0 - Cr + D, 2.0 * Cr, Cr + 1.0 + D};
}

template <class V>
inline void muskingum_cunge(V Cr, V D, V (&C)[4]) {
  const MuskingumTerms<V> t = muskingum_terms(Cr, D);
  C[0] = t.n1 / t.den;
  C[1] = t.n2 / t.den;
  C[2] = t.n3 / t.den;
  C[3] = t.n4 / t.den;
}

}  // namespace tarvex

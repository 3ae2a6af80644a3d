#pragma once
// Continuous soil water balance of a cell over one step of DT seconds.
//
// Soil store W (mm) of capacity W_cap: the step's rain fills it and the
// overflow X = max(W - W_cap, 0) recharges the subsurface store. The step's
// evapotranspiration E (mm) is withdrawn from what the soil holds; what it
// cannot give becomes a deficit D = (E - W) / DT (mm/s), drawn from the
// subsurface store at the next step.
//
// Subsurface store q (mm): a linear reservoir of time constant tau (s) and
// capacity q_cap (mm) with recharge r = X / DT (mm/s),
//
//   dq/dt = r - g q - D,   g = 1/tau + r/q_cap   (per s),
//
// integrated by the classical fourth-order Runge-Kutta method with every
// stage's store clamped at zero. Its mean Qm over the step gives the surface
// runoff min(Qm X / q_cap, X) (mm per step) and the subsurface outflow
// Qm / tau * dx dy / 1000 (m3/s, dx and dy the cell sides in m); the store
// ends capped at q_cap. Where g DT exceeds the stability limit of the stages
// the store takes the exact solution (SUB_STORE_EXACT) instead.
//
// Every law here is a template over V: float, or a GCC vector of floats
// (__m128, __m512), whose operators are the same IEEE operations lane by
// lane; the comparisons select lane by lane as the scalar branches do.

namespace tarvex {

// g DT beyond which the explicit stages are unstable (the real root of
// 1 + z + z^2/2 + z^3/6 + z^4/24 = 1).
inline constexpr double RK4_STABILITY_LIMIT = 2.7852935634052818;

template <class V>
struct SoilFill {
  V water;     // mm, left in the soil store
  V overflow;  // mm, X
};

// W: the soil store plus the step's rain, mm.
template <class V>
inline SoilFill<V> soil_fill(V W, V cap) {
  const auto over = W > cap;
  return {over ? cap : W, over ? W - cap : V{}};
}

template <class V>
struct SoilWithdrawal {
  V water;    // mm
  V deficit;  // mm/s
};

template <class V>
inline SoilWithdrawal<V> soil_withdraw(V W, V E, float DT) {
  const V sw = W - E;
  const auto dry = sw < V{};
  return {dry ? V{} : sw, dry ? -sw / DT : V{}};
}

template <class V>
inline V store_recharge(V X, float DT) {
  return X / DT;
}

template <class V>
inline V store_decay(float inv_tau, V r, V cap) {
  return inv_tau + r / cap;
}

// G: g in doubles, so that the product is exact.
template <class G>
inline auto store_stiff(G g, double DT) {
  return g * DT > RK4_STABILITY_LIMIT;
}

template <class V>
struct StoreStep {
  V q;     // mm, at the end of the step, before the cap
  V mean;  // mm, Qm
};

template <class V>
inline StoreStep<V> store_stages(V q, V r, V g, V D, float DT) {
  const V k1 = (r - g * q - D) * DT;
  q = q + k1 / 2.0f < V{} ? -k1 / 2.0f : q;
  const V k2 = (r - g * (q + k1 / 2.0f) - D) * DT;
  q = q + k2 / 2.0f < V{} ? -k2 / 2.0f : q;
  const V k3 = (r - g * (q + k2 / 2.0f) - D) * DT;
  q = q + k3 < V{} ? -k3 : q;
  const V k4 = (r - g * (q + k3) - D) * DT;
  const V dq = (2.0f * k2 + k1 + 2.0f * k3 + k4) / 6.0f;
  const V Q0 = q;
  q = Q0 + dq;
  q = q < V{} ? V{} : q;
  return {q, (Q0 + q) / 2.0f};
}

// Surface runoff, mm per step, from the mean store Qm and the overflow X.
template <class V>
inline V store_runoff(V Qm, V X, V cap) {
  const V out = (Qm * X) / cap;
  return out > X ? X : out;
}

// Subsurface outflow, m3/s.
template <class V>
inline V store_outflow(float inv_tau, V Qm, float dx, float dy) {
  return inv_tau * Qm * dx * dy / 1000.0f;
}

template <class V>
inline V store_capped(V q, V cap) {
  return q > cap ? cap : q;
}

}  // namespace tarvex

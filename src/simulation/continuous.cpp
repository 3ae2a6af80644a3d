#include "simulation/continuous.hpp"

#include <cmath>

#include "simulation/local_rain.hpp"

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

void CONTINUOUS(ModelState& s, int32_t N, int32_t MONTH, int32_t MISS_FLAG, int32_t TMISS_FLAG,
                const Grid<int32_t>& TMAP_STEP, Grid<float>& RUNOFF, const Grid<int32_t>& MAP_STEP,
                const Grid<float>& WEIGHT_STEP) {
  const float DT = s.DT_SIM;
  const int32_t m = MONTH;
  // Per-call values, each evaluated exactly as in the per-cell formulas.
  const float inv_tau = 1.0f / s.TAU_SUB;  // 1/s
  const float F_SUB_CAP = s.F_SUB_CAP;
  const float IA_RATIO = s.IA_RATIO;
  const MonthlyEt et(s, m);
  for_catchment_cells(s, N, MISS_FLAG, RUNOFF, MAP_STEP, WEIGHT_STEP, [&](int32_t I, int32_t J, float P) {

    // Soil store; its overflow X recharges the subsurface store.
    const float S = s.SOIL_CAPACITY(I, J);
    const float W = s.SOIL_WATER(I, J) + P;
    s.SOIL_WATER(I, J) = W;
    const float soil_cap = IA_RATIO * S;  // mm
    float X = 0.0f;
    if (W > soil_cap) {
      X = W - soil_cap;
      s.SOIL_WATER(I, J) = soil_cap;
    }

    // Subsurface store: dq/dt = r - g*q - D, D the deficit of the previous step.
    const float r = X / DT;  // mm/s
    const float D = s.ET_DEFICIT(I, J);
    const float sub_cap = F_SUB_CAP * S;  // mm
    const float g = inv_tau + r / sub_cap;
    float q = s.SUB_STORE(I, J);
    float Q0;
    float Qm;
    if (static_cast<double>(g) * static_cast<double>(DT) > RK4_STABILITY_LIMIT) {
      // Stiff cell: the explicit stages would overshoot and the clamps would
      // lift the store, creating water; use the exact solution instead.
      Q0 = q;
      float q_end;
      SUB_STORE_EXACT(Q0, r, g, D, DT, q_end, Qm);
      q = q_end;
    } else {
      const float k1 = (r - g * q - D) * DT;
      if (q + k1 / 2.0f < 0.0f) q = -k1 / 2.0f;
      const float k2 = (r - g * (q + k1 / 2.0f) - D) * DT;
      if (q + k2 / 2.0f < 0.0f) q = -k2 / 2.0f;
      const float k3 = (r - g * (q + k2 / 2.0f) - D) * DT;
      if (q + k3 < 0.0f) q = -k3;
      const float k4 = (r - g * (q + k3) - D) * DT;
      const float dq = (2.0f * k2 + k1 + 2.0f * k3 + k4) / 6.0f;
      Q0 = q;
      q = Q0 + dq;
      if (q < 0.0f) q = 0.0f;
      Qm = (Q0 + q) / 2.0f;
    }

    // Outflows from the mean store, before the cap.
    RUNOFF(I, J) = (Qm * X) / sub_cap;
    s.SUB_FLOW(I, J) = inv_tau * Qm * s.CELL_DX * s.CELL_DY / 1000.0f;  // m3/s
    if (RUNOFF(I, J) > X) RUNOFF(I, J) = X;
    if (q > sub_cap) q = sub_cap;
    s.SUB_STORE(I, J) = q;

    // Cell temperature, 6.3 degrees per 1000 m from the station.
    const int32_t st = TMISS_FLAG == 0 ? s.TEMP_STATION_MAP(I, J) : TMAP_STEP(I, J);
    const float T = s.TEMP_DATA(N, st) - (s.ELEVATION(I, J) - s.TEMP_Z(st)) * 0.0063f;
    s.CELL_TEMP(I, J) = T;

    const float E = et.step_depth(T);
    s.CELL_ET(I, J) = E;

    s.SOIL_WATER(I, J) = s.SOIL_WATER(I, J) - E;
    if (s.SOIL_WATER(I, J) < 0.0f) {
      s.ET_DEFICIT(I, J) = -s.SOIL_WATER(I, J) / DT;  // mm/s
      s.SOIL_WATER(I, J) = 0.0f;
    } else {
      s.ET_DEFICIT(I, J) = 0.0f;
    }
  });
}

}  // namespace tarvex

#include "simulation/new_inv_dist.hpp"

namespace tarvex {

void NEWINVDIST(const ModelState& s, int32_t NST, const Table<float, 2, MAX_RAIN_ST>& XY, int32_t NMISS,
                const MissList& MISSLIST, Grid<float>& WEIGHT, const Grid<float>& ACTIVE) {
  for (int32_t k = 1; k <= NST; ++k) {
    for (int32_t J = 1; J <= s.NJ; ++J) {
      for (int32_t I = 1; I <= s.NI; ++I) WEIGHT((k - 1) * s.NI + I, J) = 0.0f;
    }
  }

  Array1<bool, MAX_RAIN_ST> missing;
  for (int32_t k = 1; k <= NST; ++k) missing(k) = false;
  for (int32_t m = 1; m <= NMISS; ++m) missing(MISSLIST(m)) = true;

  Array1<float, MAX_RAIN_ST> W;
  for (int32_t I = 1; I <= s.NI; ++I) {
    for (int32_t J = 1; J <= s.NJ; ++J) {
      if (!(ACTIVE(I, J) > 0.0f)) continue;
      float SUM = 0.0f;
      for (int32_t k = 1; k <= NST; ++k) {
        W(k) = 0.0f;
        if (missing(k)) continue;
        const float dj = static_cast<float>(J) - XY(2, k);
        const float di = static_cast<float>(I) - XY(1, k);
        float D = dj * dj + di * di;
        if (D == 0.0f) D = 0.0001f;  // gauge on the cell centre
        W(k) = 1.0f / D;
        SUM = SUM + W(k);
      }
      for (int32_t k = 1; k <= NST; ++k) {
        WEIGHT((k - 1) * s.NI + I, J) = missing(k) ? 0.0f : W(k) / SUM;
      }
    }
  }
}

}  // namespace tarvex

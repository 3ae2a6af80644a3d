#include "forcing/invdist.hpp"

namespace tarvex {

void INVDIST(const ModelState& s, int32_t N, const Table<float, 2, MAX_RAIN_ST>& XY, Grid<float>& W,
             const Grid<float>& ACTIVE) {
  const int32_t NI = s.NI;
  for (int32_t k = 1; k <= N; ++k) {
    for (int32_t I = 1; I <= NI; ++I) {
      for (int32_t J = 1; J <= s.NJ; ++J) W((k - 1) * NI + I, J) = 0.0f;
    }
  }
  float w[MAX_RAIN_ST];
  for (int32_t I = 1; I <= NI; ++I) {
    for (int32_t J = 1; J <= s.NJ; ++J) {
      if (!(ACTIVE(I, J) > 0.0f)) continue;
      float SUM = 0.0f;
      for (int32_t k = 1; k <= N; ++k) {
        const float d1 = static_cast<float>(I) - XY(1, k);
        const float d2 = static_cast<float>(J) - XY(2, k);
        float D = d1 * d1 + d2 * d2;
        if (D == 0.0f) D = 0.0001f;  // gauge on the cell centre
        w[k - 1] = 1.0f / D;
        SUM = SUM + w[k - 1];
      }
      for (int32_t k = 1; k <= N; ++k) W((k - 1) * NI + I, J) = w[k - 1] / SUM;
    }
  }
}

}  // namespace tarvex

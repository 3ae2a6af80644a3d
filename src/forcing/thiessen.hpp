#pragma once
// Nearest station of every active cell (squared distance in cell units, ties to
// the lowest station number); -1 on every other cell.
#include <cstdint>

#include "driver/model_state.hpp"

namespace tarvex {

// N: stations; XY(1,k) row and XY(2,k) column coordinate of station k;
// MAP: station map to fill; ACTIVE: cells with a value > 0 are computed.
template <int32_t B>
void THIESSEN(const ModelState& s, int32_t N, const Table<float, 2, B>& XY, Grid<int32_t>& MAP,
              const Grid<float>& ACTIVE) {
  for (int32_t I = 1; I <= s.NI; ++I) {
    for (int32_t J = 1; J <= s.NJ; ++J) {
      MAP(I, J) = -1;
      if (!(ACTIVE(I, J) > 0.0f)) continue;
      float DMIN = 1.0e20f;
      int32_t nearest = -1;
      for (int32_t k = 1; k <= N; ++k) {
        const float d1 = static_cast<float>(I) - XY(1, k);
        const float d2 = static_cast<float>(J) - XY(2, k);
        const float D = d1 * d1 + d2 * d2;
        if (D < DMIN) {
          DMIN = D;
          nearest = k;
        }
      }
      MAP(I, J) = nearest;
    }
  }
}

}  // namespace tarvex

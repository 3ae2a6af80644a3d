#include "simulation/new_thiessen.hpp"

namespace tarvex {

namespace {

bool is_missing(int32_t k, int32_t NMISS, const MissList& MISSLIST) {
  for (int32_t m = 1; m <= NMISS; ++m) {
    if (MISSLIST(m) == k) return true;
  }
  return false;
}

template <int32_t NS>
void nearest_reporting(const ModelState& s, int32_t NST, const Table<float, 2, NS>& XY, int32_t NMISS,
                       const MissList& MISSLIST, Grid<int32_t>& MAP, const Grid<float>& ACTIVE) {
  for (int32_t I = 1; I <= s.NI; ++I) {
    for (int32_t J = 1; J <= s.NJ; ++J) {
      MAP(I, J) = -1;
      if (!(ACTIVE(I, J) > 0.0f)) continue;
      float best = 1.0E20f;
      int32_t chosen = -1;
      for (int32_t k = 1; k <= NST; ++k) {
        if (is_missing(k, NMISS, MISSLIST)) continue;
        const float dj = static_cast<float>(J) - XY(2, k);
        const float di = static_cast<float>(I) - XY(1, k);
        const float D = dj * dj + di * di;  // squared distance, cells
        if (D < best) {
          best = D;
          chosen = k;
        }
      }
      MAP(I, J) = chosen;
    }
  }
}

}  // namespace

void NEWTHIESSEN(const ModelState& s, int32_t NST, const Table<float, 2, MAX_RAIN_ST>& XY, int32_t NMISS,
                 const MissList& MISSLIST, Grid<int32_t>& MAP, const Grid<float>& ACTIVE) {
  nearest_reporting(s, NST, XY, NMISS, MISSLIST, MAP, ACTIVE);
}

void NEWTHIESSEN(const ModelState& s, int32_t NST, const Table<float, 2, MAX_TEMP_ST>& XY, int32_t NMISS,
                 const MissList& MISSLIST, Grid<int32_t>& MAP, const Grid<float>& ACTIVE) {
  nearest_reporting(s, NST, XY, NMISS, MISSLIST, MAP, ACTIVE);
}

}  // namespace tarvex

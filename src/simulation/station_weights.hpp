#pragma once
// Distribution of station values over the cells: the nearest station of
// every cell, or the inverse-squared-distance weights of every rain gauge.
// Distances are in cell units from the cell (I, J) to the station at
// XY(1, k) (row) and XY(2, k) (column). Only cells with ACTIVE > 0 are
// computed. missing[k - 1] marks a station that does not report and is left
// out; nullptr when every station reports.
#include <cstdint>

#include "model/model_state.hpp"

namespace tarvex {

// Stations 1..N missing at record N_REC (MISSING(N_REC, k) == 1): listed in
// order in list(1..count) and marked in missing[k - 1]. Returns the count.
template <class MissingTable, class List>
int32_t missing_stations(const MissingTable& MISSING, int32_t N_REC, int32_t N, List& list, bool* missing) {
  int32_t count = 0;
  for (int32_t k = 1; k <= N; ++k) {
    missing[k - 1] = MISSING(N_REC, k) == 1;
    if (missing[k - 1]) {
      count = count + 1;
      list(count) = k;
    }
  }
  return count;
}

// MAP(I, J): the nearest reporting station (ties to the lowest number), -1 on
// every other cell or when no station reports.
template <class XYTable>
void nearest_station(int32_t NI, int32_t NJ, int32_t N, const XYTable& XY, const bool* missing,
                     Grid<int32_t>& MAP, const Grid<float>& ACTIVE) {
  for (int32_t I = 1; I <= NI; ++I) {
    for (int32_t J = 1; J <= NJ; ++J) {
      MAP(I, J) = -1;
      if (!(ACTIVE(I, J) > 0.0f)) continue;
      float DMIN = 1.0e20f;
      int32_t nearest = -1;
      for (int32_t k = 1; k <= N; ++k) {
        if (missing && missing[k - 1]) continue;
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

// W((k - 1) * NI + I, J): the weight of gauge k at cell (I, J), 1/D over the
// sum of 1/D of the reporting gauges (D floored at 0.0001 for a gauge on the
// cell centre); 0.0 for a missing gauge and on every other cell.
template <class XYTable>
void inverse_distance_weights(int32_t NI, int32_t NJ, int32_t N, const XYTable& XY, const bool* missing,
                              Grid<float>& W, const Grid<float>& ACTIVE) {
  for (int32_t k = 1; k <= N; ++k) {
    for (int32_t I = 1; I <= NI; ++I) {
      for (int32_t J = 1; J <= NJ; ++J) W((k - 1) * NI + I, J) = 0.0f;
    }
  }
  // 1/D goes into W first, then is divided by the sum: any number of gauges
  // without a buffer.
  for (int32_t I = 1; I <= NI; ++I) {
    for (int32_t J = 1; J <= NJ; ++J) {
      if (!(ACTIVE(I, J) > 0.0f)) continue;
      float SUM = 0.0f;
      for (int32_t k = 1; k <= N; ++k) {
        if (missing && missing[k - 1]) continue;
        const float d1 = static_cast<float>(I) - XY(1, k);
        const float d2 = static_cast<float>(J) - XY(2, k);
        float D = d1 * d1 + d2 * d2;
        if (D == 0.0f) D = 0.0001f;  // gauge on the cell centre
        float& w = W((k - 1) * NI + I, J);
        w = 1.0f / D;
        SUM = SUM + w;
      }
      for (int32_t k = 1; k <= N; ++k) {
        float& w = W((k - 1) * NI + I, J);
        w = missing && missing[k - 1] ? 0.0f : w / SUM;
      }
    }
  }
}

}  // namespace tarvex

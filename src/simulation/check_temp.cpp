#include "simulation/check_temp.hpp"

#include "forcing/station_weights.hpp"

namespace tarvex {

void CHECK_TEMP(const ModelState& s, int32_t N, int32_t& TMISS_FLAG, Grid<int32_t>& TMAP_STEP,
                MissList& TMISSLIST) {
  TMISS_FLAG = 0;
  int32_t count = 0;
  for (int32_t k = 1; k <= s.N_TEMP_ST; ++k) {
    if (s.TEMP_MISSING(N, k) == 1) {
      TMISS_FLAG = 1;
      count = count + 1;
      TMISSLIST(count) = k;
    }
  }
  if (TMISS_FLAG != 1) return;
  bool missing[kLimits.temp_stations] = {};
  for (int32_t m = 1; m <= count; ++m) missing[TMISSLIST(m) - 1] = true;
  nearest_station(s.NI, s.NJ, s.N_TEMP_ST, s.TEMP_XY, missing, TMAP_STEP, s.SLOPE);
}

}  // namespace tarvex

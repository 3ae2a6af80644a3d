#include "simulation/gauge_check.hpp"

#include "forcing/station_weights.hpp"

namespace tarvex {

void RAIN_GAUGE_CHECK(const ModelState& s, int32_t N, int32_t& MISS_FLAG, int32_t& NMISS, MissList& MISSLIST,
                      RunTables& t) {
  MISS_FLAG = 0;
  NMISS = 0;
  for (int32_t k = 1; k <= s.N_RAIN_ST; ++k) {
    if (s.RAIN_MISSING(N, k) == 1) {
      MISS_FLAG = 1;
      NMISS = NMISS + 1;
      MISSLIST(NMISS) = k;
    }
  }
  if (MISS_FLAG != 1) return;
  bool missing[kLimits.rain_gauges] = {};
  for (int32_t m = 1; m <= NMISS; ++m) missing[MISSLIST(m) - 1] = true;
  if (s.INTERP_METHOD == 1) {
    nearest_station(s.NI, s.NJ, s.N_RAIN_ST, s.RAIN_XY, missing, t.RAIN_STATION_MAP_STEP, s.SLOPE);
  } else {
    inverse_distance_weights(s.NI, s.NJ, s.N_RAIN_ST, s.RAIN_XY, missing, t.RAIN_WEIGHT_STEP, s.SLOPE);
  }
}

}  // namespace tarvex

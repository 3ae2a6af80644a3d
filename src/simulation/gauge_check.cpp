#include "simulation/gauge_check.hpp"

#include "simulation/new_inv_dist.hpp"
#include "simulation/new_thiessen.hpp"

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
  if (s.INTERP_METHOD == 1) {
    NEWTHIESSEN(s, s.N_RAIN_ST, s.RAIN_XY, NMISS, MISSLIST, t.RAIN_STATION_MAP_STEP, s.SLOPE);
  } else {
    NEWINVDIST(s, s.N_RAIN_ST, s.RAIN_XY, NMISS, MISSLIST, t.RAIN_WEIGHT_STEP, s.SLOPE);
  }
}

}  // namespace tarvex

#include "simulation/gauge_check.hpp"

#include "simulation/station_weights.hpp"

namespace tarvex {

void RAIN_GAUGE_CHECK(const RunModel& s, int32_t N, int32_t& MISS_FLAG, int32_t& NMISS, MissList& MISSLIST,
                      RunTables& t) {
  MISSLIST.size_to(s.forcing.N_RAIN_ST);
  bool* missing = MISSLIST.mask.get();
  NMISS = missing_stations(s.forcing.RAIN_MISSING, N, s.forcing.N_RAIN_ST, MISSLIST, missing);
  MISS_FLAG = NMISS > 0 ? 1 : 0;
  if (MISS_FLAG != 1) return;
  const void* table = s.forcing.INTERP_METHOD == 1 ? static_cast<const void*>(&t.RAIN_STATION_MAP_STEP)
                                           : static_cast<const void*>(&t.RAIN_WEIGHT_STEP);
  if (MISSLIST.table_holds_mask(table, s.forcing.N_RAIN_ST)) return;
  if (s.forcing.INTERP_METHOD == 1) {
    nearest_station(s.catchment.NI, s.catchment.NJ, s.forcing.N_RAIN_ST, s.forcing.RAIN_XY, missing, t.RAIN_STATION_MAP_STEP, s.catchment.SLOPE);
  } else {
    inverse_distance_weights(s.catchment.NI, s.catchment.NJ, s.forcing.N_RAIN_ST, s.forcing.RAIN_XY, missing, t.RAIN_WEIGHT_STEP, s.catchment.SLOPE);
  }
  MISSLIST.table_built(table, s.forcing.N_RAIN_ST);
}

}  // namespace tarvex

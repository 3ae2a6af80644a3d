#include "simulation/check_temp.hpp"

#include "simulation/station_weights.hpp"

namespace tarvex {

void CHECK_TEMP(const RunModel& s, int32_t N, int32_t& TMISS_FLAG, Grid<int32_t>& TMAP_STEP,
                MissList& TMISSLIST) {
  TMISSLIST.size_to(s.forcing.N_TEMP_ST);
  bool* missing = TMISSLIST.mask.get();
  TMISS_FLAG = missing_stations(s.forcing.TEMP_MISSING, N, s.forcing.N_TEMP_ST, TMISSLIST, missing) > 0 ? 1 : 0;
  if (TMISS_FLAG != 1 || TMISSLIST.table_holds_mask(&TMAP_STEP, s.forcing.N_TEMP_ST)) return;
  nearest_station(s.catchment.NI, s.catchment.NJ, s.forcing.N_TEMP_ST, s.forcing.TEMP_XY, missing, TMAP_STEP, s.catchment.SLOPE);
  TMISSLIST.table_built(&TMAP_STEP, s.forcing.N_TEMP_ST);
}

}  // namespace tarvex

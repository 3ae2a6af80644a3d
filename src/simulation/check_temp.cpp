#include "simulation/check_temp.hpp"

#include "forcing/station_weights.hpp"

namespace tarvex {

void CHECK_TEMP(const ModelState& s, int32_t N, int32_t& TMISS_FLAG, Grid<int32_t>& TMAP_STEP,
                MissList& TMISSLIST) {
  TMISSLIST.size_to(s.N_TEMP_ST);
  bool* missing = TMISSLIST.mask.get();
  TMISS_FLAG = missing_stations(s.TEMP_MISSING, N, s.N_TEMP_ST, TMISSLIST, missing) > 0 ? 1 : 0;
  if (TMISS_FLAG != 1 || TMISSLIST.table_holds_mask(&TMAP_STEP, s.N_TEMP_ST)) return;
  nearest_station(s.NI, s.NJ, s.N_TEMP_ST, s.TEMP_XY, missing, TMAP_STEP, s.SLOPE);
  TMISSLIST.table_built(&TMAP_STEP, s.N_TEMP_ST);
}

}  // namespace tarvex

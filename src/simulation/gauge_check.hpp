#pragma once
#include <cstdint>

#include "model/model_state.hpp"
#include "simulation/station_lists.hpp"

namespace tarvex {

// Lists the rain gauges missing at record N (MISS_FLAG 1 when any is) and,
// only then, rebuilds the run's rain step table over the reporting gauges:
// the nearest-gauge map with INTERP_METHOD 1, the weights otherwise. The
// table stays when it was last built for the same missing gauges.
void RAIN_GAUGE_CHECK(const RunModel& s, int32_t N, int32_t& MISS_FLAG, int32_t& NMISS, MissList& MISSLIST,
                      RunTables& t);

}  // namespace tarvex

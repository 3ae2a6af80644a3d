#include "model/model_state.hpp"

namespace tarvex {

void ModelState::size_grids(int32_t ni, int32_t nj) {
  for (Grid<int32_t>* g : {&ROUGH_CLASS, &FLOW_DIR, &AREA_CELLS, &RAIN_STATION_MAP, &TEMP_STATION_MAP}) {
    g->resize(ni, nj);
  }
  for (Grid<float>* g : {&ELEVATION, &SLOPE, &SOIL_CAPACITY, &CUM_RAIN, &EVENT_RAIN, &INFILTRATION,
                         &SOIL_WATER, &SUB_STORE, &ET_DEFICIT, &SUB_FLOW, &CELL_TEMP, &CELL_ET,
                         &C1_SUP, &C2_SUP, &C3_SUP, &C4_SUP, &C1_SUB, &C2_SUB, &C3_SUB, &C4_SUB,
                         &QIN_SUP, &QOUT_SUP, &QIN_SUB, &QOUT_SUB, &QIN_SUP_OLD, &QOUT_SUP_OLD,
                         &QIN_SUB_OLD, &QOUT_SUB_OLD}) {
    g->resize(ni, nj);
  }
  RAIN_WEIGHT.resize(kLimits.rain_gauges * ni, nj);
}

void ModelState::size_terrain_grids(int32_t ni, int32_t nj) {
  for (Grid<int32_t>* g : {&FLOW_DIR, &AREA_CELLS, &STREAM_ORDER, &CATCHMENT_MASK}) g->resize(ni, nj);
  ELEVATION.resize(ni, nj);
}

}  // namespace tarvex

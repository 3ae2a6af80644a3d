#include "simulation/initial_value.hpp"

namespace tarvex {

void INITIAL_VALUE(const RunModel& s) {
  Grid<float>* const grids[] = {&s.run.EVENT_RAIN,   &s.run.SUB_STORE,    &s.run.INFILTRATION, &s.run.SOIL_WATER,
                                &s.run.CELL_ET,      &s.run.ET_DEFICIT,   &s.run.CELL_TEMP,    &s.run.SUB_FLOW,
                                &s.run.QIN_SUP,      &s.run.QOUT_SUP,     &s.run.QIN_SUB,      &s.run.QOUT_SUB,
                                &s.run.QIN_SUP_OLD,  &s.run.QOUT_SUP_OLD, &s.run.QIN_SUB_OLD,  &s.run.QOUT_SUB_OLD,
                                &s.run.C1_SUP,       &s.run.C2_SUP,       &s.run.C3_SUP,       &s.run.C4_SUP,
                                &s.run.C1_SUB,       &s.run.C2_SUB,       &s.run.C3_SUB,       &s.run.C4_SUB};
  for (Grid<float>* g : grids) {
    for (int32_t I = 1; I <= s.catchment.NI; ++I) {
      float* row = g->row(I);
      for (int32_t J = 0; J < s.catchment.NJ; ++J) row[J] = 0.0f;
    }
  }
}

}  // namespace tarvex

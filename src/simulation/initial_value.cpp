#include "simulation/initial_value.hpp"

namespace tarvex {

void INITIAL_VALUE(ModelState& s) {
  Grid<float>* const grids[] = {&s.EVENT_RAIN,   &s.SUB_STORE,    &s.INFILTRATION, &s.SOIL_WATER,
                                &s.CELL_ET,      &s.ET_DEFICIT,   &s.CELL_TEMP,    &s.SUB_FLOW,
                                &s.QIN_SUP,      &s.QOUT_SUP,     &s.QIN_SUB,      &s.QOUT_SUB,
                                &s.QIN_SUP_OLD,  &s.QOUT_SUP_OLD, &s.QIN_SUB_OLD,  &s.QOUT_SUB_OLD,
                                &s.C1_SUP,       &s.C2_SUP,       &s.C3_SUP,       &s.C4_SUP,
                                &s.C1_SUB,       &s.C2_SUB,       &s.C3_SUB,       &s.C4_SUB};
  for (Grid<float>* g : grids) {
    for (int32_t I = 1; I <= s.NI; ++I) {
      float* row = g->row(I);
      for (int32_t J = 0; J < s.NJ; ++J) row[J] = 0.0f;
    }
  }
}

}  // namespace tarvex

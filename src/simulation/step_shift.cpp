#include "simulation/step_shift.hpp"

namespace tarvex {

void STEP_SHIFT(const RunModel& s) {
  for (int32_t I = 1; I <= s.catchment.NI; ++I) {
    float* qin_sup = s.run.QIN_SUP.row(I);
    float* qout_sup = s.run.QOUT_SUP.row(I);
    float* qin_sub = s.run.QIN_SUB.row(I);
    float* qout_sub = s.run.QOUT_SUB.row(I);
    float* qin_sup_old = s.run.QIN_SUP_OLD.row(I);
    float* qout_sup_old = s.run.QOUT_SUP_OLD.row(I);
    float* qin_sub_old = s.run.QIN_SUB_OLD.row(I);
    float* qout_sub_old = s.run.QOUT_SUB_OLD.row(I);
    for (int32_t J = 0; J < s.catchment.NJ; ++J) {
      qin_sup_old[J] = qin_sup[J];
      qout_sup_old[J] = qout_sup[J];
      qin_sup[J] = 0.0f;
      qout_sup[J] = 0.0f;
      qin_sub_old[J] = qin_sub[J];
      qout_sub_old[J] = qout_sub[J];
      qin_sub[J] = 0.0f;
      qout_sub[J] = 0.0f;
    }
  }
}

}  // namespace tarvex

#include "laws/subsurface.hpp"
#include "routing/celerity.hpp"

namespace tarvex {

void celer_sub_cell(const RunModel& s, const CelerityConstants& c, std::size_t idx, bool diagonal) {
  const float L = diagonal ? c.L_diag : c.L_axis;

  // Reference discharge, m3/s, floored for dry cells.
  const float Q = reference_discharge(s.run.QIN_SUB.data()[idx], s.run.QIN_SUB_OLD.data()[idx], s.run.QOUT_SUB_OLD.data()[idx]);

  const float S = s.catchment.SLOPE.data()[idx];
  const float ck = subsurface_celerity(c.k_sub, S);
  const double den = subsurface_diffusion_denominator<double>(ck, S, c.w_sub, L);
  const double D = subsurface_diffusion_number<double>(Q, den);
  muskingum_coefficients(courant_number<double>(ck, c.dt, L), D, s.run.C1_SUB.data()[idx], s.run.C2_SUB.data()[idx],
                         s.run.C3_SUB.data()[idx], s.run.C4_SUB.data()[idx]);
}

void CELER_SUB(const RunModel& s, int32_t i, int32_t j, int32_t in, int32_t jn) {
  const CelerityConstants c = celerity_constants(s);
  const std::size_t idx = cell_offset(s, i, j);
  celer_sub_cell(s, c, idx, i != in && j != jn);
}

}  // namespace tarvex

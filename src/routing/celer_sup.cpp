#include <cmath>
#include <string>

#include "io/input_error.hpp"
#include "routing/celerity.hpp"
#include "routing/muskingum_batch.hpp"

namespace tarvex {

CelerityConstants celerity_constants(const RunModel& s) {
  CelerityConstants c;
  c.L_axis = (s.catchment.CELL_DX + s.catchment.CELL_DY) / 2.0f;
  c.L_diag = ((s.catchment.CELL_DX + s.catchment.CELL_DY) / 2.0f) * 1.4142f;
  c.a = s.catchment.CELL_DX * s.catchment.CELL_DY / 1000000.0f;
  c.dt = s.params.DT_SIM;
  c.a_channel = s.params.A_CHANNEL;
  c.ks_out = s.params.KS_CHAN_OUT;
  for (int32_t k = 1; k <= kLimits.classes; ++k) c.ks_class[k - 1] = s.params.KS_CLASS(k);
  c.k_sub = s.params.K_SUB;
  c.w_sub = s.params.W_SUB;
  c.outlet_in_grid = s.catchment.ELEVATION.contains(s.catchment.OUTLET_I, s.catchment.OUTLET_J);
  if (c.outlet_in_grid) {
    c.z_out = s.catchment.ELEVATION(s.catchment.OUTLET_I, s.catchment.OUTLET_J);
    c.ks_slope = channel_roughness_gradient(s.params.KS_CHAN_TOP, s.params.KS_CHAN_OUT, c.z_out);
  }
  c.hill = section_shape(s.params.WD_HILL);
  c.chan = section_shape(s.params.WD_CHAN);
  return c;
}

std::size_t cell_offset(const RunModel& s, int32_t i, int32_t j) {
  if (i < 1 || i > s.catchment.NI || j < 1 || j > s.catchment.NJ || s.catchment.SLOPE.rows() != s.catchment.NI || s.catchment.SLOPE.cols() != s.catchment.NJ) {
    throw InputError("routing: cell (" + std::to_string(i) + "," + std::to_string(j) + ") lies outside the " +
                     std::to_string(s.catchment.NI) + " x " + std::to_string(s.catchment.NJ) + " grids");
  }
  return static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(s.catchment.NJ) + static_cast<std::size_t>(j - 1);
}

namespace {

[[noreturn]] void bad_cell(int32_t i, int32_t j, const std::string& what) {
  throw InputError("routing: cell (" + std::to_string(i) + "," + std::to_string(j) + ") " + what);
}

}  // namespace

void celer_sup_cell(const RunModel& s, const CelerityConstants& c, int32_t i, int32_t j, std::size_t idx,
                    bool diagonal) {
  const float L = diagonal ? c.L_diag : c.L_axis;

  // Reference discharge, m3/s: mean of this step's inflow so far and the
  // previous step's inflow and outflow; floored for dry cells.
  float Q = reference_discharge(s.run.QIN_SUP.data()[idx], s.run.QIN_SUP_OLD.data()[idx], s.run.QOUT_SUP_OLD.data()[idx]);
  const int32_t area = s.catchment.AREA_CELLS.data()[idx];
  if (area == 0) Q = 0.0001f;

  const SectionShape* sh;
  float K;
  if (static_cast<float>(area) * c.a >= c.a_channel) {
    if (!c.outlet_in_grid) {
      bad_cell(s.catchment.OUTLET_I, s.catchment.OUTLET_J, "(the outlet) lies outside the grid");
    }
    sh = &c.chan;
    K = channel_roughness(c.ks_out, c.ks_slope, s.catchment.ELEVATION.data()[idx], c.z_out);
  } else {
    const int32_t cls = s.catchment.ROUGH_CLASS.data()[idx];
    if (cls < 1 || cls > kLimits.classes) {
      bad_cell(i, j, "has roughness class " + std::to_string(cls) + ", outside 1 to " +
                         std::to_string(kLimits.classes));
    }
    sh = &c.hill;
    K = c.ks_class[cls - 1];
  }
  const float S = s.catchment.SLOPE.data()[idx];
  float C[4];
  surface_coefficients(Q, K * std::sqrt(S), *sh, S, L, c.dt, C);
  s.run.C1_SUP.data()[idx] = C[0];
  s.run.C2_SUP.data()[idx] = C[1];
  s.run.C3_SUP.data()[idx] = C[2];
  s.run.C4_SUP.data()[idx] = C[3];
}

void CELER_SUP(const RunModel& s, int32_t i, int32_t j, int32_t in, int32_t jn) {
  const CelerityConstants c = celerity_constants(s);
  const std::size_t idx = cell_offset(s, i, j);
  celer_sup_cell(s, c, i, j, idx, i != in && j != jn);
}

}  // namespace tarvex

#include <cmath>
#include <string>

#include "io/input_error.hpp"
#include "routing/celerity.hpp"
#include "routing/muskingum_batch.hpp"

namespace tarvex {

CelerityConstants celerity_constants(const ModelState& s) {
  CelerityConstants c;
  c.L_axis = (s.CELL_DX + s.CELL_DY) / 2.0f;
  c.L_diag = ((s.CELL_DX + s.CELL_DY) / 2.0f) * 1.4142f;
  c.a = s.CELL_DX * s.CELL_DY / 1000000.0f;
  c.dt = s.DT_SIM;
  c.a_channel = s.A_CHANNEL;
  c.ks_out = s.KS_CHAN_OUT;
  for (int32_t k = 1; k <= kLimits.classes; ++k) c.ks_class[k - 1] = s.KS_CLASS(k);
  c.k_sub = s.K_SUB;
  c.w_sub = s.W_SUB;
  c.outlet_in_grid = s.ELEVATION.contains(s.OUTLET_I, s.OUTLET_J);
  if (c.outlet_in_grid) {
    c.z_out = s.ELEVATION(s.OUTLET_I, s.OUTLET_J);
    c.ks_slope = channel_roughness_gradient(s.KS_CHAN_TOP, s.KS_CHAN_OUT, c.z_out);
  }
  c.hill = section_shape(s.WD_HILL);
  c.chan = section_shape(s.WD_CHAN);
  return c;
}

std::size_t cell_offset(const ModelState& s, int32_t i, int32_t j) {
  if (i < 1 || i > s.NI || j < 1 || j > s.NJ || s.SLOPE.rows() != s.NI || s.SLOPE.cols() != s.NJ) {
    throw InputError("routing: cell (" + std::to_string(i) + "," + std::to_string(j) + ") lies outside the " +
                     std::to_string(s.NI) + " x " + std::to_string(s.NJ) + " grids");
  }
  return static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(s.NJ) + static_cast<std::size_t>(j - 1);
}

namespace {

[[noreturn]] void bad_cell(int32_t i, int32_t j, const std::string& what) {
  throw InputError("routing: cell (" + std::to_string(i) + "," + std::to_string(j) + ") " + what);
}

}  // namespace

void celer_sup_cell(ModelState& s, const CelerityConstants& c, int32_t i, int32_t j, std::size_t idx,
                    bool diagonal) {
  const float L = diagonal ? c.L_diag : c.L_axis;

  // Reference discharge, m3/s: mean of this step's inflow so far and the
  // previous step's inflow and outflow; floored for dry cells.
  float Q = reference_discharge(s.QIN_SUP.data()[idx], s.QIN_SUP_OLD.data()[idx], s.QOUT_SUP_OLD.data()[idx]);
  const int32_t area = s.AREA_CELLS.data()[idx];
  if (area == 0) Q = 0.0001f;

  const SectionShape* sh;
  float K;
  if (static_cast<float>(area) * c.a >= c.a_channel) {
    if (!c.outlet_in_grid) {
      bad_cell(s.OUTLET_I, s.OUTLET_J, "(the outlet) lies outside the grid");
    }
    sh = &c.chan;
    K = channel_roughness(c.ks_out, c.ks_slope, s.ELEVATION.data()[idx], c.z_out);
  } else {
    const int32_t cls = s.ROUGH_CLASS.data()[idx];
    if (cls < 1 || cls > kLimits.classes) {
      bad_cell(i, j, "has roughness class " + std::to_string(cls) + ", outside 1 to " +
                         std::to_string(kLimits.classes));
    }
    sh = &c.hill;
    K = c.ks_class[cls - 1];
  }
  const float S = s.SLOPE.data()[idx];
  float C[4];
  surface_coefficients(Q, K * std::sqrt(S), *sh, S, L, c.dt, C);
  s.C1_SUP.data()[idx] = C[0];
  s.C2_SUP.data()[idx] = C[1];
  s.C3_SUP.data()[idx] = C[2];
  s.C4_SUP.data()[idx] = C[3];
}

void CELER_SUP(ModelState& s, int32_t i, int32_t j, int32_t in, int32_t jn) {
  const CelerityConstants c = celerity_constants(s);
  const std::size_t idx = cell_offset(s, i, j);
  celer_sup_cell(s, c, i, j, idx, i != in && j != jn);
}

}  // namespace tarvex

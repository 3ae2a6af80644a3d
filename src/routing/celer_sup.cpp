#include <cmath>
#include <string>

#include "io/input_error.hpp"
#include "routing/celerity.hpp"

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
    c.ks_slope = std::log(s.KS_CHAN_TOP / s.KS_CHAN_OUT) / (CHANNEL_TOP_ELEVATION - c.z_out);
  }
  c.r_hill = s.WD_HILL;
  c.p23_hill = std::pow(c.r_hill + 2.0f, 0.6666667f);
  c.p53_hill = std::pow(c.r_hill + 2.0f, -1.6666666f);
  c.f_hill = 1.6666666f * c.r_hill + 2.0f;
  c.r_chan = s.WD_CHAN;
  c.p23_chan = std::pow(c.r_chan + 2.0f, 0.6666667f);
  c.p53_chan = std::pow(c.r_chan + 2.0f, -1.6666666f);
  c.f_chan = 1.6666666f * c.r_chan + 2.0f;
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
  float Q = (s.QIN_SUP.data()[idx] + s.QIN_SUP_OLD.data()[idx] + s.QOUT_SUP_OLD.data()[idx]) / 3.0f;
  if (Q <= 0.0f) Q = 0.0001f;
  const int32_t area = s.AREA_CELLS.data()[idx];
  if (area == 0) Q = 0.0001f;

  float r, p23, p53, fr, K;
  if (static_cast<float>(area) * c.a >= c.a_channel) {
    // Channel: Strickler coefficient varying geometrically with elevation
    // from KS_CHAN_OUT at the outlet to KS_CHAN_TOP at the reference top.
    if (!c.outlet_in_grid) {
      bad_cell(s.OUTLET_I, s.OUTLET_J, "(the outlet) lies outside the grid");
    }
    r = c.r_chan;
    p23 = c.p23_chan;
    p53 = c.p53_chan;
    fr = c.f_chan;
    K = c.ks_out * std::exp(c.ks_slope * (s.ELEVATION.data()[idx] - c.z_out));
  } else {
    const int32_t cls = s.ROUGH_CLASS.data()[idx];
    if (cls < 1 || cls > kLimits.classes) {
      bad_cell(i, j, "has roughness class " + std::to_string(cls) + ", outside 1 to " +
                         std::to_string(kLimits.classes));
    }
    r = c.r_hill;
    p23 = c.p23_hill;
    p53 = c.p53_hill;
    fr = c.f_hill;
    K = c.ks_class[cls - 1];
  }
  const float S = s.SLOPE.data()[idx];
  const float sqrtS = std::sqrt(S);

  // Width of the rectangular section (width r times depth) carrying Q, m.
  const float W = std::pow(p23 * Q * r / (K * sqrtS), 0.375f);
  // Kinematic-wave celerity, m/s.
  float ck = p53 * (K * sqrtS * std::pow(W, 0.6666667f)) * fr;
  if (ck == 0.0f) ck = 0.0001f;

  const double D = static_cast<double>(Q) /
                   (static_cast<double>(S) * static_cast<double>(ck) * static_cast<double>(W) *
                    static_cast<double>(L));
  const double Cr = static_cast<double>(ck) * static_cast<double>(c.dt) / static_cast<double>(L);
  muskingum_coefficients(Cr, D, s.C1_SUP.data()[idx], s.C2_SUP.data()[idx], s.C3_SUP.data()[idx],
                         s.C4_SUP.data()[idx]);
}

void CELER_SUP(ModelState& s, int32_t i, int32_t j, int32_t in, int32_t jn) {
  const CelerityConstants c = celerity_constants(s);
  const std::size_t idx = cell_offset(s, i, j);
  celer_sup_cell(s, c, i, j, idx, i != in && j != jn);
}

}  // namespace tarvex

#pragma once
// Muskingum-Cunge coefficients of one cell from its surface or subsurface
// celerity. CELER_SUP and CELER_SUB are the entry points; the routing walk
// uses the *_cell forms with constants computed once per step.
#include <cstddef>
#include <cstdint>

#include "model/model_state.hpp"

namespace tarvex {

// Surface coefficients C1_SUP..C4_SUP of cell (i, j), whose downstream
// neighbour is (in, jn).
void CELER_SUP(ModelState& s, int32_t i, int32_t j, int32_t in, int32_t jn);
// Subsurface coefficients C1_SUB..C4_SUB of hillslope cell (i, j).
void CELER_SUB(ModelState& s, int32_t i, int32_t j, int32_t in, int32_t jn);

// Reference top elevation of the channel roughness law, m.
inline constexpr float CHANNEL_TOP_ELEVATION = 3282.0f;

// Values that stay fixed during one routing step.
struct CelerityConstants {
  float L_axis = 0.0f;   // m, flow length to a neighbour along a grid axis
  float L_diag = 0.0f;   // m, flow length to a diagonal neighbour
  float a = 0.0f;        // km2, cell area
  float dt = 0.0f;       // s, simulation step
  float a_channel = 0.0f;  // km2, channel threshold
  float z_out = 0.0f;    // m, outlet elevation
  bool outlet_in_grid = false;
  float ks_out = 0.0f;    // channel Strickler coefficient at the outlet
  float ks_slope = 0.0f;  // ln(KS_CHAN_TOP/KS_CHAN_OUT)/(3282 - z_out), per m
  float ks_class[kLimits.classes] = {};  // hillslope Strickler coefficient per class
  float k_sub = 0.0f;     // m/s, subsurface celerity per unit slope
  float w_sub = 0.0f;     // m, subsurface flow width
  // Width-to-depth ratio r and the powers of (r + 2) of the section width
  // and celerity laws, hillslope and channel.
  float r_hill = 0.0f, p23_hill = 0.0f, p53_hill = 0.0f, f_hill = 0.0f;
  float r_chan = 0.0f, p23_chan = 0.0f, p53_chan = 0.0f, f_chan = 0.0f;
};

CelerityConstants celerity_constants(const ModelState& s);

// Row-major offset of cell (i, j) in the NI x NJ grids; throws InputError
// when the cell lies outside them.
std::size_t cell_offset(const ModelState& s, int32_t i, int32_t j);

// The forms used inside the walk: idx is the row-major offset of (i, j),
// diagonal tells whether the neighbour is a diagonal one.
void celer_sup_cell(ModelState& s, const CelerityConstants& c, int32_t i, int32_t j, std::size_t idx,
                    bool diagonal);
void celer_sub_cell(ModelState& s, const CelerityConstants& c, std::size_t idx, bool diagonal);

// The four coefficients from the Courant number Cr and the diffusion number
// D; D is raised to 1 - Cr when Cr + D < 1 so that C1 is never negative.
inline void muskingum_coefficients(double Cr, double D, float& C1, float& C2, float& C3, float& C4) {
  if (Cr + D < 1.0) D = 1.0 - Cr;
  const double den = Cr + 1.0 + D;
  C1 = static_cast<float>((Cr - 1.0 + D) / den);
  C2 = static_cast<float>((Cr + 1.0 - D) / den);
  C3 = static_cast<float>((1.0 - Cr + D) / den);
  C4 = static_cast<float>(2.0 * Cr / den);
}

}  // namespace tarvex

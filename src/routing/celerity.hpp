#pragma once
// Muskingum-Cunge coefficients of one cell from its surface or subsurface
// celerity. CELER_SUP and CELER_SUB are the entry points; the routing walk
// uses the *_cell forms with constants computed once per step.
#include <cstddef>
#include <cstdint>

#include "laws/muskingum_cunge.hpp"
#include "laws/roughness.hpp"
#include "laws/section.hpp"
#include "model/model_state.hpp"

namespace tarvex {

// Surface coefficients C1_SUP..C4_SUP of cell (i, j), whose downstream
// neighbour is (in, jn).
void CELER_SUP(const RunModel& s, int32_t i, int32_t j, int32_t in, int32_t jn);
// Subsurface coefficients C1_SUB..C4_SUB of hillslope cell (i, j).
void CELER_SUB(const RunModel& s, int32_t i, int32_t j, int32_t in, int32_t jn);

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
  float ks_slope = 0.0f;  // per m, gradient of the channel roughness law
  float ks_class[kLimits.classes] = {};  // hillslope Strickler coefficient per class
  float k_sub = 0.0f;     // m/s, subsurface celerity per unit slope
  float w_sub = 0.0f;     // m, subsurface flow width
  SectionShape hill, chan;  // section width and celerity laws
};

CelerityConstants celerity_constants(const RunModel& s);

// Row-major offset of cell (i, j) in the NI x NJ grids; throws InputError
// when the cell lies outside them.
std::size_t cell_offset(const RunModel& s, int32_t i, int32_t j);

// The forms used inside the walk: idx is the row-major offset of (i, j),
// diagonal tells whether the neighbour is a diagonal one.
void celer_sup_cell(const RunModel& s, const CelerityConstants& c, int32_t i, int32_t j, std::size_t idx,
                    bool diagonal);
void celer_sub_cell(const RunModel& s, const CelerityConstants& c, std::size_t idx, bool diagonal);

// The four coefficients from the Courant number Cr and the diffusion number
// D, as floats.
inline void muskingum_coefficients(double Cr, double D, float& C1, float& C2, float& C3, float& C4) {
  double C[4];
  muskingum_cunge(Cr, D, C);
  C1 = static_cast<float>(C[0]);
  C2 = static_cast<float>(C[1]);
  C3 = static_cast<float>(C[2]);
  C4 = static_cast<float>(C[3]);
}

}  // namespace tarvex

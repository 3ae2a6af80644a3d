#pragma once
// Subsurface celerity of a hillslope cell: proportional to the slope,
//
//   ck = k_sub * S   (m/s)
//
// k_sub the celerity per unit slope (m/s), S the slope (m/m): the linear
// kinematic wave of saturated flow whose Darcy velocity is k S.

namespace tarvex {

inline float subsurface_celerity(float k_sub, float S) { return k_sub * S; }

}  // namespace tarvex

#pragma once
// Channel roughness: the Strickler coefficient K (m^(1/3)/s, the inverse of
// the Gauckler-Manning n) of a channel cell varies geometrically with its
// elevation, from K_out at the outlet to K_top at the reference top:
//
//   K(z) = K_out * exp(g * (z - z_out)),  g = ln(K_top / K_out) / (z_top - z_out)
//
// z, z_out and z_top in m, g per m.
#include <cmath>

namespace tarvex {

// z_top, m: the elevation at which K reaches K_top.
inline constexpr float CHANNEL_TOP_ELEVATION = 3282.0f;

// g, per m; undefined when the outlet lies at CHANNEL_TOP_ELEVATION.
inline float channel_roughness_gradient(float ks_top, float ks_out, float z_out) {
  return std::log(ks_top / ks_out) / (CHANNEL_TOP_ELEVATION - z_out);
}

// K at elevation z, m^(1/3)/s.
inline float channel_roughness(float ks_out, float gradient, float z, float z_out) {
  return ks_out * std::exp(gradient * (z - z_out));
}

}  // namespace tarvex

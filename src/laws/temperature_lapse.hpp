#pragma once
// Air temperature of a cell from its station's by a constant lapse rate,
//
//   T = T_st - gamma (z - z_st),   gamma = 0.0063 degrees Celsius per m
//
// T and T_st in degrees Celsius, z and z_st (the station) in m: about the
// standard atmosphere's environmental lapse rate of 6.5 degrees per km,
// rounded to the 6.3 degrees per km often observed in mountain valleys.

namespace tarvex {

inline constexpr float kLapseRate = 0.0063f;  // degrees Celsius per m

// The drop gamma (z - z_st), degrees Celsius, fixed per cell and station.
inline float lapse_drop(float z, float z_station) { return (z - z_station) * kLapseRate; }

inline float cell_temperature(float T_station, float drop) { return T_station - drop; }

}  // namespace tarvex

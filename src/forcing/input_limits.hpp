#pragma once
// Ranges of the input values the runs compute with. Each lies far beyond any
// physical value, yet low enough that the runs cannot overflow 4-byte reals
// on it; the loaders refuse a value outside with an InputError naming the
// file and record.
namespace tarvex {

// Rain of one record, mm (a missing value is negative).
inline constexpr float MAX_RAIN_PER_RECORD = 1.0e5f;
// Air temperature, degrees Celsius (a missing value is below -98; a file in
// kelvin is refused).
inline constexpr float MAX_TEMPERATURE = 100.0f;
// Magnitude of the evapotranspiration offset, slope and monthly coefficients.
inline constexpr float MAX_ET_COEFFICIENT = 1.0e6f;
// Magnitude of an elevation the runs use (catchment cells, link ends,
// temperature station), m.
inline constexpr float MAX_ELEVATION = 1.0e6f;
// Station coordinates, cells from cell (0, 0) along each axis: the
// nearest-station search starts from a squared distance of 1.0e20, so a
// station much farther would leave catchment cells without one.
inline constexpr float MAX_STATION_OFFSET = 1.0e6f;

}  // namespace tarvex

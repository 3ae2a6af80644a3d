#pragma once
// Ranges of the input values and parameters the runs compute with. Each lies far beyond any
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

// Range of the positive real parameters (width-to-depth ratios, Strickler
// coefficients, subsurface parameters): anything outside is no physical value
// and would overflow or underflow 4-byte reals in the runs.
inline constexpr float MIN_PARAMETER = 1.0e-30f;
inline constexpr float MAX_PARAMETER = 1.0e30f;
// Range of the cell sizes, m.
inline constexpr float MIN_CELL_SIZE = 1.0e-3f;
inline constexpr float MAX_CELL_SIZE = 1.0e7f;
// Largest magnitude of an observed discharge, m3/s (some fifty times the
// mean flow of the largest river): larger values are no discharges, and their
// squared differences would overflow the objective function.
inline constexpr float MAX_OBSERVED_DISCHARGE = 1.0e7f;

}  // namespace tarvex

#pragma once
#include <cstdint>
#include <functional>

#include "model/model_state.hpp"

namespace tarvex {

// Height added above the lowest neighbour when a pit cell is raised, m.
inline constexpr float RAISE_STEP = 0.11f;

// Pit removal: raises every interior cell that has no strictly lower positive
// neighbour (pits and flats) to its lowest positive neighbour + RAISE_STEP,
// sweeping rows 2..NI-1 and columns 2..NJ-1 of the grid, stepping back one
// row and one column after each raise, and sweeping again until a sweep
// raises nothing. The first N_FIXED cells of FIXED_I/FIXED_J are never
// raised. A raise that reaches Z_CEILING (m), or that cannot lift the cell in
// 4-byte reals, prints message 1002 and sets TERRAIN_ERR = 1. Works on
// ELEVATION (m) in place; progress lines go to the console (and the raise
// count to raises, when given, at each line). Returns the number of raises
// made.
int64_t UNPIT(Grid<float>& ELEVATION, int32_t N_FIXED, const Array1<int32_t, kLimits.exempt_cells>& FIXED_I,
              const Array1<int32_t, kLimits.exempt_cells>& FIXED_J, float Z_CEILING, int32_t& TERRAIN_ERR,
              const std::function<void(int64_t)>& raises = {});

}  // namespace tarvex

#include "terrain/flow_directions.hpp"

#include "model/warn_error.hpp"
#include "terrain/flow_step.hpp"
#include "terrain/unpit.hpp"

namespace tarvex {

float elevation_ceiling(const Grid<float>& ELEVATION) {
  float highest = -1000.0f;
  for (int32_t i = 1; i <= ELEVATION.rows(); ++i) {
    const float* row = ELEVATION.row(i);
    for (int32_t j = 0; j < ELEVATION.cols(); ++j) {
      if (row[j] > highest) highest = row[j];
    }
  }
  return highest + 100.0f;
}

int32_t flow_code(const Grid<float>& z, int32_t i, int32_t j) {
  const int32_t ni = z.rows();
  const int32_t nj = z.cols();
  int32_t code = 0;
  const float z0 = z(i, j);
  if (z0 > 0.0f) {
    const int32_t di_lo = i == 1 ? 0 : -1;
    const int32_t di_hi = i == ni ? 0 : 1;
    const int32_t dj_lo = j == 1 ? 0 : -1;
    const int32_t dj_hi = j == nj ? 0 : 1;
    float best = -1.0e20f;
    for (int32_t di = di_lo; di <= di_hi; ++di) {
      for (int32_t dj = dj_lo; dj <= dj_hi; ++dj) {
        if (di == 0 && dj == 0) continue;
        const float zn = z(i + di, j + dj);
        if (!(zn > 0.0f && zn < z0)) continue;
        const float drop = z0 - zn;
        float slope;
        if (di * dj == 0) {
          slope = drop;
        } else {
          // A diagonal counts only past its two side cells: through a
          // no-data side it is a plain diagonal drop; otherwise it must
          // lie below both sides and uses the mean of the four cells.
          const float side_row = z(i, j + dj);
          const float side_col = z(i + di, j);
          if (side_row < 0.0f || side_col < 0.0f) {
            slope = drop / DIAGONAL_STEP;
          } else if (zn >= side_row || zn >= side_col) {
            continue;
          } else {
            const float zavg = (z0 + zn + side_row + side_col) * 0.25f;
            slope = (z0 - zavg) / DIAGONAL_STEP;
          }
        }
        if (slope > best) {  // ties keep the first met
          best = slope;
          code = 3 * di + dj + 5;
        }
      }
    }
  }
  return code;
}

void set_flow_directions(const Grid<float>& ELEVATION, Grid<int32_t>& FLOW_DIR) {
  const int32_t ni = ELEVATION.rows();
  const int32_t nj = ELEVATION.cols();
  FLOW_DIR.resize(ni, nj);
  for (int32_t i = 1; i <= ni; ++i) {
    for (int32_t j = 1; j <= nj; ++j) FLOW_DIR(i, j) = flow_code(ELEVATION, i, j);
  }
}

void FLOW_DIRECTIONS(Grid<float>& ELEVATION, int32_t N_FIXED, const Array1<int32_t, kLimits.exempt_cells>& FIXED_I,
                     const Array1<int32_t, kLimits.exempt_cells>& FIXED_J, Grid<int32_t>& FLOW_DIR,
                     const std::function<void(int64_t)>& raises) {
  int32_t failed = 0;
  UNPIT(ELEVATION, N_FIXED, FIXED_I, FIXED_J, elevation_ceiling(ELEVATION), failed, raises);
  if (failed != 0) throw RunRefused{1002};  // printed by UNPIT
  set_flow_directions(ELEVATION, FLOW_DIR);
}

}  // namespace tarvex

#include "terrain/flow_directions.hpp"

#include <string>

#include "model/warn_error.hpp"
#include "terrain/flow_step.hpp"
#include "terrain/unpit.hpp"

namespace tarvex {

void read_dem(ModelState& s, GridReader& dem) {
  for (int32_t i = 1; i <= s.NI; ++i) {
    float* row = s.ELEVATION.row(i);
    dem.row(row, s.NJ, "row " + std::to_string(i) + " of the DEM (" + std::to_string(s.NJ) + " elevations)",
            -1.0f);
    for (int32_t j = 0; j < s.NJ; ++j) {
      if (row[j] < 0.0f) row[j] = -1.0f;
    }
  }
}

GeoReference terrain_georeference(const GridReader& dem, const ControlFile::Terrain& t) {
  auto gis = [](const ControlValue<std::string>& v) { return v.ok() && grid_format(*v) != GridFormat::text; };
  if (dem.geo().known || !(gis(t.elevation) || gis(t.directions) || gis(t.area))) return dem.geo();
  return output_georeference(dem.geo(), t.cell_size->first);
}

float elevation_ceiling(const ModelState& s) {
  float highest = -1000.0f;
  for (int32_t i = 1; i <= s.NI; ++i) {
    const float* row = s.ELEVATION.row(i);
    for (int32_t j = 0; j < s.NJ; ++j) {
      if (row[j] > highest) highest = row[j];
    }
  }
  return highest + 100.0f;
}

void set_flow_directions(ModelState& s) {
  const int32_t ni = s.NI;
  const int32_t nj = s.NJ;
  const Grid<float>& z = s.ELEVATION;
  for (int32_t i = 1; i <= ni; ++i) {
    for (int32_t j = 1; j <= nj; ++j) {
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
      s.FLOW_DIR(i, j) = code;
    }
  }
}

void write_elevation_file(const ModelState& s, GridWriter& out) { out.rows(s.ELEVATION.data(), s.NI, s.NJ); }

void write_direction_file(const ModelState& s, GridWriter& out) { out.rows(s.FLOW_DIR.data(), s.NI, s.NJ); }

void FLOW_DIRECTIONS(ModelState& s, GridReader& dem, GridWriter& direction_file, const ControlFile& ctl) {
  read_dem(s, dem);
  const float Z_CEILING = elevation_ceiling(s);

  const ControlFile::Terrain& t = ctl.terrain;
  const int32_t N_FIXED = *t.n_exempt;
  if (N_FIXED > s.limits.exempt_cells) refuse_run(1019);
  Array1<int32_t, kLimits.exempt_cells> FIXED_I, FIXED_J;
  FIXED_I.grow(N_FIXED);
  FIXED_J.grow(N_FIXED);
  for (int32_t k = 1; k <= N_FIXED; ++k) {
    const Cell& c = *t.exempt(k);
    FIXED_I(k) = c.i;
    FIXED_J(k) = c.j;
  }

  int32_t failed = 0;
  UNPIT(s, N_FIXED, FIXED_I, FIXED_J, Z_CEILING, failed);
  if (failed != 0) throw RunRefused{1002};  // printed by UNPIT

  GridWriter elevation_file(*t.elevation, kElevationGrid, terrain_georeference(dem, t));
  write_elevation_file(s, elevation_file);
  set_flow_directions(s);
  write_direction_file(s, direction_file);
  elevation_file.close();
}

}  // namespace tarvex

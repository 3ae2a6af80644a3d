#pragma once
// Cell-by-cell versions of pit removal, contributing area and stream
// ordering, written as plainly as possible: the faster routines must give
// exactly what these give. Also random DEMs to compare them on.
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "model/direction_code.hpp"
#include "model/model_state.hpp"
#include "model/warn_error.hpp"
#include "io/text_writer.hpp"

namespace tarvex::test {

inline std::unique_ptr<ModelState> make_state(int32_t ni, int32_t nj) {
  auto s = std::make_unique<ModelState>();
  s->catchment.NI = ni;
  s->catchment.NJ = nj;
  s->size_terrain_grids(ni, nj);
  return s;
}

// Copies rows, the first row of the grid first, into g.
template <class T, class U>
void set_grid(Grid<T>& g, const std::vector<std::vector<U>>& rows) {
  for (std::size_t i = 0; i < rows.size(); ++i)
    for (std::size_t j = 0; j < rows[i].size(); ++j)
      g(static_cast<int32_t>(i + 1), static_cast<int32_t>(j + 1)) = static_cast<T>(rows[i][j]);
}

// Pit removal scanning every interior cell in turn.
inline int64_t unpit_reference(ModelState& s, int32_t n_fixed, const Array1<int32_t, kLimits.exempt_cells>& fi,
                               const Array1<int32_t, kLimits.exempt_cells>& fj, float ceiling, int32_t& err) {
  Grid<float>& E = s.catchment.ELEVATION;
  const int32_t ni = s.catchment.NI, nj = s.catchment.NJ;
  int64_t counter = 0;
  if (ni < 3 || nj < 3) return counter;
  bool raised = true;
  while (raised) {
    raised = false;
    int32_t i = 2, j = 2;
    while (i <= ni - 1) {
      bool skip = E(i, j) < 0.0f;
      for (int32_t k = 1; k <= n_fixed; ++k) skip = skip || (fi(k) == i && fj(k) == j);
      if (!skip) {
        const float z0 = E(i, j);
        float lowest = 1.0e20f;
        bool drains = false;
        for (int32_t di = -1; di <= 1; ++di) {
          for (int32_t dj = -1; dj <= 1; ++dj) {
            const float zn = E(i + di, j + dj);
            if ((di != 0 || dj != 0) && zn > 0.0f) {
              if (zn < z0) drains = true;
              if (zn < lowest) lowest = zn;
            }
          }
        }
        if (!drains) {
          E(i, j) = lowest + 0.11f;
          const bool too_high = E(i, j) >= ceiling;
          if (too_high || !(E(i, j) > z0)) {
            print_line(ListLine()
                           .text("Elevation of the cell ")
                           .num(i)
                           .num(j)
                           .text(too_high ? " greater than the maximum elevation of the catchment."
                                          : " is too high to be raised by 0.11 in single precision.")
                           .str());
            WARN_ERROR(1002);
            err = 1;
            return counter;
          }
          ++counter;
          raised = true;
          if (i != 2) i -= 1;
          if (j != 2) j -= 2;
          if (counter % 500 == 0) {
            std::string line;
            put_int(line, counter, 10);
            put_int(line, i, 5);
            put_int(line, j, 5);
            put_fixed(line, E(i, j), 30, 2);
            print_line(line);
          }
        }
      }
      j += 1;
      if (j > nj - 1) {
        j = 2;
        i += 1;
      }
    }
  }
  return counter;
}

inline bool reference_down(const ModelState& s, int32_t i, int32_t j, int32_t& in, int32_t& jn) {
  const int32_t code = s.catchment.FLOW_DIR(i, j);
  if (code == 0) return false;
  const Step d = decode_direction(code);
  in = i + d.di;
  jn = j + d.dj;
  return true;
}

// Contributing area by repeated sweeps passing pending counts downstream.
inline void area_reference(ModelState& s) {
  Grid<int32_t> pending;
  pending.resize(s.catchment.NI, s.catchment.NJ);
  pending.fill(1);
  s.catchment.AREA_CELLS.fill(1);
  bool moved = true;
  while (moved) {
    moved = false;
    for (int32_t i = 1; i <= s.catchment.NI; ++i) {
      for (int32_t j = 1; j <= s.catchment.NJ; ++j) {
        int32_t in = 0, jn = 0;
        if (pending(i, j) != 0 && reference_down(s, i, j, in, jn)) {
          pending(in, jn) += pending(i, j);
          s.catchment.AREA_CELLS(in, jn) += pending(i, j);
          pending(i, j) = 0;
          moved = true;
        }
      }
    }
  }
  for (int32_t i = 1; i <= s.catchment.NI; ++i) {
    for (int32_t j = 1; j <= s.catchment.NJ; ++j) {
      if (pending(i, j) == 1) s.catchment.AREA_CELLS(i, j) = 0;
    }
  }
}

struct OrderingText {
  std::string temp_links;
  std::string river_order;
};

// Stream ordering by full sweeps of the grid for every order and every
// continuation, with the junction passes over the whole grid.
inline OrderingText ordini_reference(ModelState& s) {
  OrderingText out;
  Grid<int32_t>& SO = s.catchment.STREAM_ORDER;
  const int32_t ni = s.catchment.NI, nj = s.catchment.NJ;
  auto traced = [](int32_t v) { return v >= -998 && v <= -1; };
  auto step = [&](int32_t i, int32_t j) { return is_diagonal(s.catchment.FLOW_DIR(i, j)) ? 1.4142135f : 1.0f; };
  // All inflows traced: m and its count; false otherwise.
  auto inflows = [&](int32_t i, int32_t j, int32_t& m, int32_t& count) {
    m = 0;
    count = 0;
    for (int32_t di = -1; di <= 1; ++di) {
      for (int32_t dj = -1; dj <= 1; ++dj) {
        const int32_t in = i + di, jn = j + dj;
        if (in < 1 || in > ni || jn < 1 || jn > nj) continue;
        if (s.catchment.FLOW_DIR(in, jn) != 10 - (3 * di + dj + 5)) continue;
        if (!traced(SO(in, jn))) return false;
        if (-SO(in, jn) > m) {
          m = -SO(in, jn);
          count = 1;
        } else if (-SO(in, jn) == m) {
          ++count;
        }
      }
    }
    return true;
  };

  for (int32_t i = 1; i <= ni; ++i)
    for (int32_t j = 1; j <= nj; ++j) SO(i, j) = s.catchment.AREA_CELLS(i, j) == 1 ? 1 : 0;
  s.catchment.LINK_OVERFLOW = 0;
  int32_t order = 1, previous = 0, n = 1;
  for (;;) {
    const bool first = order != previous;
    if (first) {
      std::string h = " Order ";
      put_int(h, order, 2);
      out.temp_links += h + "\n  IIN JIN IFIN JFIN  ORD    LEN       \n";
    }
    previous = order;
    bool found = false;
    for (int32_t i = 1; i <= ni; ++i) {
      for (int32_t j = 1; j <= nj; ++j) {
        if (n > 10000) {
          s.catchment.LINK_OVERFLOW = 1;
          return out;
        }
        if (SO(i, j) != order) continue;
        found = true;
        SO(i, j) = -order;
        if (first) {
          s.catchment.LINK_ORD(n) = order;
          s.catchment.LINK_I(n) = i;
          s.catchment.LINK_J(n) = j;
          ++n;
        }
        float len = 0.0f;
        int32_t ci = i, cj = j, xi = 0, xj = 0;
        reference_down(s, ci, cj, xi, xj);
        len = len + step(ci, cj);
        bool sink = false;
        while (s.catchment.AREA_CELLS(xi, xj) == s.catchment.AREA_CELLS(ci, cj) + 1) {
          if (s.catchment.FLOW_DIR(xi, xj) == 0) {
            SO(xi, xj) = -1000;
            sink = true;
            break;
          }
          SO(xi, xj) = -order;
          ci = xi;
          cj = xj;
          reference_down(s, ci, cj, xi, xj);
          len = len + step(ci, cj);
        }
        if (!sink) SO(xi, xj) = s.catchment.FLOW_DIR(xi, xj) == 0 ? -1000 : order + 1000;
        std::string line;
        put_int(line, i, 4);
        put_int(line, j, 4);
        line += " ";
        put_int(line, xi, 4);
        put_int(line, xj, 4);
        line += " ";
        put_int(line, order, 4);
        line += " ";
        put_fixed(line, len, 13, 1);
        out.temp_links += line + "\n";
      }
    }
    if (!found) break;
    if (order == 1) {
      order = 2;
      for (int32_t i = 1; i <= ni; ++i)
        for (int32_t j = 1; j <= nj; ++j) {
          int32_t m = 0, c = 0;
          if (SO(i, j) > 1000 && inflows(i, j, m, c)) SO(i, j) = 2;
        }
    } else {
      bool cont = false;
      for (int32_t i = 1; i <= ni; ++i)
        for (int32_t j = 1; j <= nj; ++j) {
          int32_t m = 0, c = 0;
          if (SO(i, j) <= 1000 || !inflows(i, j, m, c)) continue;
          SO(i, j) = c >= 2 ? m + 1 : m;
          if (c < 2) cont = true;
        }
      if (!cont) ++order;
    }
  }
  for (int32_t i = 1; i <= ni; ++i) {
    std::string line;
    for (int32_t j = 1; j <= nj; ++j) {
      int32_t& v = SO(i, j);
      if (v > -999) {
        v = -v;
      } else {
        v = v / 10;
        if (i == s.catchment.OUTLET_I && j == s.catchment.OUTLET_J) v = order - 1;
      }
      put_int(line, v, 2);
      line += " ";
      if (j % 945 == 0 || j == nj) {
        out.river_order += line + "\n";
        line.clear();
      }
    }
  }
  s.catchment.LINK_ORD(n) = -1;
  return out;
}

// Random DEM with rounded heights (so flats and pits abound), a general
// slope toward the last row, a few no-data and zero cells.
inline void random_dem(ModelState& s, std::mt19937& rng, float relief, float step, bool holes) {
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  for (int32_t i = 1; i <= s.catchment.NI; ++i) {
    for (int32_t j = 1; j <= s.catchment.NJ; ++j) {
      float z = 10.0f + static_cast<float>(s.catchment.NI - i) * 0.5f + u(rng) * relief;
      z = static_cast<float>(static_cast<int32_t>(z / step)) * step;
      if (holes) {
        const float r = u(rng);
        if (r < 0.02f) z = -1.0f;
        else if (r < 0.03f) z = 0.0f;
      }
      s.catchment.ELEVATION(i, j) = z;
    }
  }
}

}  // namespace tarvex::test

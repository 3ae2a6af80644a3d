#pragma once
// Synthetic catchment of the simulation benchmark, built in memory: an n x n
// D8 network (a main channel with arms and merging tributaries), its link
// list and slopes, hourly rain at three gauges and an hourly temperature
// series. Shared with the tests that pin its discharge series.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/direction_code.hpp"
#include "model/model_state.hpp"
#include "load/slope_comp.hpp"
#include "simulation/station_weights.hpp"
#include "io/record_reader.hpp"
#include "routing/routing_checks.hpp"

namespace tarvex::synthetic {

struct Catchment {
  std::unique_ptr<ModelState> s;
  int64_t cells = 0;  // catchment cells (routed and given runoff)
  int32_t links = 0;
  int32_t max_order = 0;
};

// D8 network of an n x n grid: a main channel down the middle column to the
// outlet at the bottom edge; horizontal bands each drained by an arm row
// flowing to the main channel; within a band, cells drain towards the arm
// row, straight or (rarely, at random) diagonally, so that tributaries merge.
inline void build_network(ModelState& s, std::mt19937& rng) {
  const int32_t n = s.catchment.NI;
  const int32_t c0 = (n + 1) / 2;
  const int32_t bands = 2;
  // Chance of a diagonal step to each side: each one merges two
  // tributaries and starts a new one, about two links.
  const float p_side = 0.75f / static_cast<float>(n);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  for (int32_t i = 1; i <= n; ++i) {
    int32_t arm = 0;
    for (int32_t b = 0; b < bands; ++b) {
      const int32_t r0 = b * n / bands + 1, r1 = (b + 1) * n / bands;
      if (i >= r0 && i <= r1) arm = (r0 + r1) / 2;
    }
    for (int32_t j = 1; j <= n; ++j) {
      int32_t code;
      if (j == c0) {
        code = i == n ? 0 : 8;
      } else if (i == arm) {
        code = j < c0 ? 6 : 4;
      } else {
        const int32_t di = i < arm ? 1 : -1;
        const int32_t lo = j < c0 ? 1 : c0 + 1, hi = j < c0 ? c0 - 1 : n;
        int32_t dj = 0;
        const float x = u(rng);
        if (x < p_side && j - 1 >= lo) dj = -1;
        else if (x > 1.0f - p_side && j + 1 <= hi) dj = 1;
        code = encode_direction(di, dj);
      }
      s.catchment.FLOW_DIR(i, j) = code;
    }
  }
}

// Contributing areas, elevations (rising with the flow distance to the
// outlet), Strahler orders and the link-property text: links by increasing
// order, so that every link comes after the links feeding it.
inline std::string derive_network(ModelState& s, int32_t& links, int32_t& max_order) {
  const int32_t n = s.catchment.NI;
  const std::size_t N = static_cast<std::size_t>(n) * n;
  auto idx = [n](int32_t i, int32_t j) { return static_cast<std::size_t>(i - 1) * n + (j - 1); };
  std::vector<int32_t> down(N, -1);
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t j = 1; j <= n; ++j) {
      const int32_t c = s.catchment.FLOW_DIR(i, j);
      if (!is_flow_code(c)) continue;
      const Step d = decode_direction(c);
      down[idx(i, j)] = static_cast<int32_t>(idx(i + d.di, j + d.dj));
    }
  }
  // Hops and flow distance (cell steps) to the outlet.
  std::vector<int32_t> hops(N, -1);
  std::vector<float> dist(N, 0.0f);
  std::vector<std::size_t> stack;
  for (std::size_t c = 0; c < N; ++c) {
    std::size_t x = c;
    while (hops[x] < 0 && down[x] >= 0) {
      stack.push_back(x);
      x = static_cast<std::size_t>(down[x]);
    }
    if (hops[x] < 0) hops[x] = 0;
    while (!stack.empty()) {
      const std::size_t y = stack.back();
      stack.pop_back();
      const std::size_t d = static_cast<std::size_t>(down[y]);
      const bool diag = (y / n != d / n) && (y % n != d % n);
      hops[y] = hops[d] + 1;
      dist[y] = dist[d] + (diag ? 1.4142135f : 1.0f);
    }
  }
  // Cells from the farthest upstream to the outlet.
  std::vector<std::size_t> order(N);
  for (std::size_t c = 0; c < N; ++c) order[c] = c;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return hops[a] > hops[b]; });

  std::vector<int32_t> area(N, 1), strahler(N, 0), in_max(N, 0), in_count(N, 0);
  std::vector<char> start(N, 0);
  for (std::size_t c : order) {
    if (in_count[c] == 0) {
      strahler[c] = 1;
      start[c] = 1;
    } else if (in_count[c] >= 2) {
      strahler[c] = in_max[c] + 1;
      start[c] = 1;
    } else {
      strahler[c] = in_max[c];
    }
    if (down[c] >= 0) {
      const std::size_t d = static_cast<std::size_t>(down[c]);
      area[d] += area[c];
      if (strahler[c] > in_max[d]) {
        in_max[d] = strahler[c];
        in_count[d] = 1;
      } else if (strahler[c] == in_max[d]) {
        ++in_count[d];
      }
    }
  }
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t j = 1; j <= n; ++j) {
      s.catchment.AREA_CELLS(i, j) = area[idx(i, j)];
      s.catchment.ELEVATION(i, j) = 300.0f + 1.5f * dist[idx(i, j)];
    }
  }

  struct Link {
    int32_t ord, i, j, ie, je;
    float len;
  };
  std::vector<Link> list;
  max_order = 0;
  for (std::size_t c = 0; c < N; ++c) {
    if (!start[c]) continue;
    const int32_t O = strahler[c];
    max_order = std::max(max_order, O);
    std::size_t x = c;
    float len = 0.0f;
    while (strahler[x] == O && down[x] >= 0) {
      const std::size_t d = static_cast<std::size_t>(down[x]);
      len += ((x / n != d / n) && (x % n != d % n)) ? 1.4142135f : 1.0f;
      x = d;
    }
    list.push_back({O, static_cast<int32_t>(c / n) + 1, static_cast<int32_t>(c % n) + 1,
                    static_cast<int32_t>(x / n) + 1, static_cast<int32_t>(x % n) + 1, len});
  }
  std::stable_sort(list.begin(), list.end(), [](const Link& a, const Link& b) { return a.ord < b.ord; });
  links = static_cast<int32_t>(list.size());

  std::string text = "   IIN JIN   IFIN JFIN  ORD   LEN\n";
  char line[96];
  for (const Link& l : list) {
    std::snprintf(line, sizeof line, " %4d %4d  %4d %4d %4d %6.1f\n", l.i, l.j, l.ie, l.je, l.ord, l.len);
    text += line;
  }
  return text;
}

// Hourly rain at up to four gauges: storms of a few hours, gauge 2 missing
// now and then; with outages, also for three days in every thirty.
inline void build_forcing(ModelState& s, std::mt19937& rng, bool outages) {
  const int32_t n = s.catchment.NI;
  s.forcing.N_RAIN_ST = 3;
  const float xy[3][2] = {{0.25f, 0.30f}, {0.70f, 0.20f}, {0.50f, 0.85f}};
  for (int32_t k = 1; k <= 3; ++k) {
    s.forcing.RAIN_XY(1, k) = xy[k - 1][0] * static_cast<float>(n);
    s.forcing.RAIN_XY(2, k) = xy[k - 1][1] * static_cast<float>(n);
  }
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  std::exponential_distribution<float> depth(0.5f);  // mean 2 mm per record
  int32_t storm = 0;
  for (int32_t N = 1; N <= s.forcing.N_DATA; ++N) {
    if (storm == 0 && u(rng) < 0.02f) storm = 3 + static_cast<int32_t>(u(rng) * 20.0f);
    for (int32_t k = 1; k <= 3; ++k) {
      const float r = storm > 0 ? depth(rng) : 0.0f;
      s.forcing.RAIN_DATA(N, k) = r;
      s.forcing.RAIN_MISSING(N, k) = 0;
    }
    if (storm > 0) --storm;
    if (u(rng) < 0.005f || (outages && (N - 1) % 720 < 72)) {
      s.forcing.RAIN_DATA(N, 2) = -999.0f;
      s.forcing.RAIN_MISSING(N, 2) = 1;
    }
  }
  inverse_distance_weights(s.catchment.NI, s.catchment.NJ, s.forcing.N_RAIN_ST, s.forcing.RAIN_XY, nullptr, s.forcing.RAIN_WEIGHT, s.catchment.SLOPE);
  nearest_station(s.catchment.NI, s.catchment.NJ, s.forcing.N_RAIN_ST, s.forcing.RAIN_XY, nullptr, s.forcing.RAIN_STATION_MAP, s.catchment.SLOPE);

  s.forcing.N_TEMP_ST = 1;
  s.forcing.TEMP_XY(1, 1) = 0.5f * static_cast<float>(n);
  s.forcing.TEMP_XY(2, 1) = 0.5f * static_cast<float>(n);
  s.forcing.TEMP_Z(1) = 600.0f;
  for (int32_t N = 1; N <= s.forcing.N_DATA; ++N) {
    const float day = static_cast<float>(N - 1) / 24.0f;
    const float hour = static_cast<float>((N - 1) % 24);
    s.forcing.TEMP_DATA(N, 1) = 8.0f + 10.0f * std::sin(2.0f * 3.14159265f * (day - 110.0f) / 365.0f) +
                        4.0f * std::sin(2.0f * 3.14159265f * (hour - 9.0f) / 24.0f);
    s.forcing.TEMP_MISSING(N, 1) = 0;
  }
  nearest_station(s.catchment.NI, s.catchment.NJ, s.forcing.N_TEMP_ST, s.forcing.TEMP_XY, nullptr, s.forcing.TEMP_STATION_MAP, s.catchment.SLOPE);

  const int32_t days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const float daylight[12] = {0.22f, 0.24f, 0.27f, 0.30f, 0.33f, 0.34f, 0.34f, 0.32f, 0.28f, 0.25f, 0.22f, 0.21f};
  for (int32_t m = 1; m <= 12; ++m) {
    s.forcing.DAYS_IN_MONTH(m) = days[m - 1];
    s.forcing.ET_MONTH_A(m) = static_cast<float>(days[m - 1]) * daylight[m - 1];
    s.forcing.ET_MONTH_B(m) = 1.0f;
  }
  s.forcing.ET_OFFSET = 8.0f;
  s.forcing.ET_SLOPE = 0.46f;
}

inline Catchment build_catchment(int32_t n, int32_t records, bool outages = false) {
  Catchment c;
  c.s = std::make_unique<ModelState>();
  ModelState& s = *c.s;
  s.control.RUN_MODE = 4;
  s.catchment.NI = n;
  s.catchment.NJ = n;
  s.size_grids(n, n);
  s.forcing.N_DATA = records;
  s.forcing.DT_RAIN = 3600.0f;
  s.params.DT_SIM = 3600.0f;
  s.plan_steps();
  s.forcing.START_DAY = 1;
  s.forcing.START_MONTH = 1;
  s.forcing.START_YEAR = 2001;
  s.forcing.START_DOY = 1.0f;
  s.catchment.CELL_DX = 100.0f;
  s.catchment.CELL_DY = 100.0f;
  s.params.A_CHANNEL = 2.0f;  // km2: 200 cells
  s.params.WD_HILL = 20.0f;
  s.params.NCLASS = 3;
  s.params.KS_CLASS(1) = 10.0f;
  s.params.KS_CLASS(2) = 15.0f;
  s.params.KS_CLASS(3) = 25.0f;
  s.params.WD_CHAN = 8.0f;
  s.params.KS_CHAN_TOP = 20.0f;
  s.params.KS_CHAN_OUT = 35.0f;
  s.params.K_SUB = 0.0005f;
  s.params.W_SUB = 100.0f;
  s.params.TAU_SUB = 172800.0f;
  s.params.F_SUB_CAP = 1.5f;
  s.params.IA_RATIO = 0.2f;
  s.forcing.INTERP_METHOD = 2;
  s.catchment.OUTLET_I = n;
  s.catchment.OUTLET_J = (n + 1) / 2;
  s.catchment.N_SECTIONS = 1;
  s.catchment.SECTION_I(1) = s.catchment.OUTLET_I;
  s.catchment.SECTION_J(1) = s.catchment.OUTLET_J;

  std::mt19937 rng(20240611u);
  build_network(s, rng);
  const std::string link_text = derive_network(s, c.links, c.max_order);
  if (c.links > kLimits.paths) {
    throw std::runtime_error(std::to_string(c.links) + " links, the path list holds " + std::to_string(kLimits.paths));
  }
  RecordReader links = RecordReader::from_text(link_text, "synthetic links");
  SLOPE_COMP(s, links, c.links + 1);

  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t j = 1; j <= n; ++j) {
      s.catchment.ROUGH_CLASS(i, j) = 1 + (i / 60 + j / 90) % 3;
      const bool active = s.catchment.SLOPE(i, j) > 0.0f;
      s.catchment.SOIL_CAPACITY(i, j) = 60.0f + static_cast<float>((i * 7 + j * 13) % 50);
      s.run.CUM_RAIN(i, j) = active ? 0.0f : -1.0f;
      if (active) ++c.cells;
    }
  }
  build_forcing(s, rng, outages);
  check_channel_roughness(s, {"Tarvex.in", 34, 46});  // the layout of the example control file
  return c;
}

// Gauges 4 to `total` (a run without capacities): each near one of the
// first three, with half its rain plus 0.25 mm when it rains, every other
// one missing one record in 17.
inline void add_gauges(ModelState& s, int32_t total) {
  const int32_t records = s.forcing.N_DATA, first = s.forcing.N_RAIN_ST;
  const decltype(s.forcing.RAIN_DATA) rain = s.forcing.RAIN_DATA;
  const decltype(s.forcing.RAIN_MISSING) missing = s.forcing.RAIN_MISSING;
  const decltype(s.forcing.RAIN_XY) xy = s.forcing.RAIN_XY;
  s.control.limits = kNoLimits;
  s.forcing.N_RAIN_ST = total;
  s.forcing.RAIN_DATA.resize(records, total);
  s.forcing.RAIN_MISSING.resize(records, total);
  s.forcing.RAIN_XY.resize(2, total);
  for (int32_t k = 1; k <= total; ++k) {
    const int32_t o = 1 + (k - 1) % first;
    const bool added = k > first;
    s.forcing.RAIN_XY(1, k) = xy(1, o) + (added ? 3.5f * static_cast<float>((k - 1) / first) : 0.0f);
    s.forcing.RAIN_XY(2, k) = xy(2, o) - (added ? 2.0f * static_cast<float>((k - 1) / first) : 0.0f);
    for (int32_t n = 1; n <= records; ++n) {
      const float r = rain(n, o);
      s.forcing.RAIN_MISSING(n, k) = added ? (k % 2 == 1 && n % 17 == 0 ? 1 : 0) : missing(n, o);
      s.forcing.RAIN_DATA(n, k) = s.forcing.RAIN_MISSING(n, k) == 1 ? -999.0f : (added && r > 0.0f ? 0.5f * r + 0.25f : r);
    }
  }
  s.forcing.RAIN_WEIGHT.resize(total * s.catchment.NI, s.catchment.NJ);
  inverse_distance_weights(s.catchment.NI, s.catchment.NJ, total, s.forcing.RAIN_XY, nullptr, s.forcing.RAIN_WEIGHT, s.catchment.SLOPE);
  nearest_station(s.catchment.NI, s.catchment.NJ, total, s.forcing.RAIN_XY, nullptr, s.forcing.RAIN_STATION_MAP, s.catchment.SLOPE);
}

// FNV-1a over the bits of the first nout values of Q_SECTION at section 1.
inline uint64_t discharge_hash(const ModelState& s, int32_t nout) {
  uint64_t h = 14695981039346656037ull;
  for (int32_t k = 1; k <= nout; ++k) {
    const float q = s.results.Q_SECTION(k, 1);
    uint32_t bits;
    std::memcpy(&bits, &q, sizeof bits);
    for (int b = 0; b < 4; ++b) {
      h ^= (bits >> (8 * b)) & 0xffu;
      h *= 1099511628211ull;
    }
  }
  return h;
}

}  // namespace tarvex::synthetic

// Fuzz target: the loaders of the curve-number grid, the rain file and the
// temperature file on a small catchment.
//
// Input: four header bytes (rows NI 1..8, columns NJ 1..8, records N_DATA
// 1..64, interpolation method), then the curve-number grid, the rain file and
// the temperature file separated by the separator byte.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "model/model_state.hpp"
#include "load/input_rain.hpp"
#include "load/input_temp.hpp"
#include "load/soil_storativity.hpp"
#include "fuzz_support.hpp"
#include "io/grid_file.hpp"
#include "io/record_reader.hpp"

using namespace tarvex;
using tarvex::fuzz::bug;

namespace {

// A catchment of every cell off the first column (slopes 0.01), so that the
// loaders see catchment and other cells.
void make_state(ModelState& s, const uint8_t* head) {
  s.catchment.NI = 1 + head[0] % 8;
  s.catchment.NJ = 1 + head[1] % 8;
  s.forcing.N_DATA = 1 + head[2] % 64;
  s.plan_steps();
  s.forcing.INTERP_METHOD = head[3] % 2 == 0 ? 1 : 2;
  s.control.RUN_MODE = 3;
  s.size_grids(s.catchment.NI, s.catchment.NJ);
  for (int32_t I = 1; I <= s.catchment.NI; ++I) {
    for (int32_t J = 1; J <= s.catchment.NJ; ++J) s.catchment.SLOPE(I, J) = J == 1 ? -1.0f : 0.01f;
  }
}

void check_soil(const ModelState& s) {
  for (int32_t I = 1; I <= s.catchment.NI; ++I) {
    for (int32_t J = 1; J <= s.catchment.NJ; ++J) {
      // Only catchment cells are simulated.
      const float S = s.catchment.SOIL_CAPACITY(I, J);
      if (!(s.catchment.SLOPE(I, J) > 0.0f)) continue;
      if (!std::isfinite(S)) bug("a non-finite soil capacity accepted");
      if (!(S > 0.0f)) bug("a catchment cell without soil capacity accepted");
    }
  }
}

void check_rain(const ModelState& s) {
  if (s.forcing.N_RAIN_ST < 1 || s.forcing.N_RAIN_ST > kLimits.rain_gauges) bug("a rain gauge count outside 1..4 accepted");
  for (int32_t N = 1; N <= s.forcing.N_DATA; ++N) {
    int32_t present = 0;
    for (int32_t k = 1; k <= s.forcing.N_RAIN_ST; ++k) {
      const float v = s.forcing.RAIN_DATA(N, k);
      if (!std::isfinite(v)) bug("a non-finite rain value accepted");
      if (s.forcing.RAIN_MISSING(N, k) != (v < 0.0f ? 1 : 0)) bug("a missing flag disagrees with its value");
      present += 1 - s.forcing.RAIN_MISSING(N, k);
    }
    if (present == 0) bug("a rain record without any gauge accepted");
  }
  for (int32_t I = 1; I <= s.catchment.NI; ++I) {
    for (int32_t J = 1; J <= s.catchment.NJ; ++J) {
      const bool active = s.catchment.SLOPE(I, J) > 0.0f;
      if (s.forcing.INTERP_METHOD == 1) {
        const int32_t g = s.forcing.RAIN_STATION_MAP(I, J);
        if (active ? (g < 1 || g > s.forcing.N_RAIN_ST) : g != -1) bug("a wrong nearest gauge");
        continue;
      }
      float sum = 0.0f;
      for (int32_t k = 1; k <= s.forcing.N_RAIN_ST; ++k) {
        const float w = s.forcing.RAIN_WEIGHT((k - 1) * s.catchment.NI + I, J);
        if (!std::isfinite(w) || w < 0.0f) bug("a rain weight that is not a finite non-negative number");
        sum += w;
      }
      if (active && !(std::fabs(sum - 1.0f) < 1.0e-3f)) bug("the rain weights of a cell do not add up to 1");
      if (!active && sum != 0.0f) bug("a rain weight off the catchment");
    }
  }
}

void check_temp(const ModelState& s) {
  if (s.forcing.N_TEMP_ST != 1) bug("a temperature station count other than 1 accepted");
  for (int32_t m = 1; m <= MAX_MONTHS; ++m) {
    if (s.forcing.DAYS_IN_MONTH(m) < 1) bug("a month without days accepted");
  }
  for (int32_t N = 1; N <= s.forcing.N_DATA; ++N) {
    if (!std::isfinite(s.forcing.TEMP_DATA(N, 1))) bug("a non-finite temperature accepted");
    if (s.forcing.TEMP_MISSING(N, 1) != 0) bug("a record with the station missing accepted");
  }
  for (int32_t I = 1; I <= s.catchment.NI; ++I) {
    for (int32_t J = 1; J <= s.catchment.NJ; ++J) {
      const int32_t t = s.forcing.TEMP_STATION_MAP(I, J);
      if (s.catchment.SLOPE(I, J) > 0.0f ? t != 1 : t != -1) bug("a wrong temperature station map");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  fuzz::enter_scratch_dir();  // silences the loaders' console lines
  const auto parts = fuzz::split(data + 4, size - 4);
  ModelState* s = &fuzz::fresh_state();
  make_state(*s, data);

  auto text = [&](std::size_t k) { return k < parts.size() ? std::string(parts[k]) : std::string(); };
  GridReader cn = GridReader::from_text(text(0), "cn.txt");
  if (fuzz::refused_or_done([&] { SOIL_STORATIVITY(*s, cn); })) check_soil(*s);

  RecordReader rain = RecordReader::from_text(text(1), "rain.txt");
  if (fuzz::refused_or_done([&] { INPUT_RAIN(*s, rain); })) check_rain(*s);

  RecordReader temp = RecordReader::from_text(text(2), "temp.txt");
  if (fuzz::refused_or_done([&] { INPUT_TEMP(*s, temp); })) check_temp(*s);
  return 0;
}

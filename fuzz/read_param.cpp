// Fuzz target: loading of "Tarvex.in" and every file it names, then, when the
// load is accepted and its run small, the driver's whole pass of the mode
// (loading again, the step checks, the run and its result files).
//
// Input: one byte for the run mode (2, 3 or 4), then the files separated by
// the separator byte, in this order: "Tarvex.in", "rough.txt", "dir.txt",
// "elev.txt", "area.txt", "links.txt", "cn.txt", "rain.txt", "temp.txt",
// "scein.dat", "obs.txt". A missing part leaves its file missing.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "driver/main_menu.hpp"
#include "model/model_state.hpp"
#include "load/read_param.hpp"
#include "model/limits.hpp"
#include "model/warn_error.hpp"
#include "fuzz_support.hpp"
#include "simulation/run_steps.hpp"
#include "simulation/simulation_run.hpp"

using namespace tarvex;
using tarvex::fuzz::bug;

namespace {

const char* const kFiles[] = {"Tarvex.in", "rough.txt", "dir.txt",  "elev.txt",  "area.txt", "links.txt",
                              "cn.txt",    "rain.txt",  "temp.txt", "scein.dat", "obs.txt"};

// Work of one run in cell-steps; larger runs are loaded but not run.
constexpr double kRunBudget = 2.0e6;

void check_finite(float v, const char* what) {
  if (!std::isfinite(v)) bug(std::string("non-finite value in ") + what);
}

// What an accepted load promises to the runs.
void check_loaded(const ModelState& s) {
  if (s.forcing.N_DATA < 1 || s.forcing.N_DATA > kLimits.records) bug("N_DATA outside 1..40000 accepted");
  if (s.catchment.NI < 1 || s.catchment.NI > kLimits.grid_side || s.catchment.NJ < 1 || s.catchment.NJ > kLimits.grid_side) bug("grid size outside 1..1000 accepted");
  if (!(s.forcing.DT_RAIN > 0.0f) || !(s.params.DT_SIM > 0.0f)) bug("a time step that is not positive accepted");
  if (s.catchment.NPATH < 0 || s.catchment.NPATH > kLimits.paths) bug("path count outside 0..10000");
  for (int32_t p = 1; p <= s.catchment.NPATH; ++p) {
    if (!s.catchment.SLOPE.contains(s.catchment.IIN(p), s.catchment.JIN(p)) || !s.catchment.SLOPE.contains(s.catchment.IFIN(p), s.catchment.JFIN(p))) {
      bug("a path end outside the grid accepted");
    }
  }
  if (s.catchment.N_SECTIONS < 0 || s.catchment.N_SECTIONS > kLimits.sections) bug("cross-section count outside 0..1 accepted");
  for (int32_t k = 1; k <= s.catchment.N_SECTIONS; ++k) {
    if (!s.catchment.SLOPE.contains(s.catchment.SECTION_I(k), s.catchment.SECTION_J(k))) bug("a cross-section outside the grid accepted");
  }
  if (s.forcing.N_RAIN_ST < 1 || s.forcing.N_RAIN_ST > kLimits.rain_gauges) bug("rain gauge count outside 1..4 accepted");
  const bool continuous = s.control.RUN_MODE == 3 || s.control.RUN_MODE == 4;
  if (continuous && (s.forcing.N_TEMP_ST < 1 || s.forcing.N_TEMP_ST > kLimits.temp_stations)) bug("temperature station count outside 1..1");
  check_finite(s.forcing.START_DOY, "START_DOY");
  for (int32_t I = 1; I <= s.catchment.NI; ++I) {
    for (int32_t J = 1; J <= s.catchment.NJ; ++J) {
      check_finite(s.catchment.SLOPE(I, J), "SLOPE");
      if (!(s.catchment.SLOPE(I, J) > 0.0f)) continue;
      check_finite(s.catchment.SOIL_CAPACITY(I, J), "SOIL_CAPACITY");
      if (!(s.catchment.SOIL_CAPACITY(I, J) > 0.0f)) bug("a catchment cell without soil capacity accepted");
      if (s.forcing.INTERP_METHOD == 1) {
        const int32_t g = s.forcing.RAIN_STATION_MAP(I, J);
        if (g < 1 || g > s.forcing.N_RAIN_ST) bug("a catchment cell without a nearest rain gauge");
      } else {
        float sum = 0.0f;
        for (int32_t k = 1; k <= s.forcing.N_RAIN_ST; ++k) {
          const float w = s.forcing.RAIN_WEIGHT((k - 1) * s.catchment.NI + I, J);
          check_finite(w, "RAIN_WEIGHT");
          sum += w;
        }
        if (!(std::fabs(sum - 1.0f) < 1.0e-3f)) bug("rain weights of a catchment cell do not add up to 1");
      }
      if (continuous) {
        const int32_t t = s.forcing.TEMP_STATION_MAP(I, J);
        if (t < 1 || t > s.forcing.N_TEMP_ST) bug("a catchment cell without a temperature station");
      }
    }
  }
}

void check_series(const ModelState& s, int32_t nout) {
  for (int32_t k = 1; k <= s.catchment.N_SECTIONS; ++k) {
    for (int32_t n = 1; n <= nout && n <= kLimits.records; ++n) {
      check_finite(s.results.Q_SECTION(n, k), "Q_SECTION");
      check_finite(s.results.Q_SECTION_SURF(n, k), "Q_SECTION_SURF");
    }
  }
  for (int32_t I = 1; I <= s.catchment.NI; ++I) {
    for (int32_t J = 1; J <= s.catchment.NJ; ++J) check_finite(s.run.CUM_RAIN(I, J), "CUM_RAIN");
  }
}

// Simulation steps of the run an accepted load leads to, or -1 when the
// driver refuses the steps (messages 1012, 1013, or a step far too short);
// throws InputError where the run refuses the step count.
int64_t run_steps(const ModelState& s) {
  if (s.params.DT_SIM > s.forcing.DT_RAIN) return -1;
  if (!(s.forcing.DT_RAIN / s.params.DT_SIM < 2147483648.0f)) return -1;
  const int32_t Q = static_cast<int32_t>(s.forcing.DT_RAIN / s.params.DT_SIM);
  const int32_t R = static_cast<int32_t>(s.forcing.DT_RAIN - static_cast<float>(Q) * s.params.DT_SIM);
  if (R != 0) return -1;
  return RUN_STEP_COUNT(s.params.step_plan, s.control.RUN_MODE == 4 ? RunKind::objective : RunKind::single);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  fuzz::enter_scratch_dir();
  const int32_t mode = 2 + data[0] % 3;
  const auto parts = fuzz::split(data + 1, size - 1);
  if (!fuzz::names_stay_local(parts[0])) return 0;
  for (std::size_t k = 0; k < parts.size() && k < std::size(kFiles); ++k) fuzz::write_file(kFiles[k], parts[k]);

  ModelState* s = &fuzz::fresh_state();
  s->control.RUN_MODE = mode;
  const bool read = fuzz::refused_or_done([&] {
    const auto ctl = ControlFile::read("Tarvex.in", mode);
    if (!ctl) refuse_run(1011);
    READ_PARAM(*s, *ctl);
  });
  if (!read) return 0;
  check_loaded(*s);

  // The whole pass of the driver, loading included, unless its run is large
  // (refused steps end the pass quickly).
  int64_t steps = 0;
  fuzz::refused_or_done([&] { steps = run_steps(*s); });
  if (steps > 0 && static_cast<double>(steps) * s->catchment.NI * s->catchment.NJ * (1.0 + s->catchment.NPATH) > kRunBudget) return 0;
  s = &fuzz::fresh_state();
  try {
    if (MAINMENU(*s, mode) == 0 && steps > 0) {
      check_series(*s, static_cast<int32_t>(std::min<int64_t>(steps, kLimits.records)));
    }
  } catch (const InputError& e) {
    // The run's last guard against discharges that are not numbers. With
    // TARVEX_FUZZ_STRICT set, reaching it counts as a finding, to look for
    // inputs that the loading should refuse by name.
    static const bool strict = std::getenv("TARVEX_FUZZ_STRICT") != nullptr;
    if (strict && std::string(e.what()).rfind("simulation step", 0) == 0) bug(e.what());
  }
  return 0;
}

// Fuzz target: terrain preprocessing (run mode 1) on a fuzzed control file and
// DEM. Input: "Tarvex.in", the separator byte, then the DEM ("dem.txt").
//
// Pit removal raises a closed depression 0.11 m at a time, cell by cell, so
// its work grows with the depth of the depressions times their cells. That
// is the algorithm, not a fault; DEMs whose raises could run into the
// millions are skipped here so that the fuzzer does not report them as hangs.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/model_state.hpp"
#include "fuzz_support.hpp"
#include "io/record_reader.hpp"
#include "driver/main_menu.hpp"

using namespace tarvex;
using tarvex::fuzz::bug;

namespace {

constexpr double kRaiseBudget = 2.0e6;

// Upper bound of the raises of pit removal: every raise lifts a cell by at
// least 0.11 m (less once rounding of 4-byte reals bites, hence 0.05), and no
// cell may pass the highest elevation plus 100 m.
bool pit_removal_is_small(std::string_view control, std::string_view dem_text) {
  try {
    RecordReader ctl = RecordReader::from_text(std::string(control), "Tarvex.in");
    ctl.skip(11);
    std::string dem_name = ctl.name30("the DEM file name");
    dem_name = dem_name.substr(0, dem_name.find('\0'));  // the name the file system sees
    if (dem_name == "Tarvex.in") {
      dem_text = control;
    } else if (dem_name != "dem.txt") {
      return true;  // no such file: message 1001
    }
    ctl.skip(5);
    int32_t ni = 0, nj = 0;
    ctl.values("NI, NJ", ni, nj);
    if (ni < 3 || nj < 3 || ni > kLimits.grid_side || nj > kLimits.grid_side) return true;
    RecordReader dem = RecordReader::from_text(std::string(dem_text), "dem.txt");
    std::vector<float> row(static_cast<std::size_t>(nj));
    float lo = 1.0e30f, hi = -1000.0f;
    for (int32_t i = 1; i <= ni; ++i) {
      dem.row(row.data(), nj, "a DEM row");
      for (float z : row) {
        if (z < 0.0f) z = -1.0f;
        lo = std::min(lo, z);
        hi = std::max(hi, z);
      }
    }
    const double cells = static_cast<double>(ni - 2) * (nj - 2);
    const double per_cell = (static_cast<double>(hi) + 100.0 - lo) / 0.05 + 1.0;
    return cells * per_cell <= kRaiseBudget && std::max(std::fabs(hi), std::fabs(lo)) < 2.0e6f;
  } catch (const InputError&) {
    return true;  // MOD1 refuses it before pit removal
  }
}

// What a successful terrain pass promises to the simulation modes.
void check_terrain(const ModelState& s) {
  for (int32_t I = 1; I <= s.catchment.NI; ++I) {
    for (int32_t J = 1; J <= s.catchment.NJ; ++J) {
      const int32_t c = s.catchment.FLOW_DIR(I, J);
      if (c < 0 || c > 9 || c == 5) bug("a direction code outside 0..9 or 5");
      if (c != 0) {
        const int32_t di = (c - 1) / 3 - 1;
        const int32_t dj = c - 3 * di - 5;
        if (!s.catchment.FLOW_DIR.contains(I + di, J + dj)) bug("a direction leaving the grid");
      }
      if (s.catchment.AREA_CELLS(I, J) < 0) bug("a negative contributing area");
      if (!std::isfinite(s.catchment.ELEVATION(I, J))) bug("a non-finite elevation");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::enter_scratch_dir();
  const auto parts = fuzz::split(data, size);
  if (!fuzz::names_stay_local(parts[0])) return 0;
  const std::string_view dem = parts.size() > 1 ? parts[1] : std::string_view();
  if (!pit_removal_is_small(parts[0], dem)) return 0;
  fuzz::write_file("Tarvex.in", parts[0]);
  if (parts.size() > 1) fuzz::write_file("dem.txt", dem);

  ModelState* s = &fuzz::fresh_state();
  s->control.RUN_MODE = 1;
  int status = -1;
  fuzz::refused_or_done([&] { status = MAINMENU(*s, 1); });
  if (status == 0) check_terrain(*s);
  return 0;
}

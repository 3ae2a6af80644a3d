#include "terrain/pit_removal.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "io/text_writer.hpp"
#include "model/warn_error.hpp"
#include "terrain/breach.hpp"
#include "terrain/flow_directions.hpp"
#include "terrain/priority_flood.hpp"

namespace tarvex {
namespace {

std::string metres(float v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", static_cast<double>(v));
  return buf;
}

}  // namespace

PitChange elevation_change(const Grid<float>& before, const Grid<float>& after) {
  PitChange c;
  const std::size_t n = static_cast<std::size_t>(before.rows()) * static_cast<std::size_t>(before.cols());
  for (std::size_t k = 0; k < n; ++k) {
    const float a = before.data()[k], b = after.data()[k];
    if (a != b) {
      ++c.cells;
      c.largest = std::max(c.largest, std::fabs(b - a));
    }
  }
  return c;
}

void remove_pits(Grid<float>& ELEVATION, int32_t N_FIXED, const Array1<int32_t, kLimits.exempt_cells>& FIXED_I,
                 const Array1<int32_t, kLimits.exempt_cells>& FIXED_J, Grid<int32_t>& FLOW_DIR,
                 const TerrainOptions& opt, TerrainProgress& progress) {
  if (opt.pits == PitMethod::raise) {
    progress.phase("raising the pits");
    progress.count(0, "raises");
    FLOW_DIRECTIONS(ELEVATION, N_FIXED, FIXED_I, FIXED_J, FLOW_DIR,
                    [&progress](int64_t raises) { progress.count(raises, "raises"); });
    return;
  }
  const std::vector<uint8_t> fixed = fixed_cells(ELEVATION, N_FIXED, FIXED_I, FIXED_J);
  FillResult filled;
  std::string summary;
  if (opt.pits == PitMethod::fill) {
    progress.phase("filling the pits");
    filled = fill_pits(ELEVATION, fixed, progress.meter());
    summary = " Pits filled: " + std::to_string(filled.change.cells) + " cells raised, the largest rise " +
              metres(filled.change.largest) + " m";
  } else {
    const Grid<float> before = ELEVATION;
    progress.phase("breaching the pits");
    const BreachResult b = breach_pits(ELEVATION, fixed, opt.breach_length, opt.breach_depth, progress.meter());
    progress.phase("filling what is left");
    filled = fill_pits(ELEVATION, fixed, progress.meter(), b.carved);
    const PitChange all = elevation_change(before, ELEVATION);
    summary = " Pits breached: " + std::to_string(b.breached) + " of " + std::to_string(b.pits) +
              " by channels of " + std::to_string(b.change.cells) + " cells, " +
              std::to_string(filled.change.cells) + " cells raised; " + std::to_string(all.cells) +
              " cells changed, the largest change " + metres(all.largest) + " m";
  }
  progress.end();
  if (filled.stuck_i != 0) {
    print_line(ListLine()
                   .text("Elevation of the cell ")
                   .num(filled.stuck_i)
                   .num(filled.stuck_j)
                   .text(" cannot drain: no path of positive cells leads to the edge of the grid or to an exempt cell.")
                   .str());
    refuse_run(1002);
  }
  print_line(summary);
  progress.phase("flow directions");
  progress.share(0.0);
  set_flow_directions(ELEVATION, FLOW_DIR);
}

}  // namespace tarvex

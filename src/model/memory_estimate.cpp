#include "model/memory_estimate.hpp"

#include <algorithm>
#include <optional>

#include "io/input_error.hpp"
#include "io/memory_check.hpp"

namespace tarvex {
namespace {

std::uint64_t u(int64_t n) { return n > 0 ? static_cast<std::uint64_t>(n) : 0; }

// Products and sums that stop at the largest value instead of wrapping: an
// estimate that wrapped would let a run through that no memory holds.
constexpr std::uint64_t kMost = UINT64_MAX;
std::uint64_t mul(std::uint64_t a, std::uint64_t b) { return a != 0 && b > kMost / a ? kMost : a * b; }
std::uint64_t add(std::uint64_t a, std::uint64_t b) { return b > kMost - a ? kMost : a + b; }

}  // namespace

// Per cell, measured with /usr/bin/time on generated catchments of 1000 x
// 1000 and 2000 x 2000 cells: the terrain pass takes about 24 bytes (five
// 4-byte grids and the pit removal's work), a loaded state 132 bytes (33
// 4-byte grids) and 4 per rain weight plane, a run's step tables 12 and 4
// per plane, the run engine about 256 per routed cell and 4 per plane.

std::uint64_t terrain_pass_bytes(int64_t cells, int gis_inputs, int gis_outputs) {
  // A kept ESRI ASCII row holds the text of its values (up to 12 bytes each).
  return mul(u(cells), add(24, add(mul(4, u(gis_inputs)), mul(12, u(gis_outputs)))));
}

std::uint64_t state_grid_bytes(int64_t cells, int32_t planes) { return mul(u(cells), add(132, mul(4, u(planes)))); }

std::uint64_t record_series_bytes(int64_t records, int32_t gauges, int32_t stations) {
  return mul(mul(u(records), 8), add(u(gauges), u(stations)));
}

std::uint64_t run_state_bytes(int64_t cells) { return mul(u(cells), 100); }

std::uint64_t run_bytes(int64_t cells, int64_t routed, int32_t planes, int64_t steps) {
  const std::uint64_t plane = mul(4, u(planes));
  return add(add(mul(u(cells), add(12, plane)), mul(u(routed), add(256, plane))), mul(u(steps), 16));
}

void check_memory(std::uint64_t estimate, const std::string& what) {
  const std::optional<MemoryRoom> room = memory_room();
  if (!room || estimate <= room->bytes) return;
  throw InputError(what + " needs about " + memory_text(estimate) + " of memory, more than the " +
                   memory_text(room->bytes) + " the process may still take (" + room->source + ")");
}

void check_run_memory(const ModelState& s, int32_t copies) {
  if (!s.control.limits.fit_to_data) return;
  const int64_t cells = static_cast<int64_t>(s.catchment.NI) * s.catchment.NJ;
  int64_t routed = 0;
  for (int32_t I = 1; I <= s.catchment.NI; ++I) {
    const float* slope = s.catchment.SLOPE.row(I);
    for (int32_t J = 0; J < s.catchment.NJ; ++J) routed += slope[J] > 0.0f ? 1 : 0;
  }
  const double steps = static_cast<double>(s.forcing.N_DATA) * static_cast<double>(s.params.step_plan.steps_per_record);
  const int32_t planes = s.weight_planes();
  const std::uint64_t run = run_bytes(cells, routed, planes, static_cast<int64_t>(std::min(steps, 4e18)));
  // A further worker shares the catchment and forcing; it holds its run
  // state, and its run its step tables, layout and series.
  const std::uint64_t copy = run_state_bytes(cells);
  std::string what = "a run of " + std::to_string(routed) + " routed cells of " + std::to_string(s.catchment.NI) + " x " +
                     std::to_string(s.catchment.NJ) + " over " + std::to_string(s.forcing.N_DATA) + " records";
  if (copies > 0) what = "the search's " + std::to_string(copies + 1) + " concurrent runs (-j) of " + what.substr(9);
  check_memory(add(run, mul(u(copies), add(run, copy))), what);
}

}  // namespace tarvex

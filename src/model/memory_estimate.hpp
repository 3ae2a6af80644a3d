#pragma once
// Memory of a run without capacities, estimated before it is taken, so that
// a grid or a series memory cannot hold is refused with a message instead of
// the process being killed part-way through. An estimate too large for 64
// bits is the largest value, never a wrapped small one.
#include <cstdint>
#include <string>

#include "model/model_state.hpp"

namespace tarvex {

// The terrain pass over `cells` cells: its grids and work arrays, and the
// rows a GIS grid keeps (gis_inputs DEMs read whole, gis_outputs grids kept
// until written).
std::uint64_t terrain_pass_bytes(int64_t cells, int gis_inputs, int gis_outputs);
// The grids of a loaded simulation state with `planes` rain weight planes.
std::uint64_t state_grid_bytes(int64_t cells, int32_t planes);
// The rain and temperature series of `records` records.
std::uint64_t record_series_bytes(int64_t records, int32_t gauges, int32_t stations);
// What a further search worker holds of its own: the run state's 25 grids.
std::uint64_t run_state_bytes(int64_t cells);
// One run on the loaded state: its step tables, the layout of its `routed`
// cells and the discharge series of `steps` steps.
std::uint64_t run_bytes(int64_t cells, int64_t routed, int32_t planes, int64_t steps);

// Refuses (InputError) what `what` names when the estimate exceeds the
// memory the process may still take; does nothing when that is unknown.
void check_memory(std::uint64_t estimate, const std::string& what);

// With the capacities lifted: refuses a run on the loaded state s whose step
// tables, layout and discharge series, with `copies` further copies of the
// loaded state each making a run of its own, exceed what the process may
// still take.
void check_run_memory(const ModelState& s, int32_t copies = 0);

}  // namespace tarvex

#pragma once
#include <cstdint>
#include <vector>

#include "model/model_state.hpp"
#include "terrain/pit_options.hpp"

namespace tarvex {

struct BreachResult {
  PitChange change;    // cells lowered and the largest lowering, m
  int64_t pits = 0;    // pits met
  int64_t breached = 0;  // of which drained by a channel
  // Cells lowered and the pits they drain, for the filling that follows.
  std::vector<uint8_t> carved;
};

// Least-cost breaching: takes each pit (an alterable cell, see fixed_cells,
// with no positive neighbour strictly below it), lowest first, and searches
// the cheapest channel of at most max_length steps to a positive cell below
// the pit, the cost being the total lowering to the pit's level and no cell
// lowered to that level by more than max_depth m. The channel's cells are
// lowered onto a steady fall from the pit to that cell (never by more than
// max_depth). Pits no channel reaches are left as they are, for a filling.
// Fixed cells are never lowered. Works on ELEVATION (m) in place.
BreachResult breach_pits(Grid<float>& ELEVATION, const std::vector<uint8_t>& fixed, int32_t max_length,
                         float max_depth, const ShareDone& progress = {});

}  // namespace tarvex

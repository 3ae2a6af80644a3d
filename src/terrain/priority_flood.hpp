#pragma once
#include <cstdint>
#include <vector>

#include "model/model_state.hpp"
#include "terrain/pit_options.hpp"

namespace tarvex {

// Result of a filling: the cells raised, or where a cell cannot drain.
struct FillResult {
  PitChange change;
  // A cell that no path of positive cells links to a drain (a positive edge
  // or exempt cell): 0 when every cell drains, else its row and column.
  int32_t stuck_i = 0;
  int32_t stuck_j = 0;
};

// Priority-flood filling: raises every alterable cell (see fixed_cells) that
// has no downhill path to a drain to printed_step_above of the cell it is
// reached from, so that afterwards every alterable cell reached has a
// positive neighbour strictly below it, in the reals and in the elevations
// as written. Cells with a downhill path keep their elevation, except where
// they drain into an altered cell, or are marked in strict (altered before,
// when not empty): those are also raised where the written grid would show
// no descent. fixed is the mask of fixed_cells. Works on ELEVATION (m) in
// place.
FillResult fill_pits(Grid<float>& ELEVATION, const std::vector<uint8_t>& fixed, const ShareDone& progress = {},
                     const std::vector<uint8_t>& strict = {});

}  // namespace tarvex

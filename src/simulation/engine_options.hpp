#pragma once
// How the run engine lays out and steps a run. The defaults are those of
// every production run; the tests change them to prove the engine against
// the grid functions (tests/support/grid_reference) and to spread small
// catchments over threads and tiles.
#include <cstdint>

namespace tarvex {

struct EngineOptions {
  // Sixteen cells routed at a time in vector lanes where the CPU has
  // AVX-512; off, one cell at a time.
  bool lanes = true;
  // Reuse of the Muskingum coefficients that depend on the cell alone: the
  // surface ones of a dry cell (reference discharge at its floor), the
  // subsurface ones whenever the diffusion number is raised to 1 - Cr. Off
  // recomputes them at every step.
  bool dry_reuse = true;
  int32_t tile_cells = 8192;  // cells of a tile, at least 1
  int32_t block_steps = 64;   // steps of a block, at least 1
  // Routed cells a thread needs at least: below, the barriers of a step
  // cost more than the thread gains. 0 takes the run's
  // RunControl::min_cells_per_thread, or else 16384.
  int64_t cells_per_thread = 0;
};

}  // namespace tarvex

#pragma once
// Run engine: the catchment laid out once per run in flat arrays, cells in
// routing order (upstream first), with every per-cell constant of the run
// computed at load. A step touches only the engine's cells and gives, value
// for value, what CONTINUOUS or CN_METHOD, ROUTING and STEP_SHIFT give on the
// grids. Steps go in blocks, each tile of cells over all the steps of a block
// while it stays in cache. Cells of independent subtrees are spread over
// threads; every inflow is summed in the order of the path walk, so the
// results depend neither on the thread count nor on the tiles.
#include <cstdint>
#include <memory>

#include "model/model_state.hpp"
#include "simulation/engine_options.hpp"
#include "simulation/simulation_run.hpp"

namespace tarvex {

struct StepInputs {
  int32_t N = 0;           // record
  int32_t MONTH = 0;
  int32_t MISS_FLAG = 0;   // a rain gauge is missing: read the run's step tables
  int32_t TMISS_FLAG = 0;  // the temperature station is missing
  bool keep_coefficients = false;  // the Muskingum coefficients are written back (the last step)
};

class RunEngine {
 public:
  explicit RunEngine(const EngineOptions& options = EngineOptions{});
  ~RunEngine();
  RunEngine(const RunEngine&) = delete;
  RunEngine& operator=(const RunEngine&) = delete;

  // Lays out the run from the state (call after INITIAL_VALUE). The loading
  // refuses every path list the engine cannot lay out (a link that leaves
  // the directions, a cell two links walk, a link after the link it drains
  // into); a state built around the loading that has one throws InputError.
  void build(const RunModel& s, const RunTables& t, RunKind kind);

  // Steps a block takes at most.
  int32_t block_steps() const;
  // Runoff generation and routing of the steps in[0..n), n at most
  // block_steps(), a tile of the catchment at a time over all of them. The
  // step tables of t are read for a step with a station missing, so such a
  // step must run alone (n = 1). The inflows (QIN_SUP, QIN_SUB) at output
  // cross-section k after step j go to sup[j * N_SECTIONS + k - 1] and
  // sub[j * N_SECTIONS + k - 1]. With et given, a continuous run also
  // leaves there the catchment-mean evapotranspiration of each step, mm
  // (NaN when a cell's depth is not a number or beyond 1e4 mm).
  void run(const RunModel& s, const RunTables& t, const StepInputs* in, int32_t n, float* sup, float* sub,
           double* et = nullptr);
  // Writes the state of the run back to the grids of s and t, as the grid
  // functions leave them after the same steps.
  void write_back(const RunModel& s, RunTables& t) const;

  int32_t threads() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> p_;
};

// Threads a run of `cells` routed cells uses for a requested job count
// (0: the machine's cores): no more than one per `cells_per_thread` routed
// cells (0: kMinCellsPerThread), below which the barriers of a step cost
// more than the thread gains.
inline constexpr int64_t kMinCellsPerThread = 16384;
int32_t run_threads(int32_t jobs, int64_t cells, int64_t cells_per_thread = 0);

}  // namespace tarvex

#pragma once
// The grid functions: the time loop of the model written over whole grids,
// step by step, as the model describes it. The run engine is proved against
// them bit for bit; no production run uses them.
#include <cstdint>

#include "model/model_state.hpp"
#include "simulation/run_steps.hpp"
#include "simulation/update_day.hpp"

namespace tarvex::reference {

// Rain falling on cell (I, J) from record N, times FACTOR (DT_SIM/DT_RAIN
// gives mm per simulation step). Reads the run's step tables MAP_STEP and
// WEIGHT_STEP only when MISS_FLAG is 1, the load-time tables otherwise.
float LOCAL_RAIN(const RunModel& s, int32_t I, int32_t J, int32_t MISS_FLAG, float FACTOR, int32_t N,
                 const Grid<int32_t>& MAP_STEP, const Grid<float>& WEIGHT_STEP);

// The head of a runoff step shared by both methods: every cell off the
// catchment gets RUNOFF -1; every catchment cell gets its rain P of the step
// (mm), added to CUM_RAIN, and then cell(I, J, P).
template <class Cell>
void for_catchment_cells(const RunModel& s, int32_t N, int32_t MISS_FLAG, Grid<float>& RUNOFF,
                         const Grid<int32_t>& MAP_STEP, const Grid<float>& WEIGHT_STEP, Cell&& cell) {
  const float R = s.params.step_plan.records_per_step;
  for (int32_t I = 1; I <= s.catchment.NI; ++I) {
    for (int32_t J = 1; J <= s.catchment.NJ; ++J) {
      if (!(s.catchment.SLOPE(I, J) > 0.0f)) {
        RUNOFF(I, J) = -1.0f;
        continue;
      }
      const float P = LOCAL_RAIN(s, I, J, MISS_FLAG, R, N, MAP_STEP, WEIGHT_STEP);  // mm in the step
      s.run.CUM_RAIN(I, J) = P + s.run.CUM_RAIN(I, J);
      cell(I, J, P);
    }
  }
}

// Event runoff of one step by the curve-number relation applied to the rain
// accumulated since the start of the run: RUNOFF (mm per step) is the growth
// of the accumulated direct runoff over the step, INFILTRATION the rest of the
// step's rain. Cells off the catchment get RUNOFF -1 and nothing else.
void CN_METHOD(const RunModel& s, int32_t N, int32_t MISS_FLAG, Grid<float>& RUNOFF, const Grid<int32_t>& MAP_STEP,
               const Grid<float>& WEIGHT_STEP);

// Continuous soil water balance of one step on every catchment cell (soil
// store, subsurface store, cell temperature and evapotranspiration).
void CONTINUOUS(const RunModel& s, int32_t N, int32_t MONTH, int32_t MISS_FLAG, int32_t TMISS_FLAG,
                const Grid<int32_t>& TMAP_STEP, Grid<float>& RUNOFF, const Grid<int32_t>& MAP_STEP,
                const Grid<float>& WEIGHT_STEP);

// Moves one step's runoff through the network (surface and subsurface flow,
// Muskingum-Cunge), walking the path list in order. RUNOFF: mm per step.
void ROUTING(const RunModel& s, const Grid<float>& RUNOFF);

// Rolls the step's flows over to the previous-step grids and clears the
// current ones.
void STEP_SHIFT(const RunModel& s);

// A whole run on the grid functions: Q_SECTION and Q_SECTION_SURF per step,
// the state grids and t.STEP_RUNOFF after the last step. Returns the steps
// recorded (the single run) or run (the objective run), as RUN_SIMULATION.
int32_t reference_run(const RunModel& s, RunTables& t, RunKind kind);

}  // namespace tarvex::reference

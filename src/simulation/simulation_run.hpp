#pragma once
// The time loop shared by the single run and the objective-function run.
#include <cstdint>

#include "model/model_state.hpp"
#include "simulation/engine_options.hpp"
#include "simulation/update_day.hpp"

namespace tarvex {

enum class RunKind {
  single,     // single run: event (RUN_MODE 2) or continuous method, console
              // year lines and "timestep.out"; NOUT = recorded steps
  objective,  // objective-function run: continuous method, silent;
              // NOUT = NSTEPS
};

// Runs one simulation from the initial state over the whole record with the
// parameters in the state, using the working tables t. Fills Q_SECTION_SURF
// and Q_SECTION and returns NOUT. Throws InputError, before any step, when
// the run would record more steps than the series hold. The options set how
// the run engine steps the run (the defaults are those of every run of the
// program).
int32_t RUN_SIMULATION(const RunModel& s, RunTables& t, RunKind kind, const EngineOptions& options = EngineOptions{});

// The same, leaving the calendar of the last step in cal.
int32_t RUN_SIMULATION(const RunModel& s, RunTables& t, RunKind kind, Calendar& cal,
                       const EngineOptions& options = EngineOptions{});

}  // namespace tarvex

#pragma once
// Sensitivity analysis of the calibration objective (tarvex --sensitivity):
// the parameters of "scein.dat" varied within their bounds, by Morris's
// screening or by Sobol' indices, every point scored through the search's
// evaluators (threads and MPI ranks).
//
// Records, all written by the calling thread in the order of the points:
//  - "sensitivity_evaluations.csv": a row per evaluation in the layout of
//    "sce_evaluations.csv"; "loop" is the trajectory (Morris) or the sample
//    row (Sobol'), "complex" the point within it (Morris: the step; Sobol':
//    0 A, 1 B, 2 .. NPAR + 1 AB_i, NPAR + 2 .. 2 NPAR + 1 BA_i);
//  - "sensitivity_checkpoint.txt": after every batch (replaced atomically),
//    with the digests of the inputs; --resume re-reads the objectives of the
//    rows already written and scores only the rest;
//  - "sensitivity.csv": a row per parameter, written at the end;
//  - the table of indices in "sceout.dat" and on standard output.
// The files are the same for any number of threads or ranks.
#include <vector>

#include "calibration/sce_settings.hpp"
#include "calibration/search_inputs.hpp"
#include "calibration/search_options.hpp"
#include "io/text_writer.hpp"
#include "model/model_state.hpp"

namespace tarvex {

inline constexpr const char* kSensitivityFile = "sensitivity.csv";
inline constexpr const char* kSensitivityEvaluationsFile = "sensitivity_evaluations.csv";
inline constexpr const char* kSensitivityCheckpointFile = "sensitivity_checkpoint.txt";

inline constexpr int kMorrisLevels = 4;
inline constexpr int64_t kMorrisTrajectories = 20;  // default of --samples
inline constexpr int64_t kSobolRows = 512;           // default of --samples
inline constexpr int kBootstrapResamples = 1000;

// Refuses, with one InputError line, settings no analysis can use: a lower
// bound above its upper bound, bounds equal for every parameter, fewer
// samples than the method needs, more parameters than the Sobol' sequence
// has dimensions for.
void check_sensitivity_settings(const SceSettings& set, const SearchOptions& opt);

// Runs (or with opt.resume continues) the analysis. s: the loaded model with
// Q_OBS; report: "sceout.dat"; inputs: as for the search. Returns 0, or
// 128 + the signal after a SIGINT or SIGTERM (the records stay those of the
// last checkpoint; --resume continues).
int run_sensitivity(ModelState& s, const SceSettings& set, TextWriter& report, const SearchOptions& opt,
                    const std::vector<InputDigest>& inputs);

}  // namespace tarvex

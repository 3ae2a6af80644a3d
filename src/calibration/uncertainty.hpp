#pragma once
// Prediction uncertainty of the calibrated model (tarvex --uncertainty):
// GLUE over a Latin hypercube of the bounds of "scein.dat", or DREAM(ZS)
// with a Gaussian likelihood, every point scored through the search's
// evaluators (threads and MPI ranks).
//
// Records, all written by the calling thread in the order of the points:
//  - "uncertainty_evaluations.csv": a row per evaluation in the layout of
//    "sce_evaluations.csv"; "loop" is the sample (GLUE) or the generation
//    (DREAM, 0 the start), "complex" 0 (GLUE) or the chain (DREAM);
//  - "uncertainty_checkpoint.txt": after every batch (replaced atomically),
//    with the digests of the inputs; --resume re-reads the rows already
//    written and, both methods being deterministic for their seed, replays
//    them before scoring the rest;
//  - "bands.csv": a row per compared record and section, the observed value
//    (as read, also outside the calibration period) and the quantiles of the
//    simulated discharge; with periods, the record's period last;
//  - "uncertainty.csv": a row per parameter (its quantiles, DREAM's R-hat);
//  - "posterior.csv" (DREAM): the states of the chains after the burn-in;
//  - "uncertainty_summary.txt", the summary also in "sceout.dat" and on
//    standard output.
// The series behind the bands are simulated again, on this process's threads
// only, for the behavioural (GLUE) or posterior (DREAM, at most 1000 evenly
// thinned) points, each distinct point once, in passes over blocks of records
// so that the values held stay within 256 MiB. The files are the same for any
// number of threads or ranks.
#include <vector>

#include "calibration/period_scoring.hpp"
#include "calibration/sce_settings.hpp"
#include "calibration/search_inputs.hpp"
#include "calibration/search_options.hpp"
#include "io/text_writer.hpp"
#include "model/model_state.hpp"

namespace tarvex {

inline constexpr const char* kBandsFile = "bands.csv";
inline constexpr const char* kUncertaintyFile = "uncertainty.csv";
inline constexpr const char* kUncertaintySummaryFile = "uncertainty_summary.txt";
inline constexpr const char* kPosteriorFile = "posterior.csv";
inline constexpr const char* kUncertaintyEvaluationsFile = "uncertainty_evaluations.csv";
inline constexpr const char* kUncertaintyCheckpointFile = "uncertainty_checkpoint.txt";

inline constexpr int64_t kGlueSamples = 1000;   // default of --samples
inline constexpr int64_t kDreamBudget = 5000;   // default of --samples: evaluations
inline constexpr int64_t kDreamMinBudget = 100;
// Below this effective sample size of some parameter the summary says that
// the intervals are rough.
inline constexpr int kDreamFewSamples = 200;

// Refuses, with one InputError line, settings no analysis can use: a lower
// bound above its upper bound, bounds equal for every parameter, too few
// samples, a behavioural threshold no point can reach.
void check_uncertainty_settings(const SceSettings& set, const SearchOptions& opt);

// The control files of the analyses' most likely parameter set (GLUE: the
// best sample; DREAM: the posterior state of highest likelihood).
inline constexpr const char* kGlueControlFile = "Tarvex.glue.in";
inline constexpr const char* kDreamControlFile = "Tarvex.dream.in";

// Runs (or with opt.resume continues) the analysis. s: the loaded model with
// Q_OBS; report: "sceout.dat". Returns 0; 1 when no GLUE point is
// behavioural (reported); 128 + the signal after a SIGINT or SIGTERM.
// periods: with opt.periods, the observed values as read and the period of
// each record, so that the bands keep every observed value and their fit is
// also given per period. best_x, when given, receives the most likely parameter set of a process
// that ran the analysis (empty on a process that served evaluations).
int run_uncertainty(ModelState& s, const SceSettings& set, TextWriter& report, const SearchOptions& opt,
                    const std::vector<InputDigest>& inputs, std::vector<double>* best_x = nullptr,
                    const PeriodScoring* periods = nullptr);

}  // namespace tarvex

#pragma once
// The calibration search (tarvex --search): the shuffled complex evolution
// minimiser run on the model with the settings and bounds of "scein.dat".
//
// Records, all written by the calling thread in the search's order:
//  - "min-ris.txt": every evaluation appended in the evaluation log layout;
//  - "sce_evaluations.csv": a row per evaluation (number, loop, complex,
//    parameters, objective, fit statistics), replaced by a new search;
//  - "sceout.dat": a line per loop after the settings tables, then the best
//    parameters, their objective and fit, and why the search stopped;
//  - "outlet.out": the series of the best parameters;
//  - "sce_checkpoint.txt": the state after every loop (replaced atomically),
//    with the digests of the inputs, from which --resume continues with the
//    same records and result.
// A point whose run fails (the run's guards throw InputError) or whose
// objective is not a number scores +infinity and the search goes on; its CSV
// row has empty statistics.
#include <string>
#include <vector>

#include "calibration/sce_settings.hpp"
#include "calibration/search_inputs.hpp"
#include "calibration/search_options.hpp"
#include "io/text_writer.hpp"
#include "model/model_state.hpp"

namespace tarvex {

inline constexpr const char* kCheckpointFile = "sce_checkpoint.txt";
inline constexpr const char* kEvaluationsFile = "sce_evaluations.csv";

// Refuses, with an InputError naming "scein.dat" and the record, settings
// the search cannot use: a lower bound above its upper bound, an initial
// value outside its bounds, MAXTRIALS below the population NGS x NPG.
void check_search_settings(const SceSettings& set);

// Runs (or, with opt.resume, continues) the search. s holds the loaded
// model with Q_OBS; report is "sceout.dat" after its search banner; inputs:
// the files the evaluations read (search_inputs), kept in the checkpoint. A
// resume whose inputs differ from those the checkpoint holds is refused, as
// is an MPI rank whose inputs differ from rank 0's. The fit table of the
// best run is also printed on standard output.
// A first SIGINT or SIGTERM ends the search after the evaluations under way:
// the records stay those of the last completed loop (its checkpoint), the
// report and "outlet.out" give the best point so far, and the result is
// 128 + the signal number (130, 143). Otherwise 0.
// The fit table of sceout.dat and standard output: a title line with the
// number of pairs, then one line per statistic.
std::vector<std::string> fit_table(const FitStatistics& f);

// best_x, when given, receives the best vector of a process that searched
// (it stays empty on a process that served evaluations).
int run_calibration_search(ModelState& s, const SceSettings& set, TextWriter& report, const SearchOptions& opt,
                           const std::vector<InputDigest>& inputs, std::vector<double>* best_x = nullptr);

}  // namespace tarvex

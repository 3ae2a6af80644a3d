#include "calibration/sce_calibration.hpp"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "calibration/evaluate.hpp"
#include "calibration/period_scoring.hpp"
#include "calibration/evaluator_pool.hpp"
#include "calibration/remote_evaluator.hpp"
#include "calibration/sce_search.hpp"
#include "calibration/search_inputs.hpp"
#include "calibration/search_interrupt.hpp"
#include "io/append_file.hpp"
#include "io/evaluation_log.hpp"
#include "io/input_error.hpp"
#include "io/record_reader.hpp"
#include "io/search_files.hpp"
#include "model/warn_error.hpp"

namespace tarvex {
namespace {

std::string sci(double v) {
  char b[32];
  std::snprintf(b, sizeof b, "%14.6e", v);
  return b;
}

std::string param_record(int32_t j) { return "record " + std::to_string(j + 2) + ": parameter " + std::to_string(j); }

// One line naming every setting the saved state depends on.
std::string settings_key(const SceSettings& p, Objective objective) {
  std::string k = "objective " + std::string(objective_name(objective));
  for (int32_t v : {p.MAXTRIALS, p.kstop, p.SEED, p.NGS, p.NPG, p.NPS, p.NSPL, p.MINCPX, p.INIPT, p.NPAR}) {
    k += ' ' + std::to_string(v);
  }
  k += ' ' + shortest(p.PCTCHANGE);
  for (int32_t j = 1; j <= p.NPAR; ++j) {
    k += ' ' + shortest(p.PAR0(j)) + ' ' + shortest(p.PARLO(j)) + ' ' + shortest(p.PARHI(j));
  }
  return k;
}

}  // namespace

std::vector<std::string> fit_table(const FitStatistics& f) {
  auto row = [](const char* name, double v) {
    char b[64];
    std::snprintf(b, sizeof b, "     %-9s %15.6g", name, v);
    return std::string(b);
  };
  return {"  FIT OF THE BEST RUN (" + std::to_string(f.pairs) + " PAIRS)",
          row("SSE", f.sse),
          row("RMSE", f.rmse),
          row("NSE", f.nse),
          row("LOG-NSE", f.log_nse),
          row("KGE", f.kge),
          row("KGE2012", f.kge2012),
          row("R", f.r),
          row("ALPHA", f.alpha),
          row("BETA", f.beta),
          row("PBIAS %", f.pbias)};
}

namespace {

// What a worker found for a point, until the record of that evaluation is
// written. Points are keyed by their values; equal points score alike.
struct Scored {
  FitStatistics fit;
  bool failed = false;
  FitStatistics validation;
};

struct Checkpoint {
  std::string key;
  std::vector<InputDigest> inputs;  // path and digest
  std::uintmax_t log_bytes = 0;
  std::uintmax_t csv_bytes = 0;
  std::vector<std::string> report;
  std::string state;
  int state_record = 0;  // record of the checkpoint where the state begins
};

constexpr const char* kCheckpointTag = "tarvex-sce-checkpoint 2";
// Checkpoints of builds that kept no digests of the inputs.
constexpr const char* kUndigestedTag = "tarvex-sce-checkpoint 1";

std::string checkpoint_text(const Checkpoint& c) {
  std::string t = std::string(kCheckpointTag) + "\n";
  t += "settings " + c.key + "\n";
  t += "inputs " + std::to_string(c.inputs.size()) + "\n";
  for (const InputDigest& d : c.inputs) t += "input " + d.digest + " " + d.path + "\n";
  t += "log-bytes " + std::to_string(c.log_bytes) + "\n";
  t += "csv-bytes " + std::to_string(c.csv_bytes) + "\n";
  t += "report-lines " + std::to_string(c.report.size()) + "\n";
  for (const std::string& l : c.report) t += l + "\n";
  return t + c.state;
}

// Refuses a resume when an input differs from the one the search began on.
void check_inputs_unchanged(const std::vector<InputDigest>& saved, const std::vector<InputDigest>& now) {
  const int k = first_changed_input(saved, now);
  if (k < 0) return;
  const std::size_t i = static_cast<std::size_t>(k);
  const std::string what = i < now.size() ? "file '" + now[i].path + "', " + now[i].role + ","
                                          : "file '" + saved[i].path + "'";
  throw InputError(what + " has changed since the search saved in '" + kCheckpointFile +
                   "' began; a resumed search runs on the inputs it began with: restore the file, or start a "
                   "new search without --resume");
}

Checkpoint read_checkpoint(const std::string& expected_key, const std::vector<InputDigest>& inputs) {
  std::optional<RecordReader> rd = RecordReader::try_open(kCheckpointFile);
  const std::string file = std::string("file '") + kCheckpointFile + "'";
  if (!rd) throw InputError(file + " cannot be opened: --resume continues the search saved there");
  int record = 0;
  auto next = [&](const std::string& what) {
    ++record;
    if (rd->at_end()) throw InputError(file + ": record " + std::to_string(record) + ": expected " + what);
    std::string l(rd->peek());
    rd->skip(1);
    return l;
  };
  auto field = [&](const std::string& name) {
    std::string l = next("'" + name + " ...'");
    if (l.rfind(name + " ", 0) != 0)
      throw InputError(file + ": record " + std::to_string(record) + ": expected '" + name + " ...'");
    return l.substr(name.size() + 1);
  };
  // Digits only: a sign or a value past 2^63 - 1 is refused.
  auto count = [&](const std::string& name) {
    const std::string v = field(name);
    uint64_t n = 0;
    const auto r = std::from_chars(v.data(), v.data() + v.size(), n);
    if (v.empty() || v[0] < '0' || v[0] > '9' || r.ec != std::errc() || r.ptr != v.data() + v.size() ||
        n > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
      throw InputError(file + ": record " + std::to_string(record) + ": expected a count after '" + name +
                       "' (0 to " + std::to_string(std::numeric_limits<int64_t>::max()) + "), not '" + v + "'");
    }
    return static_cast<std::uintmax_t>(n);
  };
  Checkpoint c;
  const std::string tag = next("'" + std::string(kCheckpointTag) + "'");
  if (tag == kUndigestedTag) {
    throw InputError(file + ": record 1: a checkpoint of an earlier build, without the digests of the inputs, so "
                     "the inputs cannot be shown to be those the search began on; start the search again without "
                     "--resume");
  }
  if (tag != kCheckpointTag) {
    throw InputError(file + ": record 1: expected '" + kCheckpointTag + "'; not a checkpoint of this program");
  }
  c.key = field("settings");
  if (c.key != expected_key) {
    throw InputError(file + ": record 2: the checkpoint belongs to a search with other settings, bounds or "
                     "objective than 'scein.dat' and the command line give now; start a new search without --resume");
  }
  const std::uintmax_t n_inputs = count("inputs");
  for (std::uintmax_t k = 0; k < n_inputs; ++k) {
    const std::string l = field("input");
    const std::size_t blank = l.find(' ');
    const std::string digest = l.substr(0, blank);
    if (blank == std::string::npos || blank + 1 == l.size() || digest.size() != 16 ||
        digest.find_first_not_of("0123456789abcdef") != std::string::npos) {
      throw InputError(file + ": record " + std::to_string(record) +
                       ": expected 'input', a digest of 16 hex digits and a file name");
    }
    c.inputs.push_back({l.substr(blank + 1), "", digest});
  }
  check_inputs_unchanged(c.inputs, inputs);
  c.log_bytes = count("log-bytes");
  c.csv_bytes = count("csv-bytes");
  const std::uintmax_t lines = count("report-lines");
  for (std::uintmax_t k = 0; k < lines; ++k) c.report.push_back(next("a report line"));
  c.state_record = record + 1;
  while (!rd->at_end()) c.state += next("the search state") + "\n";
  return c;
}

}  // namespace

void check_search_settings(const SceSettings& p) {
  for (int32_t j = 1; j <= p.NPAR; ++j) {
    const double lo = p.PARLO(j), hi = p.PARHI(j), x0 = p.PAR0(j);
    if (!(lo <= hi)) {
      throw InputError("file 'scein.dat': " + param_record(j) + ": the lower bound " + shortest(lo) +
                       " lies above the upper bound " + shortest(hi));
    }
    if (!(x0 >= lo && x0 <= hi)) {
      throw InputError("file 'scein.dat': " + param_record(j) + ": the initial value " + shortest(x0) +
                       " lies outside the bounds " + shortest(lo) + " to " + shortest(hi));
    }
  }
  const int64_t population = static_cast<int64_t>(p.NGS) * p.NPG;
  if (p.MAXTRIALS < population) {
    throw InputError("file 'scein.dat': record 1: MAXTRIALS = " + std::to_string(p.MAXTRIALS) +
                     " is smaller than the initial population NGS x NPG = " + std::to_string(p.NGS) + " x " +
                     std::to_string(p.NPG) + " = " + std::to_string(population) + " points");
  }
}

int run_calibration_search(ModelState& s, const SceSettings& p, TextWriter& report, const SearchOptions& opt,
                           const std::vector<InputDigest>& inputs, std::vector<double>* best_x) {
  check_search_settings(p);
  const SearchInterrupt interrupt;
  auto interrupted_status = [] {
    const int sig = SearchInterrupt::received();
    return sig != 0 ? 128 + sig : 0;
  };
  const int n = p.NPAR;

  SceConfig cfg;
  cfg.ngs = p.NGS;
  cfg.npg = p.NPG;
  cfg.nps = p.NPS;
  cfg.nspl = p.NSPL;
  cfg.mingcs = p.MINCPX;
  cfg.max_evals = p.MAXTRIALS;
  cfg.kstop = std::max(p.kstop, 1);  // kstop 0 tests the last two loops, as kstop 1
  cfg.pct_change = p.PCTCHANGE;
  cfg.seed = static_cast<uint64_t>(static_cast<int64_t>(p.SEED));
  cfg.use_x0 = p.INIPT != 0;
  int threads = opt.jobs > 0 ? opt.jobs : static_cast<int>(std::thread::hardware_concurrency());
  const int local = std::clamp(threads, 1, p.NGS * p.NPG);  // evaluation threads of this process
  cfg.threads = local;

  std::vector<double> lo(n), hi(n), x0(n);
  for (int j = 0; j < n; ++j) {
    lo[j] = p.PARLO(j + 1);
    hi[j] = p.PARHI(j + 1);
    x0[j] = p.PAR0(j + 1);
  }

  EvaluatorPool pool(s, n, opt.objective, local, &opt.validation_observed);

  // Other processes of an MPI job: each has loaded the inputs itself; one
  // that serves evaluations leaves here once the search is over.
  auto make_search = [&](const SceSearch::Objective& f) {
    try {
      return std::make_unique<SceSearch>(cfg, lo, hi, x0, f);
    } catch (const std::invalid_argument& e) {
      throw InputError(std::string("file 'scein.dat': the search cannot use these settings: ") + e.what());
    }
  };
  make_search([](int, std::span<const double>) { return 0.0; });  // settings checked alike in every process
  if (pool.join_ranks(inputs, "the search")) return interrupted_status();
  cfg.threads = pool.workers();  // threads from `local` on wait for remote evaluations

  // Fit statistics of this loop's evaluations, per worker in call order.
  std::vector<std::vector<Scored>> scored(static_cast<std::size_t>(cfg.threads));

  auto objective = [&](int worker, std::span<const double> x) -> double {
    const PointScore r = pool.score(worker, x);
    scored[static_cast<std::size_t>(worker)].push_back(Scored{r.fit, r.failed, r.validation});
    return r.f;
  };

  std::unique_ptr<SceSearch> search = make_search(objective);
  search->stop_requested = [] { return SearchInterrupt::received() != 0; };

  // A resumed search scores the periods it began with.
  const std::string key = settings_key(p, opt.objective) + periods_key(opt.periods);
  Checkpoint cp;
  cp.key = key;
  cp.inputs = inputs;
  if (opt.resume) {
    cp = read_checkpoint(key, inputs);
    truncate_file("min-ris.txt", cp.log_bytes);
    truncate_file(kEvaluationsFile, cp.csv_bytes);
    try {
      search->restore_state(cp.state);
    } catch (const SceStateError& e) {
      throw InputError(std::string("file '") + kCheckpointFile + "': record " +
                       std::to_string(cp.state_record + e.line() - 1) + ": " + e.what());
    } catch (const std::invalid_argument& e) {
      throw InputError(std::string("file '") + kCheckpointFile + "': " + e.what());
    }
    for (const std::string& l : cp.report) report.line(l);
  } else {
    std::string header = "evaluation,loop,complex";
    for (int j = 1; j <= n; ++j) header += ",X" + std::to_string(j);
    header += ",objective,NSE,logNSE,KGE,KGE2012,r,alpha,beta,PBIAS,RMSE";
    if (!opt.validation_observed.empty()) {
      header += ",val_NSE,val_logNSE,val_KGE,val_KGE2012,val_r,val_alpha,val_beta,val_PBIAS,val_RMSE";
    }
    // On disk at once: the loops append their rows to it as they end.
    replace_file_atomically(kEvaluationsFile, header + "\n");
    const std::vector<std::string> head = {
        "",
        "",
        "  OBJECTIVE: " + std::string(objective_name(opt.objective)),
        "",
        "   LOOP   TRIALS    BEST OBJECTIVE   WORST OBJECTIVE   GEOM. RANGE    CHANGE %",
        "  -----  -------  ----------------  ----------------  ------------  ----------"};
    for (const std::string& l : head) {
      report.line(l);
      cp.report.push_back(l);
    }
  }

  // Rows of the current loop, appended to the CSV once the loop is done.
  std::string csv_rows;
  search->on_evaluation = [&](const SceEvaluation& ev) {
    const Scored& r = scored.at(static_cast<std::size_t>(ev.worker)).at(static_cast<std::size_t>(ev.call));
    append_evaluation("min-ris.txt", ev.x.data(), n, static_cast<float>(ev.f));
    std::string row = std::to_string(ev.number) + "," + std::to_string(ev.loop) + "," + std::to_string(ev.complex);
    for (double v : ev.x) row += "," + shortest(v);
    row += "," + shortest(ev.f);
    auto columns = [&](const FitStatistics& f) {
      for (double v : {f.nse, f.log_nse, f.kge, f.kge2012, f.r, f.alpha, f.beta, f.pbias, f.rmse}) {
        row += ",";
        if (!r.failed) row += shortest(v);
      }
    };
    columns(r.fit);
    if (!opt.validation_observed.empty()) columns(r.validation);
    csv_rows += row + "\n";
  };

  const bool progress = opt.progress || isatty(STDERR_FILENO) != 0;
  const auto t0 = std::chrono::steady_clock::now();
  auto loop_start = t0;
  long loop_evals0 = search->evals();
  double thread_seconds = 0.0;  // time of the loops so far times the threads each kept busy
  long timed_evals = 0;
  search->on_loop = [&](const SceLoopInfo& info) {
    for (std::vector<Scored>& w : scored) w.clear();
    append_whole(kEvaluationsFile, csv_rows);  // whole rows or none
    csv_rows.clear();
    std::string l;
    put_int(l, info.loop, 7);
    put_int(l, info.evals, 9);
    l += "  " + sci(info.best_f) + "  " + sci(info.worst_f) + "  ";
    char b[40];
    std::snprintf(b, sizeof b, "%12.4e", info.range);
    l += b;
    if (std::isnan(info.change)) {
      l += "           -";
    } else {
      std::snprintf(b, sizeof b, "  %10.4f", info.change * 100.0);
      l += b;
    }
    report.line(l);
    cp.report.push_back(l);
    if (progress) {
      // The mean time of an evaluation on one thread, spread over the
      // threads the next loop keeps busy: the initial population runs on
      // every thread, a loop only on as many as it has complexes, and the
      // complexes dwindle.
      const auto now = std::chrono::steady_clock::now();
      const double elapsed = std::chrono::duration<double>(now - t0).count();
      const long done = info.evals - loop_evals0;
      const long busy = std::min<long>(cfg.threads, info.loop == 0 ? done : info.complexes);
      thread_seconds += std::chrono::duration<double>(now - loop_start).count() * static_cast<double>(busy);
      timed_evals += done;
      const long next = std::min<long>(cfg.threads, search->complexes());
      const double left = timed_evals > 0 && next > 0
                              ? thread_seconds / static_cast<double>(timed_evals) / static_cast<double>(next) *
                                    static_cast<double>(std::max(0L, cfg.max_evals - info.evals))
                              : 0.0;
      std::fprintf(stderr, "tarvex: loop %d, %ld evaluations, best %.6g, %.1f s elapsed, about %.0f s left\n",
                   info.loop, info.evals, info.best_f, elapsed, left);
      loop_start = now;
      loop_evals0 = info.evals;
    }
  };
  search->on_checkpoint = [&](const SceSearch& sce) {
    cp.log_bytes = file_size_or_zero("min-ris.txt");
    cp.csv_bytes = file_size_or_zero(kEvaluationsFile);
    cp.state = sce.save_state();
    replace_file_atomically(kCheckpointFile, checkpoint_text(cp));
  };

  const SceResult res = search->run();
  pool.release();

  // The best vector once more, on the main model, for its series and fit.
  RunScore best;
  try {
    set_parameters(s.params, res.best_x.data(), n);
    s.results.want_et = true;  // for outlet.csv's water balance
    best = evaluate_run(s);
  } catch (const InputError& e) {
    throw InputError(std::string("file 'scein.dat': no point of the search could be simulated: ") + e.what());
  }
  std::vector<double> sim, obs;
  const FitStatistics fit = run_fit(s, best, sim, obs);
  if (!std::isfinite(res.best_f)) {
    throw InputError("file 'scein.dat': every point of the search failed or scored no number; no best run");
  }

  if (best_x) *best_x = res.best_x;

  SeriesWriter outlet("outlet.out");
  for (int32_t IOUT = 1; IOUT <= best.NOUT; ++IOUT) {
    for (int32_t k_s = 1; k_s <= s.catchment.N_SECTIONS; ++k_s) outlet.value(IOUT, simulated_value(s.results, best, IOUT, k_s));
  }
  outlet.close();

  report.line("");
  report.line("");
  const int status = res.interrupted ? interrupted_status() : 0;
  const std::string stopped =
      status != 0 ? std::string("interrupted by ") + signal_name(status - 128) : sce_stop_text(res.stop, cfg);
  report.line("  SEARCH STOPPED: " + stopped);
  report.line("  TRIALS: " + std::to_string(res.evals) + "   SHUFFLING LOOPS: " + std::to_string(res.loops));
  report.line("");
  report.line("  BEST PARAMETERS");
  for (int j = 0; j < n; ++j) {
    std::string l = "     X" + std::to_string(j + 1);
    put_blanks(l, j + 1 < 10 ? 6 : 5);
    l += shortest(res.best_x[static_cast<std::size_t>(j)]);
    report.line(l);
  }
  report.line("  BEST OBJECTIVE (" + std::string(objective_name(opt.objective)) + ") = " + shortest(res.best_f));
  report.line("");
  const std::vector<std::string> table = fit_table(fit);
  for (const std::string& l : table) report.line(l);

  print_line("  Search stopped: " + stopped + " after " + std::to_string(res.evals) +
             " evaluations; best objective (" + std::string(objective_name(opt.objective)) +
             ") = " + shortest(res.best_f));
  for (const std::string& l : table) print_line(l);
  if (status != 0) {
    std::fprintf(stderr,
                 "tarvex: search interrupted by %s after loop %d; 'sceout.dat' and 'outlet.out' hold the best point "
                 "so far, and tarvex --search --resume continues the search\n",
                 signal_name(status - 128), res.loops);
  }
  return status;
}

}  // namespace tarvex

#include "calibration/sensitivity.hpp"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <string>
#include <thread>

#include "calibration/analysis_checkpoint.hpp"
#include "calibration/evaluator_pool.hpp"
#include "calibration/parameter_vector.hpp"
#include "calibration/morris.hpp"
#include "calibration/period_scoring.hpp"
#include "calibration/search_interrupt.hpp"
#include "calibration/sobol_indices.hpp"
#include "calibration/sobol_sequence.hpp"
#include "io/append_file.hpp"
#include "io/input_error.hpp"
#include "io/record_reader.hpp"
#include "io/search_files.hpp"
#include "io/unread_values.hpp"

namespace tarvex {
namespace {

using Method = SearchOptions::Sensitivity;

const char* const kModelNames[] = {"A_CHANNEL", "WD_HILL", "KS_CLASS(1)", "KS_CLASS(2)", "KS_CLASS(3)",
                                   "K_SUB",     "TAU_SUB", "F_SUB_CAP",   "IA_RATIO"};

std::string name_of(int j) { return j < 9 ? kModelNames[j] : "X" + std::to_string(j + 1); }

int64_t samples_of(const SearchOptions& opt) {
  if (opt.samples > 0) return opt.samples;
  return opt.sensitivity == Method::morris ? kMorrisTrajectories : kSobolRows;
}

constexpr const char* kTag = "tarvex-sensitivity-checkpoint 1";

std::string settings_key(const SceSettings& p, const SearchOptions& opt) {
  std::string k = std::string(opt.sensitivity == Method::morris ? "morris" : "sobol") + " samples " +
                  std::to_string(samples_of(opt)) + " seed " + std::to_string(opt.seed) + " objective " +
                  std::string(objective_name(opt.objective)) + " parameters " + std::to_string(p.NPAR);
  for (int32_t j = 1; j <= p.NPAR; ++j) k += ' ' + shortest(p.PARLO(j)) + ' ' + shortest(p.PARHI(j));
  // A resumed analysis scores the records it began with.
  return k + periods_key(opt.periods);
}

struct Saved {
  int64_t evaluations = 0;
  std::uintmax_t csv_bytes = 0;
};

[[noreturn]] void refuse_checkpoint(int record, const std::string& what) {
  refuse_analysis_checkpoint(kSensitivityCheckpointFile, record, what);
}

Saved read_checkpoint(const std::string& key, const std::vector<InputDigest>& inputs) {
  const AnalysisCheckpoint a = read_analysis_checkpoint(kSensitivityCheckpointFile, kTag, key, inputs);
  return Saved{a.evaluations, a.csv_bytes};
}

// The objectives of the first `rows` evaluations of the CSV (field `column`).
std::vector<double> read_objectives(int64_t rows, int column) {
  RecordReader rd(kSensitivityEvaluationsFile);
  std::vector<double> f;
  rd.skip(1, "the header");
  for (int64_t m = 0; m < rows; ++m) {
    if (rd.at_end()) {
      rd.fail("ends after " + std::to_string(m) + " evaluations; the checkpoint counts " + std::to_string(rows));
    }
    const std::string l(rd.peek());
    const int record = rd.record() + 1;
    rd.skip(1);
    // Field `column` (from 0) of the row.
    std::size_t at = 0;
    for (int c = 0; c < column && at != std::string::npos; ++c) {
      at = l.find(',', at);
      if (at != std::string::npos) ++at;
    }
    const std::size_t end = at == std::string::npos ? at : l.find(',', at);
    double v = 0.0;
    const char* e = end == std::string::npos ? l.data() + l.size() : l.data() + end;
    const bool read = at != std::string::npos && [&] {
      const auto r = std::from_chars(l.data() + at, e, v);
      return r.ec == std::errc() && r.ptr == e;
    }();
    if (!read) {
      throw InputError(std::string("file '") + kSensitivityEvaluationsFile + "': record " + std::to_string(record) +
                       ": expected the objective of evaluation " + std::to_string(m + 1) + " in field " +
                       std::to_string(column + 1));
    }
    f.push_back(v);
  }
  return f;
}

std::string value_or_empty(double v) { return std::isfinite(v) ? shortest(v) : std::string(); }

}  // namespace

void check_sensitivity_settings(const SceSettings& p, const SearchOptions& opt) {
  check_sampled_bounds(p, "sensitivity");
  const int64_t n = samples_of(opt);
  if (opt.sensitivity == Method::morris && n < 2) {
    throw InputError("--samples " + std::to_string(n) +
                     ": Morris screening needs at least 2 trajectories (sigma is a spread of effects); "
                     "no evaluation is run");
  }
  if (opt.sensitivity == Method::sobol) {
    if (n < 8) {
      throw InputError("--samples " + std::to_string(n) +
                       ": Sobol' indices need at least 8 base samples (their bootstrap intervals resample "
                       "them); no evaluation is run");
    }
    if (2 * p.NPAR > SobolSequence::kMaxDimensions) {
      throw InputError("file 'scein.dat': " + std::to_string(p.NPAR) + " parameters: Sobol' indices take at most " +
                       std::to_string(SobolSequence::kMaxDimensions / 2) + "; no evaluation is run");
    }
    const int64_t runs = n * (2 * p.NPAR + 2);
    if (n > (int64_t{1} << 31) || runs > (int64_t{1} << 31)) {
      throw InputError("--samples " + std::to_string(n) + ": " + std::to_string(runs) +
                       " runs are more than this analysis counts; no evaluation is run");
    }
  }
  if (opt.sensitivity == Method::morris && n * (p.NPAR + 1) > (int64_t{1} << 31)) {
    throw InputError("--samples " + std::to_string(n) + ": too many runs; no evaluation is run");
  }
}

int run_sensitivity(ModelState& s, const SceSettings& p, TextWriter& report, const SearchOptions& opt,
                    const std::vector<InputDigest>& inputs) {
  check_sensitivity_settings(p, opt);
  const SearchInterrupt interrupt;
  const int n = p.NPAR;
  const auto k = static_cast<std::size_t>(n);
  const bool morris = opt.sensitivity == Method::morris;
  const int64_t samples = samples_of(opt);

  // The unit points, a row (trajectory or sample row) after another.
  std::vector<std::vector<double>> unit;
  MorrisDesign design;
  std::size_t row_size = 0;
  if (morris) {
    design = morris_design(n, static_cast<int>(samples), kMorrisLevels, opt.seed);
    unit = design.points;
    row_size = k + 1;
  } else {
    const SobolSequence seq(2 * n, opt.seed);
    std::vector<double> ab(2 * k);
    for (int64_t j = 0; j < samples; ++j) {
      seq.point(static_cast<uint64_t>(j), ab);
      for (std::vector<double>& x : saltelli_row(ab, n)) unit.push_back(std::move(x));
    }
    row_size = 2 * k + 2;
  }
  std::vector<double> lo(k), hi(k);
  for (std::size_t j = 0; j < k; ++j) {
    lo[j] = p.PARLO(static_cast<int32_t>(j + 1));
    hi[j] = p.PARHI(static_cast<int32_t>(j + 1));
  }
  std::vector<std::vector<double>> points;
  points.reserve(unit.size());
  for (const std::vector<double>& u : unit) {
    std::vector<double> x(k);
    for (std::size_t j = 0; j < k; ++j) x[j] = u[j] >= 1.0 ? hi[j] : lo[j] + u[j] * (hi[j] - lo[j]);
    points.push_back(std::move(x));
  }
  const auto total = static_cast<int64_t>(points.size());

  const int threads = opt.jobs > 0 ? opt.jobs : static_cast<int>(std::thread::hardware_concurrency());
  const int local = static_cast<int>(std::clamp<int64_t>(threads, 1, total));
  EvaluatorPool pool(s, n, opt.objective, local);
  if (pool.join_ranks(inputs, "the sensitivity analysis")) {
    const int sig = SearchInterrupt::received();
    return sig != 0 ? 128 + sig : 0;
  }

  const std::string key = settings_key(p, opt);
  std::vector<double> f;
  if (opt.resume) {
    const Saved saved = read_checkpoint(key, inputs);
    if (saved.evaluations > total) {
      refuse_checkpoint(1, "counts more evaluations than the analysis has");
    }
    truncate_file(kSensitivityEvaluationsFile, saved.csv_bytes);
    f = read_objectives(saved.evaluations, 3 + n);
  } else {
    std::string header = "evaluation,loop,complex";
    for (int j = 1; j <= n; ++j) header += ",X" + std::to_string(j);
    header += ",objective,NSE,logNSE,KGE,KGE2012,r,alpha,beta,PBIAS,RMSE";
    replace_file_atomically(kSensitivityEvaluationsFile, header + "\n");
  }

  auto save = [&] {
    std::string t = std::string(kTag) + "\nsettings " + key + "\ninputs " + std::to_string(inputs.size()) + "\n";
    for (const InputDigest& d : inputs) t += "input " + d.digest + " " + d.path + "\n";
    t += "evaluations " + std::to_string(f.size()) + "\n";
    t += "csv-bytes " + std::to_string(file_size_or_zero(kSensitivityEvaluationsFile)) + "\n";
    replace_file_atomically(kSensitivityCheckpointFile, t);
  };
  if (!opt.resume) save();

  // Whole rows per batch, enough points to keep every worker busy.
  const std::size_t rows_per_batch =
      std::max<std::size_t>(1, (static_cast<std::size_t>(pool.workers()) * 8 + row_size - 1) / row_size);
  const bool progress = opt.progress || isatty(STDERR_FILENO) != 0;
  const auto t0 = std::chrono::steady_clock::now();
  const auto resumed_at = static_cast<int64_t>(f.size());
  int status = 0;
  while (static_cast<int64_t>(f.size()) < total) {
    if (const int sig = SearchInterrupt::received(); sig != 0) {
      status = 128 + sig;
      break;
    }
    const std::size_t from = f.size();
    const std::size_t to = std::min(points.size(), (from / row_size + rows_per_batch) * row_size);
    const std::vector<std::vector<double>> batch(points.begin() + static_cast<std::ptrdiff_t>(from),
                                                 points.begin() + static_cast<std::ptrdiff_t>(to));
    const std::vector<PointScore> scores = pool.score_all(batch);
    std::string rows;
    for (std::size_t m = 0; m < scores.size(); ++m) {
      const std::size_t at = from + m;
      const PointScore& r = scores[m];
      std::string row = std::to_string(at + 1) + "," + std::to_string(at / row_size + 1) + "," +
                        std::to_string(at % row_size);
      for (double v : points[at]) row += "," + shortest(v);
      row += "," + shortest(r.f);
      const FitStatistics& fit = r.fit;
      for (double v : {fit.nse, fit.log_nse, fit.kge, fit.kge2012, fit.r, fit.alpha, fit.beta, fit.pbias, fit.rmse}) {
        row += ",";
        if (!r.failed) row += shortest(v);
      }
      rows += row + "\n";
      f.push_back(r.f);
    }
    append_whole(kSensitivityEvaluationsFile, rows);
    save();
    if (progress) {
      const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      const auto done = static_cast<double>(static_cast<int64_t>(f.size()) - resumed_at);
      const double left = elapsed / done * static_cast<double>(total - static_cast<int64_t>(f.size()));
      std::fprintf(stderr, "tarvex: sensitivity, %zu of %lld evaluations, %.1f s elapsed, about %.0f s left\n",
                   f.size(), static_cast<long long>(total), elapsed, left);
    }
  }
  pool.release();
  if (status != 0) {
    std::fprintf(stderr,
                 "tarvex: sensitivity analysis interrupted by %s after %zu of %lld evaluations; tarvex "
                 "--sensitivity with --resume continues it\n",
                 signal_name(status - 128), f.size(), static_cast<long long>(total));
    return status;
  }

  const auto failed = std::count_if(f.begin(), f.end(), [](double v) { return !std::isfinite(v); });
  if (failed > 0) {
    warn(std::to_string(failed) + " of " + std::to_string(total) +
         " evaluations failed or scored no number; the " +
         (morris ? "elementary effects that need them are" : "sample rows that hold them are") + " left out");
  }

  std::vector<std::string> table;
  std::string csv;
  std::vector<double> key_of(k);  // what the ranking orders by
  std::vector<std::string> csv_rows(k);
  char b[200];
  if (morris) {
    const MorrisIndices m = morris_indices(design, f);
    csv = "parameter,name,lower,upper,mu_star,mu,sigma,effects,rank\n";
    table.push_back("  MORRIS SCREENING: " + std::to_string(samples) + " TRAJECTORIES, " +
                    std::to_string(kMorrisLevels) + " LEVELS, OBJECTIVE " + std::string(objective_name(opt.objective)));
    table.push_back("     PARAMETER           MU*              MU           SIGMA   RANK");
    for (std::size_t j = 0; j < k; ++j) {
      key_of[j] = m.mu_star[j];
      csv_rows[j] = shortest(m.mu_star[j]) + "," + shortest(m.mu[j]) + "," + shortest(m.sigma[j]) + "," +
                    std::to_string(m.effects[j]);
      std::snprintf(b, sizeof b, "     %-12s %14.6g  %14.6g  %14.6g", name_of(static_cast<int>(j)).c_str(),
                    m.mu_star[j], m.mu[j], m.sigma[j]);
      table.push_back(b);
    }
  } else {
    SobolIndices si;
    try {
      si = sobol_indices(f, n, kBootstrapResamples, opt.seed ^ 0x5bd1e995u);
    } catch (const std::invalid_argument&) {
      throw InputError("file 'scein.dat': fewer than two sample rows of the Sobol' analysis could be simulated "
                       "throughout; no indices");
    }
    csv = "parameter,name,lower,upper,S1,S1_low,S1_high,ST,ST_low,ST_high,rank\n";
    table.push_back("  SOBOL' INDICES: " + std::to_string(samples) + " BASE SAMPLES (" + std::to_string(si.rows) +
                    " USED), " + std::to_string(total) + " RUNS, OBJECTIVE " +
                    std::string(objective_name(opt.objective)));
    table.push_back("     PARAMETER        FIRST ORDER  (95 % INTERVAL)       TOTAL  (95 % INTERVAL)    RANK");
    for (std::size_t j = 0; j < k; ++j) {
      key_of[j] = si.total[j];
      csv_rows[j] = shortest(si.first[j]) + "," + value_or_empty(si.first_low[j]) + "," +
                    value_or_empty(si.first_high[j]) + "," + shortest(si.total[j]) + "," +
                    value_or_empty(si.total_low[j]) + "," + value_or_empty(si.total_high[j]);
      std::snprintf(b, sizeof b, "     %-12s %10.4f (%7.4f %7.4f) %10.4f (%7.4f %7.4f)",
                    name_of(static_cast<int>(j)).c_str(), si.first[j], si.first_low[j], si.first_high[j],
                    si.total[j], si.total_low[j], si.total_high[j]);
      table.push_back(b);
    }
  }
  // Rank 1 for the largest mu* or total index; parameters without one last.
  std::vector<std::size_t> order(k);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t c) {
    const double x = std::isfinite(key_of[a]) ? key_of[a] : -std::numeric_limits<double>::infinity();
    const double y = std::isfinite(key_of[c]) ? key_of[c] : -std::numeric_limits<double>::infinity();
    return x > y;
  });
  std::vector<int> rank(k);
  for (std::size_t r = 0; r < k; ++r) rank[order[r]] = static_cast<int>(r + 1);
  for (std::size_t j = 0; j < k; ++j) {
    csv += "X" + std::to_string(j + 1) + "," + name_of(static_cast<int>(j)) + "," + shortest(lo[j]) + "," +
           shortest(hi[j]) + "," + csv_rows[j] + "," + std::to_string(rank[j]) + "\n";
    std::snprintf(b, sizeof b, "  %5d", rank[j]);
    table[j + 2] += b;
  }
  TextWriter out(kSensitivityFile);
  out.raw(csv);
  out.close();

  report.line("");
  report.line("");
  // The records behind every objective above, as the search reports them.
  if (opt.periods.any()) table.push_back("  SCORED: CALIBRATION PERIOD " + describe_periods(opt.periods));
  for (const std::string& l : table) {
    report.line(l);
    print_line(l);
  }
  return 0;
}

}  // namespace tarvex

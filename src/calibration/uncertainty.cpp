#include "calibration/uncertainty.hpp"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include "calibration/analysis_random.hpp"
#include "calibration/dream.hpp"
#include "calibration/evaluate.hpp"
#include "calibration/analysis_checkpoint.hpp"
#include "calibration/evaluator_pool.hpp"
#include "calibration/parameter_vector.hpp"
#include "calibration/glue.hpp"
#include "calibration/period_scoring.hpp"
#include "calibration/search_interrupt.hpp"
#include "io/append_file.hpp"
#include "io/input_error.hpp"
#include "io/record_reader.hpp"
#include "io/search_files.hpp"
#include "io/unread_values.hpp"

namespace tarvex {
namespace {

using Method = SearchOptions::Uncertainty;

const char* const kModelNames[] = {"A_CHANNEL", "WD_HILL", "KS_CLASS(1)", "KS_CLASS(2)", "KS_CLASS(3)",
                                   "K_SUB",     "TAU_SUB", "F_SUB_CAP",   "IA_RATIO"};
std::string name_of(std::size_t j) { return j < 9 ? kModelNames[j] : "X" + std::to_string(j + 1); }

constexpr const char* kTag = "tarvex-uncertainty-checkpoint 1";
constexpr std::size_t kBandMemory = std::size_t{256} << 20;  // bytes of simulated values held for the bands
constexpr std::size_t kMaxBandRuns = 1000;                   // posterior points behind DREAM's bands
const double kProbs[] = {0.025, 0.05, 0.5, 0.95, 0.975};
constexpr std::size_t kLow = 0, kHigh = 4;                   // the 95 % band among kProbs

int64_t samples_of(const SearchOptions& opt) {
  if (opt.samples > 0) return opt.samples;
  return opt.uncertainty == Method::glue ? kGlueSamples : kDreamBudget;
}

std::string method_name(const SearchOptions& opt) { return opt.uncertainty == Method::glue ? "glue" : "dream"; }

std::string settings_key(const SceSettings& p, const SearchOptions& opt) {
  std::string k = method_name(opt) + " samples " + std::to_string(samples_of(opt)) + " seed " +
                  std::to_string(opt.seed) + " objective " + std::string(objective_name(opt.objective)) +
                  " parameters " + std::to_string(p.NPAR);
  for (int32_t j = 1; j <= p.NPAR; ++j) k += ' ' + shortest(p.PARLO(j)) + ' ' + shortest(p.PARHI(j));
  // A resumed analysis scores the records it began with.
  return k + periods_key(opt.periods);
}

struct Interrupted {
  int signal;
};

[[noreturn]] void refuse_checkpoint(int record, const std::string& what) {
  refuse_analysis_checkpoint(kUncertaintyCheckpointFile, record, what);
}

// What an evaluation left for the methods: its objective and its RMSE (NaN
// for a failed run), as written in the evaluations file.
struct Scored {
  double f = 0.0;
  double rmse = 0.0;
};

struct Saved {
  int64_t evaluations = 0;
  std::uintmax_t csv_bytes = 0;
};

Saved read_checkpoint(const std::string& key, const std::vector<InputDigest>& inputs, const std::string& free) {
  const AnalysisCheckpoint a = read_analysis_checkpoint(kUncertaintyCheckpointFile, kTag, key, inputs, free);
  return Saved{a.evaluations, a.csv_bytes};
}

// Field `column` (from 0) of a row; NaN when empty; nullopt when unreadable.
std::optional<double> field_of(const std::string& l, int column) {
  std::size_t at = 0;
  for (int c = 0; c < column && at != std::string::npos; ++c) {
    at = l.find(',', at);
    if (at != std::string::npos) ++at;
  }
  if (at == std::string::npos) return std::nullopt;
  const std::size_t end = l.find(',', at);
  const char* e = end == std::string::npos ? l.data() + l.size() : l.data() + end;
  if (e == l.data() + at) return std::numeric_limits<double>::quiet_NaN();
  double v = 0.0;
  const auto r = std::from_chars(l.data() + at, e, v);
  if (r.ec != std::errc() || r.ptr != e) return std::nullopt;
  return v;
}

std::vector<Scored> read_rows(int64_t rows, int n) {
  RecordReader rd(kUncertaintyEvaluationsFile);
  std::vector<Scored> out;
  rd.skip(1, "the header");
  for (int64_t m = 0; m < rows; ++m) {
    if (rd.at_end()) {
      rd.fail("ends after " + std::to_string(m) + " evaluations; the checkpoint counts " + std::to_string(rows));
    }
    const std::string l(rd.peek());
    const int record = rd.record() + 1;
    rd.skip(1);
    const std::optional<double> f = field_of(l, 3 + n), rmse = field_of(l, 3 + n + 9);
    if (!f || !rmse) {
      throw InputError(std::string("file '") + kUncertaintyEvaluationsFile + "': record " + std::to_string(record) +
                       ": expected the objective and RMSE of evaluation " + std::to_string(m + 1));
    }
    out.push_back({*f, *rmse});
  }
  return out;
}

// Scores points through the pool, or, while replaying a resumed analysis,
// from the rows already written; appends the new rows and saves the
// checkpoint after every batch.
class Scorer {
 public:
  // budget_grows: the runs only bound the analysis (DREAM), so a resume may
  // give more of them and the chains go on.
  Scorer(EvaluatorPool& pool, int n, std::string key, const std::vector<InputDigest>& inputs, int64_t total,
         bool progress, bool budget_grows)
      : pool_(pool), n_(n), key_(std::move(key)), inputs_(inputs), total_(total), progress_(progress),
        budget_grows_(budget_grows), t0_(std::chrono::steady_clock::now()) {}

  void start(bool resume) {
    if (resume) {
      const Saved saved = read_checkpoint(key_, inputs_, budget_grows_ ? "samples" : "");
      if (saved.evaluations > total_) {
        refuse_checkpoint(1, "counts " + std::to_string(saved.evaluations) + " evaluations, more than the " +
                                 std::to_string(total_) + " the analysis has" +
                                 (budget_grows_ ? "; give --samples " + std::to_string(saved.evaluations) +
                                                      " or more to go on"
                                                : std::string()));
      }
      truncate_file(kUncertaintyEvaluationsFile, saved.csv_bytes);
      done_ = read_rows(saved.evaluations, n_);
      resumed_at_ = static_cast<int64_t>(done_.size());
    } else {
      std::string header = "evaluation,loop,complex";
      for (int j = 1; j <= n_; ++j) header += ",X" + std::to_string(j);
      header += ",objective,NSE,logNSE,KGE,KGE2012,r,alpha,beta,PBIAS,RMSE";
      replace_file_atomically(kUncertaintyEvaluationsFile, header + "\n");
      save();
    }
  }

  // loop[k], chain[k]: the "loop" and "complex" fields of point k.
  std::vector<Scored> score(const std::vector<std::vector<double>>& points, const std::vector<int64_t>& loop,
                            const std::vector<int>& chain) {
    std::vector<Scored> out;
    std::size_t k = 0;
    for (; k < points.size() && used_ < done_.size(); ++k) out.push_back(done_[used_++]);
    if (k == points.size()) return out;
    if (const int sig = SearchInterrupt::received(); sig != 0) throw Interrupted{sig};
    const std::vector<std::vector<double>> fresh(points.begin() + static_cast<std::ptrdiff_t>(k), points.end());
    const std::vector<PointScore> scores = pool_.score_all(fresh);
    std::string rows;
    for (std::size_t m = 0; m < scores.size(); ++m, ++k) {
      const PointScore& r = scores[m];
      std::string row = std::to_string(done_.size() + 1) + "," + std::to_string(loop[k]) + "," +
                        std::to_string(chain[k]);
      for (double v : points[k]) row += "," + shortest(v);
      row += "," + shortest(r.f);
      const FitStatistics& fit = r.fit;
      for (double v : {fit.nse, fit.log_nse, fit.kge, fit.kge2012, fit.r, fit.alpha, fit.beta, fit.pbias, fit.rmse}) {
        row += ",";
        if (!r.failed) row += shortest(v);
      }
      rows += row + "\n";
      // The methods see the values as written, so that a replay sees the same.
      const std::optional<double> rmse = r.failed ? std::numeric_limits<double>::quiet_NaN() : field_of(row, 3 + n_ + 9);
      const Scored s{r.f, *rmse};
      done_.push_back(s);
      used_ = done_.size();
      out.push_back(s);
    }
    append_whole(kUncertaintyEvaluationsFile, rows);
    save();
    if (progress_) {
      const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0_).count();
      const auto count = static_cast<double>(static_cast<int64_t>(done_.size()) - resumed_at_);
      const double left = elapsed / count * static_cast<double>(std::max<int64_t>(0, total_ - static_cast<int64_t>(done_.size())));
      std::fprintf(stderr, "tarvex: uncertainty, %zu of at most %lld evaluations, %.1f s elapsed, about %.0f s left\n",
                   done_.size(), static_cast<long long>(total_), elapsed, left);
    }
    return out;
  }

  std::size_t evaluations() const { return done_.size(); }
  // Logged runs a resumed analysis has not replayed (yet).
  std::size_t unreplayed() const { return done_.size() - used_; }

 private:
  void save() {
    std::string t = std::string(kTag) + "\nsettings " + key_ + "\ninputs " + std::to_string(inputs_.size()) + "\n";
    for (const InputDigest& d : inputs_) t += "input " + d.digest + " " + d.path + "\n";
    t += "evaluations " + std::to_string(done_.size()) + "\n";
    t += "csv-bytes " + std::to_string(file_size_or_zero(kUncertaintyEvaluationsFile)) + "\n";
    replace_file_atomically(kUncertaintyCheckpointFile, t);
  }

  EvaluatorPool& pool_;
  int n_;
  std::string key_;
  const std::vector<InputDigest>& inputs_;
  int64_t total_;
  bool progress_;
  bool budget_grows_;
  std::chrono::steady_clock::time_point t0_;
  std::vector<Scored> done_;
  std::size_t used_ = 0;
  int64_t resumed_at_ = 0;
};

// Weighted quantiles (kProbs) of the simulated discharge per compared value,
// and with `noise` the same of the simulated value plus a normal error of
// standard deviation the run's RMSE.
struct Bands {
  std::vector<double> observed;
  std::vector<std::vector<double>> q;        // [prob][value]
  std::vector<std::vector<double>> q_noise;  // with the error term
};

double noise_draw(uint64_t seed, std::size_t point, std::size_t value) {
  AnalysisRandom g(seed ^ (0x9e3779b97f4a7c15ULL * (point + 1)) ^ (0xc2b2ae3d27d4eb4fULL * (value + 1)));
  const double u1 = 1.0 - unit_of(g.next());
  return standard_normal(u1, unit_of(g.next()));
}

Bands compute_bands(EvaluatorPool& pool, const std::vector<std::vector<double>>& points,
                    const std::vector<double>& weights, bool noise, uint64_t seed) {
  Bands b;
  const std::size_t np = points.size();
  // A chain that rejects a proposal repeats its state: each distinct point
  // is run once.
  std::map<std::vector<double>, std::size_t> index;
  std::vector<std::vector<double>> unique;
  std::vector<std::vector<std::size_t>> users;
  for (std::size_t i = 0; i < np; ++i) {
    const auto [at, added] = index.emplace(points[i], unique.size());
    if (added) {
      unique.push_back(points[i]);
      users.emplace_back();
    }
    users[at->second].push_back(i);
  }
  const std::size_t per_block = std::max<std::size_t>(1, kBandMemory / (sizeof(double) * np * (noise ? 2 : 1)));
  const std::size_t batch = static_cast<std::size_t>(pool.local()) * 4;
  std::size_t values = std::numeric_limits<std::size_t>::max();  // known after the first batch
  std::vector<double> sigma(np, 0.0);
  std::vector<std::size_t> order;
  for (std::size_t from = 0; from < values; from += per_block) {
    std::vector<std::vector<double>> block, block_noise;  // [value - from][point]
    for (std::size_t p0 = 0; p0 < unique.size(); p0 += batch) {
      if (const int sig = SearchInterrupt::received(); sig != 0) throw Interrupted{sig};
      const std::size_t p1 = std::min(unique.size(), p0 + batch);
      const std::vector<std::vector<double>> part(unique.begin() + static_cast<std::ptrdiff_t>(p0),
                                                  unique.begin() + static_cast<std::ptrdiff_t>(p1));
      std::vector<std::vector<double>> series;
      const std::vector<PointScore> sc = pool.series_all(part, series, b.observed.empty() ? &b.observed : nullptr);
      for (std::size_t u = 0; u < part.size(); ++u) {
        if (sc[u].failed) {
          throw InputError("a run that was scored before fails when simulated again for the bands; no bands");
        }
        if (values == std::numeric_limits<std::size_t>::max()) values = series[u].size();
        const std::size_t to = std::min(values, from + per_block);
        block.resize(to - from, std::vector<double>(np));
        if (noise) block_noise.resize(to - from, std::vector<double>(np));
        for (std::size_t i : users[p0 + u]) {
          if (from == 0) sigma[i] = sc[u].fit.rmse;
          for (std::size_t v = from; v < to; ++v) {
            block[v - from][i] = series[u][v];
            if (noise) block_noise[v - from][i] = series[u][v] + sigma[i] * noise_draw(seed, i, v);
          }
        }
      }
    }
    if (b.q.empty()) {
      b.q.assign(std::size(kProbs), std::vector<double>(values));
      if (noise) b.q_noise.assign(std::size(kProbs), std::vector<double>(values));
    }
    for (std::size_t v = 0; v < block.size(); ++v) {
      for (std::size_t k = 0; k < std::size(kProbs); ++k) {
        b.q[k][from + v] = weighted_quantile(block[v], weights, kProbs[k], order);
        if (noise) b.q_noise[k][from + v] = weighted_quantile(block_noise[v], weights, kProbs[k], order);
      }
    }
  }
  return b;
}

// The observed values the runs compare (record by record, sections in order).
std::vector<double> compared_observations(const ModelState& s) {
  const int32_t records = compared_records(s.params.step_plan);
  std::vector<double> obs;
  for (int32_t IOUT = 1; IOUT <= records; ++IOUT) {
    for (int32_t k_s = 1; k_s <= s.catchment.N_SECTIONS; ++k_s) {
      obs.push_back(IOUT <= s.forcing.Q_OBS.rows() ? s.forcing.Q_OBS(IOUT, k_s) : 0.0f);
    }
  }
  return obs;
}

std::string csv_value(double v) { return std::isfinite(v) ? shortest(v) : std::string(); }

// The records the runs compare, with periods: the period of each compared
// value (record by record, sections in order), and the observed values as
// read, which the scoring left out of every objective outside the
// calibration period.
struct BandPeriods {
  const ScorePeriods* given = nullptr;  // null without periods
  const PeriodScoring* scoring = nullptr;
  std::vector<RecordPeriod> of_value;
};

void restore_observed(Bands& b, BandPeriods& bp, int sections) {
  if (!bp.given) return;
  const auto per = static_cast<std::size_t>(std::max(sections, 1));
  const PeriodScoring& ps = *bp.scoring;
  bp.of_value.assign(b.observed.size(), RecordPeriod::none);
  for (std::size_t v = 0; v < b.observed.size(); ++v) {
    if (v / per < ps.periods.size()) bp.of_value[v] = ps.periods[v / per];
    if (v < ps.read.size()) b.observed[v] = ps.read[v];
  }
}

void write_bands(const Bands& b, int sections, bool noise, const BandPeriods& bp) {
  std::string t = noise ? "record,section,observed,q2.5,q5,q50,q95,q97.5,q2.5_error,q5_error,q50_error,q95_error,"
                          "q97.5_error"
                        : "record,section,observed,q2.5,q5,q50,q95,q97.5";
  t += bp.given ? ",period\n" : "\n";
  const auto per = static_cast<std::size_t>(std::max(sections, 1));
  for (std::size_t v = 0; v < b.observed.size(); ++v) {
    t += std::to_string(v / per + 1) + "," + std::to_string(v % per + 1) + "," +
         (observed_missing(b.observed[v]) ? std::string() : shortest(static_cast<float>(b.observed[v])));
    // The simulated values are the model's 4-byte reals.
    for (const auto& q : b.q) t += "," + (std::isfinite(q[v]) ? shortest(static_cast<float>(q[v])) : std::string());
    if (noise) {
      for (const auto& q : b.q_noise) t += "," + csv_value(q[v]);
    }
    if (bp.given) t += std::string(",") + period_name(bp.of_value[v]);
    t += "\n";
  }
  TextWriter out(kBandsFile);
  out.raw(t);
  out.close();
}

// A line in "sceout.dat" and on standard output.
struct Lines {
  TextWriter& report;
  std::string summary;
  void operator()(const std::string& l) {
    report.line(l);
    print_line(l);
    summary += l + "\n";
  }
};

std::string band_line(const char* what, const BandFit& f) {
  char b[200];
  std::snprintf(b, sizeof b, "  %s: P-FACTOR %.4f (%ld OBSERVED VALUES), R-FACTOR %.4f", what, f.p_factor, f.observed,
                f.r_factor);
  return b;
}

// The band line over every observed value, then with periods a line for the
// calibration records and one for the validation records.
void band_lines(const char* what, const std::vector<double>& observed, const std::vector<double>& low,
                const std::vector<double>& high, const BandPeriods& bp, Lines& lines) {
  lines(band_line(what, band_fit(observed, low, high)));
  if (!bp.given) return;
  for (const RecordPeriod period : {RecordPeriod::calibration, RecordPeriod::validation}) {
    const std::optional<DatePeriod>& dates =
        period == RecordPeriod::calibration ? bp.given->calibration : bp.given->validation;
    if (period == RecordPeriod::validation && !dates) continue;
    std::vector<double> in(observed.size(), std::numeric_limits<double>::quiet_NaN());
    for (std::size_t v = 0; v < in.size(); ++v) {
      if (bp.of_value[v] == period) in[v] = observed[v];
    }
    const std::string name = std::string(period == RecordPeriod::calibration ? "  CALIBRATION" : "  VALIDATION") +
                             (dates ? " PERIOD " + dates->text : std::string(" RECORDS"));
    const BandFit fit = band_fit(in, low, high);
    lines(fit.observed > 0 ? band_line(name.c_str(), fit) : "  " + name + ": NO OBSERVED VALUE");
  }
}

// With rhat and ess (DREAM): each parameter's R-hat and effective sample
// size on the posterior's generations.
void write_parameters(const std::vector<std::vector<double>>& q, const std::vector<double>& lo,
                      const std::vector<double>& hi, const std::vector<double>* rhat, const std::vector<double>* ess,
                      Lines& lines) {
  std::string csv = "parameter,name,lower,upper,q2.5,q50,q97.5,rhat,ess\n";
  lines("     PARAMETER           2.5 %            50 %          97.5 %" +
        std::string(rhat ? "    R-HAT" : "") + std::string(ess ? "       ESS" : ""));
  char b[200];
  for (std::size_t j = 0; j < lo.size(); ++j) {
    csv += "X" + std::to_string(j + 1) + "," + name_of(j) + "," + shortest(lo[j]) + "," + shortest(hi[j]) + "," +
           shortest(q[j][0]) + "," + shortest(q[j][1]) + "," + shortest(q[j][2]) + "," +
           (rhat ? csv_value((*rhat)[j]) : std::string()) + "," +
           (ess ? csv_value(std::round((*ess)[j])) : std::string()) + "\n";
    std::snprintf(b, sizeof b, "     %-12s %14.6g  %14.6g  %14.6g", name_of(j).c_str(), q[j][0], q[j][1], q[j][2]);
    std::string l = b;
    if (rhat) {
      std::snprintf(b, sizeof b, "  %7.4f", (*rhat)[j]);
      l += b;
    }
    if (ess) {
      std::snprintf(b, sizeof b, "  %8.0f", (*ess)[j]);
      l += b;
    }
    lines(l);
  }
  TextWriter out(kUncertaintyFile);
  out.raw(csv);
  out.close();
}

std::vector<std::vector<double>> parameter_quantiles(const std::vector<std::vector<double>>& pts,
                                                     const std::vector<double>& w, std::size_t k) {
  std::vector<std::vector<double>> q(k);
  std::vector<double> col(pts.size());
  std::vector<std::size_t> order;
  for (std::size_t j = 0; j < k; ++j) {
    for (std::size_t i = 0; i < pts.size(); ++i) col[i] = pts[i][j];
    for (double p : {0.025, 0.5, 0.975}) q[j].push_back(weighted_quantile(col, w, p, order));
  }
  return q;
}

int run_glue(EvaluatorPool& pool, Scorer& scorer, const SearchOptions& opt, const std::vector<double>& lo,
             const std::vector<double>& hi, const std::vector<double>& obs, int sections, BandPeriods& bp,
             Lines& lines, std::vector<double>& best_x) {
  const std::size_t k = lo.size();
  const int64_t n = samples_of(opt);
  std::vector<std::vector<double>> points = latin_hypercube(n, static_cast<int>(k), opt.seed);
  for (std::vector<double>& x : points) {
    for (std::size_t j = 0; j < k; ++j) x[j] = lo[j] + x[j] * (hi[j] - lo[j]);
  }
  const std::size_t batch = static_cast<std::size_t>(pool.workers()) * 8;
  std::vector<double> f;
  for (std::size_t from = 0; from < points.size(); from += batch) {
    const std::size_t to = std::min(points.size(), from + batch);
    const std::vector<std::vector<double>> part(points.begin() + static_cast<std::ptrdiff_t>(from),
                                                points.begin() + static_cast<std::ptrdiff_t>(to));
    std::vector<int64_t> loop;
    for (std::size_t i = from; i < to; ++i) loop.push_back(static_cast<int64_t>(i + 1));
    for (const Scored& s : scorer.score(part, loop, std::vector<int>(part.size(), 0))) f.push_back(s.f);
  }
  pool.release();
  const Behavioural limit = behavioural_limit(opt.objective, opt.behavioural, obs);
  const std::vector<double> w = glue_weights(f, limit.limit);
  // The best sample, the first of equals: the set the control file replays.
  std::size_t at_best = f.size();
  for (std::size_t i = 0; i < f.size(); ++i) {
    if (std::isfinite(f[i]) && (at_best == f.size() || f[i] < f[at_best])) at_best = i;
  }
  if (at_best < f.size()) best_x = points[at_best];
  std::vector<std::vector<double>> kept;
  std::vector<double> kept_w;
  long behavioural = 0;
  double best = std::numeric_limits<double>::infinity();
  for (std::size_t i = 0; i < f.size(); ++i) {
    if (std::isfinite(f[i])) best = std::min(best, f[i]);
    if (std::isfinite(f[i]) && f[i] <= limit.limit) ++behavioural;
    if (w[i] > 0.0) {
      kept.push_back(points[i]);
      kept_w.push_back(w[i]);
    }
  }
  const std::string objective(objective_name(opt.objective));
  const bool efficiency = opt.objective == Objective::nse || opt.objective == Objective::lognse ||
                          opt.objective == Objective::kge || opt.objective == Objective::kge2012;
  const std::string rule = efficiency ? objective + " >= " + shortest(limit.shown)
                                      : (opt.objective == Objective::pbias ? "|pbias|" : objective) + " <= " +
                                            shortest(limit.shown);
  lines("  GLUE: " + std::to_string(n) + " LATIN HYPERCUBE SAMPLES, BEHAVIOURAL " + rule + ": " +
        std::to_string(behavioural) + " POINTS");
  if (kept.empty()) {
    const std::string shown_best = !std::isfinite(best) ? std::string("no run succeeded")
                                   : efficiency         ? "the best " + objective + " is " + shortest(1.0 - best)
                                                        : "the best value is " + shortest(best);
    std::fprintf(stderr,
                 "tarvex: no behavioural point among the %lld samples (%s; %s): no bands; lower the threshold "
                 "with --behavioural or widen the bounds of 'scein.dat'\n",
                 static_cast<long long>(n), rule.c_str(), shown_best.c_str());
    return 1;
  }
  Bands b = compute_bands(pool, kept, kept_w, false, opt.seed);
  restore_observed(b, bp, sections);
  write_bands(b, sections, false, bp);
  band_lines("95 % BAND (2.5 TO 97.5 %)", b.observed, b.q[kLow], b.q[kHigh], bp, lines);
  write_parameters(parameter_quantiles(kept, kept_w, k), lo, hi, nullptr, nullptr, lines);
  return 0;
}

std::string rhat_text(const std::vector<double>& rh) {
  std::string t;
  char b[40];
  for (double v : rh) {
    std::snprintf(b, sizeof b, " %.3f", v);
    t += b;
  }
  return t;
}

int run_dream(EvaluatorPool& pool, Scorer& scorer, const SearchOptions& opt, const std::vector<double>& lo,
              const std::vector<double>& hi, const std::vector<double>& obs, int sections, BandPeriods& bp,
              Lines& lines, std::vector<double>& best_x) {
  const std::size_t k = lo.size();
  long n_obs = 0;
  for (double o : obs) n_obs += observed_missing(o) ? 0 : 1;
  DreamSettings set;
  set.budget = samples_of(opt);
  set.seed = opt.seed;
  set.min_ess = opt.min_ess;
  int64_t generation = 0;
  // sigma integrated out: L ~ SSE^(-n/2) ~ RMSE^(-n).
  const LogDensityBatch density = [&](const std::vector<std::vector<double>>& pts) {
    std::vector<int64_t> loop(pts.size(), generation++);
    std::vector<int> chain;
    for (std::size_t c = 0; c < pts.size(); ++c) chain.push_back(static_cast<int>(c + 1));
    std::vector<double> lp;
    for (const Scored& s : scorer.score(pts, loop, chain)) {
      lp.push_back(std::isfinite(s.rmse) && s.rmse > 0.0 ? -static_cast<double>(n_obs) * std::log(s.rmse)
                                                         : -std::numeric_limits<double>::infinity());
    }
    return lp;
  };
  lines("  DREAM(ZS): 3 CHAINS, BUDGET " + std::to_string(set.budget) +
        " EVALUATIONS, GAUSSIAN LIKELIHOOD (ERROR SIGMA INTEGRATED OUT)");
  if (set.min_ess > 0.0) {
    lines("  STOP AT EVERY R-HAT BELOW 1.2 AND EVERY EFFECTIVE SAMPLE SIZE AT LEAST " +
          std::to_string(std::llround(set.min_ess)));
  }
  const DreamProgress progress = [&](int64_t gen, int64_t evals, const std::vector<double>& rh) {
    lines("  GENERATION " + std::to_string(gen) + ", " + std::to_string(evals) + " EVALUATIONS, R-HAT" +
          rhat_text(rh));
    std::fflush(stdout);  // a log file follows the chains too
  };
  const DreamResult r = dream_zs(lo, hi, set, density, progress);
  pool.release();
  // A resume whose chains stop before the runs it logged (a smaller
  // --min-ess than it began with) would leave them in the log, unused.
  if (scorer.unreplayed() > 0) {
    throw InputError("file '" + std::string(kUncertaintyCheckpointFile) + "': the chains now stop after " +
                     std::to_string(r.evaluations) + " evaluations, before the " +
                     std::to_string(scorer.evaluations()) +
                     " the analysis logged (a smaller --min-ess than it ran with?); resume it with its own "
                     "--min-ess, or start again without --resume");
  }
  lines("  " + std::string(r.converged ? "CONVERGED" : "BUDGET SPENT") + " AFTER " +
        std::to_string(r.states.size() - 1) + " GENERATIONS, " + std::to_string(r.evaluations) +
        " EVALUATIONS, ACCEPTANCE " + shortest(std::round(r.acceptance * 1e4) / 1e4) + ", FINAL R-HAT" +
        rhat_text(r.rhat));

  // The state of highest likelihood, the first of equals in generation and
  // chain order: the set the control file replays.
  double top = -std::numeric_limits<double>::infinity();
  for (std::size_t g = 0; g < r.states.size(); ++g) {
    for (std::size_t c = 0; c < r.states[g].size(); ++c) {
      if (r.logp[g][c] > top) {
        top = r.logp[g][c];
        best_x = r.states[g][c];
      }
    }
  }

  // The posterior: the second half of the generations.
  std::vector<std::vector<double>> post;
  std::string csv = "generation,chain";
  for (std::size_t j = 1; j <= k; ++j) csv += ",X" + std::to_string(j);
  csv += ",log_likelihood\n";
  for (std::size_t g = r.states.size() / 2; g < r.states.size(); ++g) {
    for (std::size_t c = 0; c < r.states[g].size(); ++c) {
      post.push_back(r.states[g][c]);
      csv += std::to_string(g) + "," + std::to_string(c + 1);
      for (double v : r.states[g][c]) csv += "," + shortest(v);
      csv += "," + csv_value(r.logp[g][c]) + "\n";
    }
  }
  TextWriter out(kPosteriorFile);
  out.raw(csv);
  out.close();
  const std::size_t step = (post.size() + kMaxBandRuns - 1) / kMaxBandRuns;
  std::vector<std::vector<double>> thin;
  for (std::size_t i = 0; i < post.size(); i += step) thin.push_back(post[i]);
  Bands b = compute_bands(pool, thin, std::vector<double>(thin.size(), 1.0), true, opt.seed);
  restore_observed(b, bp, sections);
  write_bands(b, sections, true, bp);
  band_lines("95 % BAND OF THE MODEL", b.observed, b.q[kLow], b.q[kHigh], bp, lines);
  band_lines("95 % BAND WITH THE ERROR", b.observed, b.q_noise[kLow], b.q_noise[kHigh], bp, lines);
  write_parameters(parameter_quantiles(post, std::vector<double>(post.size(), 1.0), k), lo, hi, &r.rhat, &r.ess,
                   lines);
  // R-hat says the chains agree, not that they sampled enough: the
  // quantiles of a small effective sample are rough.
  const double fewest = *std::min_element(r.ess.begin(), r.ess.end());
  if (fewest < kDreamFewSamples) {
    lines("  FEWEST EFFECTIVE SAMPLES " + std::to_string(std::llround(fewest)) + " (BELOW " +
          std::to_string(kDreamFewSamples) + "): THE 95 % INTERVALS ARE ROUGH AND LIKELY TOO NARROW; GIVE A LARGER "
          "--samples, AND --min-ess TO SAMPLE ON PAST R-HAT 1.2");
  }
  return 0;
}

}  // namespace

void check_uncertainty_settings(const SceSettings& p, const SearchOptions& opt) {
  check_sampled_bounds(p, "uncertainty");
  const int64_t n = samples_of(opt);
  if (opt.uncertainty == Method::glue && n < 2) {
    throw InputError("--samples " + std::to_string(n) +
                     ": GLUE needs at least 2 samples to weigh; no evaluation is run");
  }
  if (opt.uncertainty == Method::dream && n < kDreamMinBudget) {
    throw InputError("--samples " + std::to_string(n) + ": DREAM needs a budget of at least " +
                     std::to_string(kDreamMinBudget) + " evaluations (3 chains, R-hat over 20 generations); "
                     "no evaluation is run");
  }
  if (n > (int64_t{1} << 31)) {
    throw InputError("--samples " + std::to_string(n) + ": more runs than this analysis counts; no evaluation is run");
  }
  if (opt.behavioural) {
    const double v = *opt.behavioural;
    const Objective o = opt.objective;
    const bool efficiency = o == Objective::nse || o == Objective::lognse || o == Objective::kge ||
                            o == Objective::kge2012;
    if (efficiency ? v > 1.0 : v < 0.0) {
      throw InputError("--behavioural " + shortest(v) + ": no run can reach it (" + std::string(objective_name(o)) +
                       (efficiency ? " is at most 1" : " is never negative") + "); no evaluation is run");
    }
  }
}

int run_uncertainty(ModelState& s, const SceSettings& p, TextWriter& report, const SearchOptions& opt,
                    const std::vector<InputDigest>& inputs, std::vector<double>* best_x,
                    const PeriodScoring* periods) {
  check_uncertainty_settings(p, opt);
  const SearchInterrupt interrupt;
  const int n = p.NPAR;
  const auto k = static_cast<std::size_t>(n);
  std::vector<double> lo(k), hi(k);
  for (std::size_t j = 0; j < k; ++j) {
    lo[j] = p.PARLO(static_cast<int32_t>(j + 1));
    hi[j] = p.PARHI(static_cast<int32_t>(j + 1));
  }
  const std::vector<double> obs = compared_observations(s);
  const int sections = s.catchment.N_SECTIONS;
  const int64_t total = samples_of(opt);  // GLUE runs all of them, DREAM at most

  const int threads = opt.jobs > 0 ? opt.jobs : static_cast<int>(std::thread::hardware_concurrency());
  const int local = static_cast<int>(std::clamp<int64_t>(threads, 1, total));
  EvaluatorPool pool(s, n, opt.objective, local);
  if (pool.join_ranks(inputs, "the uncertainty analysis")) {
    const int sig = SearchInterrupt::received();
    return sig != 0 ? 128 + sig : 0;
  }
  Scorer scorer(pool, n, settings_key(p, opt), inputs, total, opt.progress || isatty(STDERR_FILENO) != 0,
                opt.uncertainty == Method::dream);
  scorer.start(opt.resume);
  Lines lines{report, {}};
  report.line("");
  report.line("");
  BandPeriods bp;
  if (periods && opt.periods.any()) {
    bp.given = &opt.periods;
    bp.scoring = periods;
  }
  int status = 0;
  try {
    std::vector<double> best;
    status = opt.uncertainty == Method::glue ? run_glue(pool, scorer, opt, lo, hi, obs, sections, bp, lines, best)
                                             : run_dream(pool, scorer, opt, lo, hi, obs, sections, bp, lines, best);
    if (best_x) *best_x = best;
  } catch (const Interrupted& i) {
    pool.release();
    std::fprintf(stderr,
                 "tarvex: uncertainty analysis interrupted by %s after %zu evaluations; tarvex --uncertainty "
                 "with --resume continues it\n",
                 signal_name(i.signal), scorer.evaluations());
    return 128 + i.signal;
  }
  // The records behind the likelihood and the behavioural threshold.
  if (opt.periods.any()) lines("  SCORED: CALIBRATION PERIOD " + describe_periods(opt.periods));
  replace_file_atomically(kUncertaintySummaryFile, lines.summary);
  return status;
}

}  // namespace tarvex

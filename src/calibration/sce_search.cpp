#include "calibration/sce_search.hpp"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <cmath>
#include <exception>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <thread>
#include <utility>

namespace tarvex {

namespace {

uint64_t splitmix64(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// Seed of the stream of complex `complex` in loop `loop` (0, 0: the initial
// population).
uint64_t stream_seed(uint64_t seed, uint64_t loop, uint64_t complex) {
  uint64_t s = seed;
  uint64_t h = splitmix64(s);
  s = h ^ (loop * 0xD1B54A32D192ED03ull);
  h = splitmix64(s);
  s = h ^ (complex * 0xA0761D6478BD642Full);
  return splitmix64(s);
}

// NaN ranks after every number.
double rank_key(double f) { return std::isnan(f) ? std::numeric_limits<double>::infinity() : f; }
bool worse(double a, double b) { return rank_key(a) > rank_key(b); }

void invalid(const std::string& what) { throw std::invalid_argument("SCE search: " + what); }

// Thrown by an evaluation that stop_requested keeps from starting.
struct Interrupted {};

}  // namespace

// xoshiro256** seeded through splitmix64: the same numbers on every platform.
struct SceSearch::Random {
  uint64_t s[4];
  explicit Random(uint64_t seed) {
    for (uint64_t& v : s) v = splitmix64(seed);
  }
  static uint64_t rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  uint64_t next() {
    const uint64_t result = rotl(s[1] * 5, 7) * 9;
    const uint64_t t = s[1] << 17;
    s[2] ^= s[0];
    s[3] ^= s[1];
    s[1] ^= s[2];
    s[0] ^= s[3];
    s[2] ^= t;
    s[3] = rotl(s[3], 45);
    return result;
  }
  // Uniform in [0, 1).
  double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  // Standard normal (Marsaglia's polar method, one value per call).
  double normal() {
    for (;;) {
      const double u = 2.0 * uniform() - 1.0;
      const double v = 2.0 * uniform() - 1.0;
      const double s2 = u * u + v * v;
      if (s2 > 0.0 && s2 < 1.0) return u * std::sqrt(-2.0 * std::log(s2) / s2);
    }
  }
};

std::string sce_stop_text(SceStop stop, const SceConfig& config) {
  switch (stop) {
    case SceStop::none:
      return "search not finished";
    case SceStop::max_evals:
      return "maximum number of trials reached";
    case SceStop::no_progress:
      return "criterion changed by less than PCTCHANGE over kstop loops";
    case SceStop::converged: {
      char buf[32];
      auto r = std::to_chars(buf, buf + sizeof buf, config.range_bound);
      return "population converged (normalised geometric range below " +
             std::string(buf, r.ptr) + ")";
    }
  }
  return "unknown";
}

SceSearch::SceSearch(const SceConfig& config, std::vector<double> lo, std::vector<double> hi,
                     std::vector<double> x0, Objective objective)
    : cfg_(config), lo_(std::move(lo)), hi_(std::move(hi)), x0_(std::move(x0)),
      objective_(std::move(objective)) {
  n_ = static_cast<int>(lo_.size());
  if (n_ < 1) invalid("no parameters");
  if (hi_.size() != lo_.size()) invalid("lower and upper bounds differ in number");
  if (cfg_.ngs < 1) invalid("NGS must be at least 1");
  if (cfg_.npg < 2) invalid("NPG must be at least 2");
  if (cfg_.nps < 2 || cfg_.nps > cfg_.npg) invalid("NPS must lie in 2 .. NPG");
  if (cfg_.nspl < 1) invalid("NSPL must be at least 1");
  if (cfg_.mingcs < 1 || cfg_.mingcs > cfg_.ngs) invalid("MINCPX must lie in 1 .. NGS");
  if (cfg_.max_evals < 1) invalid("MAXTRIALS must be at least 1");
  if (cfg_.kstop < 1) invalid("kstop must be at least 1");
  if (!(cfg_.pct_change >= 0.0)) invalid("PCTCHANGE must not be negative");
  if (!(cfg_.range_bound >= 0.0)) invalid("range bound must not be negative");
  if (cfg_.threads < 1) invalid("threads must be at least 1");
  if (!objective_) invalid("no objective");
  const long npt = static_cast<long>(cfg_.ngs) * cfg_.npg;
  if (npt > 1000000) invalid("population too large");
  free_.assign(n_, 0);
  for (int j = 0; j < n_; ++j) {
    if (!std::isfinite(lo_[j]) || !std::isfinite(hi_[j]) || lo_[j] > hi_[j])
      invalid("bounds of parameter " + std::to_string(j + 1) + " are not finite and ordered");
    free_[j] = lo_[j] < hi_[j];
    n_free_ += free_[j];
  }
  if (cfg_.use_x0) {
    if (x0_.size() != lo_.size()) invalid("initial vector and bounds differ in number");
    for (int j = 0; j < n_; ++j)
      if (!(x0_[j] >= lo_[j] && x0_[j] <= hi_[j]))
        invalid("initial value of parameter " + std::to_string(j + 1) + " outside its bounds");
  }

  x_.resize(npt * n_);
  f_.resize(npt);
  xs_.resize(npt * n_);
  fs_.resize(npt);
  order_.resize(npt);
  std_.resize(n_);
  history_.reserve(64);
  complexes_.resize(cfg_.ngs);
  const int cap = 3 * cfg_.nspl;
  for (Complex& c : complexes_) {
    c.cx.resize(static_cast<std::size_t>(cfg_.npg) * n_);
    c.cf.resize(cfg_.npg);
    c.ce.resize(n_);
    c.snew.resize(n_);
    c.lcs.resize(cfg_.nps);
    c.rec_x.resize(static_cast<std::size_t>(cap) * n_);
    c.rec_f.resize(cap);
  }
}

SceResult SceSearch::run() {
  interrupted_ = false;
  if (!started_) initial_population();
  while (stop_ == SceStop::none) {
    try {
      if (stop_requested && stop_requested()) throw Interrupted{};
      evolve_loop();
    } catch (const Interrupted&) {
      interrupted_ = true;  // the state is still that of the last completed loop
      break;
    }
  }
  return result();
}

SceResult SceSearch::result() const {
  SceResult r;
  if (count_ > 0) {
    r.best_x.assign(x_.begin(), x_.begin() + n_);
    r.best_f = f_[0];
  }
  r.evals = evals_;
  r.loops = loop_;
  r.stop = stop_;
  r.interrupted = interrupted_;
  return r;
}

// Runs work(job, worker) for every job on min(threads, jobs) threads, the
// calling thread being worker 0. Every job runs even when one throws; the
// exception of the lowest-numbered failing job is rethrown, an interruption
// only when no job failed otherwise.
void SceSearch::run_workers(int jobs, const std::function<void(int, int)>& work) {
  const int threads = std::min(cfg_.threads, jobs);
  std::vector<std::exception_ptr> errors(jobs);
  std::atomic<int> next{0};
  auto worker = [&](int w) {
    for (int j = next++; j < jobs; j = next++) {
      try {
        work(j, w);
      } catch (...) {
        errors[j] = std::current_exception();
      }
    }
  };
  if (threads <= 1) {
    worker(0);
  } else {
    std::vector<std::thread> pool;
    pool.reserve(threads - 1);
    for (int w = 1; w < threads; ++w) pool.emplace_back(worker, w);
    worker(0);
    for (std::thread& t : pool) t.join();
  }
  std::exception_ptr interrupted;
  for (const std::exception_ptr& e : errors) {
    if (!e) continue;
    try {
      std::rethrow_exception(e);
    } catch (const Interrupted&) {
      if (!interrupted) interrupted = e;
    }
  }
  if (interrupted) std::rethrow_exception(interrupted);
}

double SceSearch::evaluate(int worker, std::span<const double> x) {
  const double f = objective_(worker, x);
  ++calls_[static_cast<std::size_t>(worker)];
  return f;
}

void SceSearch::initial_population() {
  const int npt = cfg_.ngs * cfg_.npg;
  // Guard: a budget below the population evaluates only its first points.
  const int count = static_cast<int>(std::min<long>(npt, cfg_.max_evals));
  Random rng(stream_seed(cfg_.seed, 0, 0));
  for (int i = 0; i < count; ++i) {
    double* p = &x_[static_cast<std::size_t>(i) * n_];
    for (int j = 0; j < n_; ++j) p[j] = free_[j] ? lo_[j] + rng.uniform() * (hi_[j] - lo_[j]) : lo_[j];
    for (int j = 0; j < n_; ++j) p[j] = std::min(p[j], hi_[j]);
  }
  if (cfg_.use_x0) std::copy(x0_.begin(), x0_.end(), x_.begin());
  calls_.assign(static_cast<std::size_t>(cfg_.threads), 0);
  init_worker_.assign(static_cast<std::size_t>(count), 0);
  init_call_.assign(static_cast<std::size_t>(count), 0);
  run_workers(count, [&](int i, int w) {
    init_worker_[static_cast<std::size_t>(i)] = w;
    init_call_[static_cast<std::size_t>(i)] = calls_[static_cast<std::size_t>(w)];
    f_[i] = evaluate(w, std::span<const double>(&x_[static_cast<std::size_t>(i) * n_], n_));
  });
  started_ = true;
  ngs_ = cfg_.ngs;
  count_ = count;
  loop_ = 0;
  evals_ = count;
  if (on_evaluation)
    for (int i = 0; i < count; ++i)
      on_evaluation(SceEvaluation{i + 1, 0, 0,
                                  std::span<const double>(&x_[static_cast<std::size_t>(i) * n_], n_),
                                  f_[i], init_worker_[static_cast<std::size_t>(i)],
                                  init_call_[static_cast<std::size_t>(i)]});
  rank(count_);
  finish_loop(0, range_of(count_));
}

void SceSearch::evolve_loop() {
  const int ngs = ngs_;
  const int loop = loop_ + 1;
  population_stats();
  calls_.assign(static_cast<std::size_t>(cfg_.threads), 0);
  run_workers(ngs, [&](int k, int w) { evolve_complex(complexes_[k], k, w, loop); });

  // Shuffle: complexes back into their ranks, records in complex order.
  long number = evals_;
  for (int k = 0; k < ngs; ++k) {
    Complex& c = complexes_[k];
    for (int i = 0; i < cfg_.npg; ++i) {
      const std::size_t row = static_cast<std::size_t>(k) + static_cast<std::size_t>(ngs) * i;
      std::copy_n(&c.cx[static_cast<std::size_t>(i) * n_], n_, &x_[row * n_]);
      f_[row] = c.cf[i];
    }
    if (on_evaluation)
      for (int e = 0; e < c.evals; ++e)
        on_evaluation(SceEvaluation{
            ++number, loop, k + 1,
            std::span<const double>(&c.rec_x[static_cast<std::size_t>(e) * n_], n_), c.rec_f[e], c.worker,
            c.first_call + e});
    else
      number += c.evals;
  }
  evals_ = number;
  loop_ = loop;
  rank(count_);
  finish_loop(ngs, range_of(count_));
}

// Criterion history, stop test, reduction of the complexes, callbacks.
void SceSearch::finish_loop(int complexes, double range) {
  history_.push_back(f_[0]);
  const double change = criterion_change();
  stop_ = test_stop(range, change);
  SceLoopInfo info{loop_, evals_, complexes, f_[0], f_[count_ - 1], range, change};
  if (stop_ == SceStop::none && ngs_ > cfg_.mingcs) {
    --ngs_;
    count_ = ngs_ * cfg_.npg;  // the worst points leave
  }
  if (on_loop) on_loop(info);
  if (on_checkpoint) on_checkpoint(*this);
}

// Relative change of the best objective over the last kstop loops: first
// against last of their kstop values (two values when kstop is 1), divided by
// the mean of their magnitudes (kept above zero).
double SceSearch::criterion_change() const {
  const int last = static_cast<int>(history_.size()) - 1;
  const int span = std::max(cfg_.kstop - 1, 1);
  if (last < cfg_.kstop) return std::numeric_limits<double>::quiet_NaN();
  const int first = last - span;
  double mean = 0.0;
  for (int i = first; i <= last; ++i) mean += std::fabs(history_[i]);
  mean /= (span + 1);
  return std::fabs(history_[first] - history_[last]) /
         std::max(mean, std::numeric_limits<double>::min());
}

SceStop SceSearch::test_stop(double range, double change) const {
  if (evals_ >= cfg_.max_evals) return SceStop::max_evals;
  if (change < cfg_.pct_change) return SceStop::no_progress;
  if (range < cfg_.range_bound) return SceStop::converged;
  return SceStop::none;
}

// Ranks the first `count` points by objective; ties keep their order.
void SceSearch::rank(int count) {
  std::iota(order_.begin(), order_.begin() + count, 0);
  std::sort(order_.begin(), order_.begin() + count, [&](int a, int b) {
    const double fa = rank_key(f_[a]), fb = rank_key(f_[b]);
    return fa < fb || (fa == fb && a < b);
  });
  for (int i = 0; i < count; ++i) {
    const int from = order_[i];
    std::copy_n(&x_[static_cast<std::size_t>(from) * n_], n_, &xs_[static_cast<std::size_t>(i) * n_]);
    fs_[i] = f_[from];
  }
  std::copy_n(xs_.begin(), static_cast<std::size_t>(count) * n_, x_.begin());
  std::copy_n(fs_.begin(), count, f_.begin());
}

// Spread (population standard deviation) of each varying parameter.
void SceSearch::population_stats() {
  for (int j = 0; j < n_; ++j) {
    std_[j] = 0.0;
    if (!free_[j]) continue;
    double mean = 0.0;
    for (int i = 0; i < count_; ++i) mean += x_[static_cast<std::size_t>(i) * n_ + j];
    mean /= count_;
    double ss = 0.0;
    for (int i = 0; i < count_; ++i) {
      const double d = x_[static_cast<std::size_t>(i) * n_ + j] - mean;
      ss += d * d;
    }
    std_[j] = std::sqrt(ss / count_);
  }
}

// Geometric mean over the varying parameters of (max - min) / (hi - lo).
double SceSearch::range_of(int count) const {
  if (n_free_ == 0) return 0.0;
  double sum_log = 0.0;
  for (int j = 0; j < n_; ++j) {
    if (!free_[j]) continue;
    double mn = x_[j], mx = x_[j];
    for (int i = 1; i < count; ++i) {
      const double v = x_[static_cast<std::size_t>(i) * n_ + j];
      mn = std::min(mn, v);
      mx = std::max(mx, v);
    }
    sum_log += std::log((mx - mn) / (hi_[j] - lo_[j]));
  }
  return std::exp(sum_log / n_free_);
}

// A random point around `center` (the best point of the sub-complex): each
// varying parameter normal with the spread of the population as it stood at
// the start of the loop, drawn again until inside its bounds. (Centred on the
// best point of the whole population instead, the search finds the global
// minimum of Hartman-6 in about 64 of 100 runs rather than about 91.)
void SceSearch::draw_around_best(Random& rng, double* out, const double* center) const {
  for (int j = 0; j < n_; ++j) {
    if (!free_[j]) {
      out[j] = lo_[j];
      continue;
    }
    double v = center[j];
    if (std_[j] > 0.0) {
      int tries = 0;
      do {
        v = center[j] + std_[j] * rng.normal();
      } while (!(v >= lo_[j] && v <= hi_[j]) && ++tries < 1000);
      if (!(v >= lo_[j] && v <= hi_[j])) v = lo_[j] + rng.uniform() * (hi_[j] - lo_[j]);
    }
    out[j] = v;
  }
}

// NSPL competitive evolution steps of complex k (0-based) in `loop`.
void SceSearch::evolve_complex(Complex& c, int k, int worker, int loop) {
  const int npg = cfg_.npg, nps = cfg_.nps, ngs = ngs_;
  Random rng(stream_seed(cfg_.seed, static_cast<uint64_t>(loop), static_cast<uint64_t>(k) + 1));
  for (int i = 0; i < npg; ++i) {
    const std::size_t row = static_cast<std::size_t>(k) + static_cast<std::size_t>(ngs) * i;
    std::copy_n(&x_[row * n_], n_, &c.cx[static_cast<std::size_t>(i) * n_]);
    c.cf[i] = f_[row];
  }
  c.evals = 0;
  c.worker = worker;
  c.first_call = calls_[static_cast<std::size_t>(worker)];  // the worker's calls for c follow one another
  double* snew = c.snew.data();
  double* ce = c.ce.data();
  auto eval_new = [&]() {
    if (stop_requested && stop_requested()) throw Interrupted{};
    const double f = evaluate(worker, std::span<const double>(snew, n_));
    std::copy_n(snew, n_, &c.rec_x[static_cast<std::size_t>(c.evals) * n_]);
    c.rec_f[c.evals] = f;
    ++c.evals;
    return f;
  };

  for (int step = 0; step < cfg_.nspl; ++step) {
    // Sub-complex: ranks with probability 2 (npg + 1 - i) / (npg (npg + 1)),
    // without replacement.
    if (nps == npg) {
      std::iota(c.lcs.begin(), c.lcs.end(), 0);
    } else {
      const double a = npg + 0.5;
      for (int m = 0; m < nps; ++m) {
        int pos;
        do {
          pos = static_cast<int>(std::floor(a - std::sqrt(a * a - npg * (npg + 1.0) * rng.uniform())));
          pos = std::clamp(pos, 0, npg - 1);
        } while (std::find(c.lcs.begin(), c.lcs.begin() + m, pos) != c.lcs.begin() + m);
        c.lcs[m] = pos;
      }
      std::sort(c.lcs.begin(), c.lcs.end());
    }
    const double* sb = &c.cx[static_cast<std::size_t>(c.lcs[0]) * n_];
    const int worst = c.lcs[nps - 1];
    const double* sw = &c.cx[static_cast<std::size_t>(worst) * n_];
    const double fw = c.cf[worst];

    // Reflection of the worst point through the centroid of the others.
    bool outside = false;
    for (int j = 0; j < n_; ++j) {
      if (!free_[j]) {
        ce[j] = lo_[j];
        snew[j] = lo_[j];
        continue;
      }
      double s = 0.0;
      for (int m = 0; m < nps - 1; ++m) s += c.cx[static_cast<std::size_t>(c.lcs[m]) * n_ + j];
      ce[j] = std::clamp(s / (nps - 1), lo_[j], hi_[j]);
      snew[j] = ce[j] + (ce[j] - sw[j]);
      outside = outside || !(snew[j] >= lo_[j] && snew[j] <= hi_[j]);
    }
    if (outside) draw_around_best(rng, snew, sb);
    double fnew = eval_new();
    if (worse(fnew, fw)) {
      // Contraction: midway between the centroid and the worst point.
      for (int j = 0; j < n_; ++j)
        if (free_[j]) snew[j] = std::clamp(ce[j] - 0.5 * (ce[j] - sw[j]), lo_[j], hi_[j]);
      fnew = eval_new();
      if (worse(fnew, fw)) {
        draw_around_best(rng, snew, sb);
        fnew = eval_new();
      }
    }

    // Replace the worst point and move it to its rank (ties keep order).
    int p = worst;
    std::copy_n(snew, n_, &c.cx[static_cast<std::size_t>(p) * n_]);
    c.cf[p] = fnew;
    auto swap_rows = [&](int a, int b) {
      std::swap_ranges(&c.cx[static_cast<std::size_t>(a) * n_], &c.cx[static_cast<std::size_t>(a) * n_] + n_,
                       &c.cx[static_cast<std::size_t>(b) * n_]);
      std::swap(c.cf[a], c.cf[b]);
    };
    while (p > 0 && rank_key(c.cf[p]) < rank_key(c.cf[p - 1])) {
      swap_rows(p, p - 1);
      --p;
    }
    while (p + 1 < npg && rank_key(c.cf[p + 1]) < rank_key(c.cf[p])) {
      swap_rows(p, p + 1);
      ++p;
    }
  }
}

// ---------------------------------------------------------------------------
// State as text: keywords and values separated by blanks, doubles in the
// shortest form that reads back to the same value.

namespace {

void put(std::string& out, double v) {
  char buf[40];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

// Tokens of a saved state; line() is the line of the last token read.
class Tokens {
 public:
  explicit Tokens(std::string_view text) : text_(text) {}
  std::string_view next(const char* what) {
    skip_space();
    const std::size_t start = pos_;
    while (pos_ < text_.size() && !std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    if (start == pos_) fail(std::string("saved state ends before ") + what);
    return text_.substr(start, pos_ - start);
  }
  void expect(const char* keyword) {
    if (next(keyword) != keyword) fail(std::string("saved state: expected '") + keyword + "'");
  }
  template <class T>
  T number(const char* what) {
    const std::string_view t = next(what);
    T v{};
    auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (r.ec != std::errc() || r.ptr != t.data() + t.size())
      fail(std::string("saved state: ") + what + " is not a number: '" + std::string(t) + "'");
    return v;
  }
  bool at_end() {
    skip_space();
    return pos_ == text_.size();
  }
  std::size_t left() const { return text_.size() - pos_; }
  int line() const { return line_; }
  [[noreturn]] void fail(const std::string& what, int line = 0) const {
    throw SceStateError("SCE search: " + what, line > 0 ? line : line_);
  }

 private:
  void skip_space() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) {
      if (text_[pos_] == '\n') ++line_;
      ++pos_;
    }
  }
  std::string_view text_;
  std::size_t pos_ = 0;
  int line_ = 1;
};

}  // namespace

std::string SceSearch::save_state() const {
  if (!started_) throw std::logic_error("SCE search: no state before the initial population");
  std::string s = "sce-state 1\n";
  s += "parameters " + std::to_string(n_) + "\n";
  s += "seed " + std::to_string(cfg_.seed) + "\n";
  s += "points-per-complex " + std::to_string(cfg_.npg) + "\n";
  s += "complexes " + std::to_string(ngs_) + "\n";
  s += "points " + std::to_string(count_) + "\n";
  s += "loop " + std::to_string(loop_) + "\n";
  s += "evaluations " + std::to_string(evals_) + "\n";
  s += "stop " + std::to_string(static_cast<int>(stop_)) + "\n";
  s += "history";
  for (double h : history_) {
    s += ' ';
    put(s, h);
  }
  s += "\n";
  for (int i = 0; i < count_; ++i) {
    s += "point ";
    put(s, f_[i]);
    for (int j = 0; j < n_; ++j) {
      s += ' ';
      put(s, x_[static_cast<std::size_t>(i) * n_ + j]);
    }
    s += '\n';
  }
  s += "end\n";
  return s;
}

void SceSearch::restore_state(std::string_view text) {
  Tokens t(text);
  t.expect("sce-state");
  if (t.number<int>("version") != 1) t.fail("saved state: unknown version");
  t.expect("parameters");
  if (t.number<int>("parameters") != n_) t.fail("saved state: number of parameters differs");
  t.expect("seed");
  if (t.number<uint64_t>("seed") != cfg_.seed) t.fail("saved state: seed differs");
  t.expect("points-per-complex");
  if (t.number<int>("points per complex") != cfg_.npg) t.fail("saved state: NPG differs");
  t.expect("complexes");
  const int ngs = t.number<int>("complexes");
  const int ngs_line = t.line();
  if (ngs < cfg_.mingcs || ngs > cfg_.ngs) t.fail("saved state: complexes outside MINCPX .. NGS");
  t.expect("points");
  const int count = t.number<int>("points");
  const int count_line = t.line();
  t.expect("loop");
  const int loop = t.number<int>("loop");
  const int loop_line = t.line();
  t.expect("evaluations");
  const long evals = t.number<long>("evaluations");
  const int evals_line = t.line();
  t.expect("stop");
  const int stop = t.number<int>("stop");
  const int stop_line = t.line();
  if (loop < 0) t.fail("saved state: negative loop " + std::to_string(loop), loop_line);
  if (stop < 0 || stop > static_cast<int>(SceStop::converged))
    t.fail("saved state: stop flag " + std::to_string(stop) + " is none of 0 to 3", stop_line);
  // Only an initial population cut short by the budget is smaller.
  const bool cut_short = loop == 0 && count < ngs * cfg_.npg &&
                         stop == static_cast<int>(SceStop::max_evals) && count >= 1;
  if (count != ngs * cfg_.npg && !cut_short) t.fail("saved state: points do not fill the complexes", count_line);
  // One complex leaves after every loop that did not stop, down to MINCPX.
  const long loops_reduced = static_cast<long>(loop) + (stop == static_cast<int>(SceStop::none) ? 1 : 0);
  if (static_cast<long>(ngs) != std::max(static_cast<long>(cfg_.ngs) - loops_reduced, static_cast<long>(cfg_.mingcs)))
    t.fail("saved state: " + std::to_string(ngs) + " complexes after loop " + std::to_string(loop) +
               " of a search that starts with " + std::to_string(cfg_.ngs) + " and keeps at least " +
               std::to_string(cfg_.mingcs),
           ngs_line);
  if (evals < count) t.fail("saved state: fewer evaluations than points", evals_line);
  // Loop 0 evaluates the population (within the budget); every later loop
  // at least one point per step of each complex, at most three, and none
  // once the budget is spent.
  const long double npt = static_cast<long double>(cfg_.ngs) * cfg_.npg;
  const long double first = std::min(npt, static_cast<long double>(cfg_.max_evals));
  const long double least = loop == 0 ? first : npt + static_cast<long double>(loop) * cfg_.mingcs * cfg_.nspl;
  const long double most = loop == 0 ? first
                                     : static_cast<long double>(cfg_.max_evals) - 1 +
                                           static_cast<long double>(cfg_.ngs) * 3 * cfg_.nspl;
  if (static_cast<long double>(evals) < least || static_cast<long double>(evals) > most)
    t.fail("saved state: " + std::to_string(evals) + " evaluations cannot follow " + std::to_string(loop) +
               " loops of this search",
           loop > 0 && static_cast<long double>(evals) >= least ? evals_line : loop_line);
  if (stop == static_cast<int>(SceStop::none) && evals >= cfg_.max_evals)
    t.fail("saved state: stop flag 0 with the budget of evaluations spent", stop_line);
  t.expect("history");
  // One value per loop, each at least two characters.
  if (static_cast<std::size_t>(loop) + 1 > t.left() / 2)
    t.fail("saved state: the history of " + std::to_string(loop) + " loops is missing", loop_line);
  std::vector<double> history(static_cast<std::size_t>(loop) + 1);
  for (double& h : history) h = t.number<double>("history value");
  const int history_line = t.line();
  std::vector<double> x(x_.size()), f(f_.size());
  for (int i = 0; i < count; ++i) {
    t.expect("point");
    f[i] = t.number<double>("objective");
    for (int j = 0; j < n_; ++j) {
      const double v = t.number<double>("parameter");
      if (!(v >= lo_[j] && v <= hi_[j])) t.fail("saved state: point outside the bounds");
      x[static_cast<std::size_t>(i) * n_ + j] = v;
    }
    if (i > 0 && worse(f[i - 1], f[i])) t.fail("saved state: points not ranked");
  }
  t.expect("end");
  if (!t.at_end()) t.fail("saved state: text after 'end'");
  if (rank_key(history.back()) != rank_key(f[0]))
    t.fail("saved state: the last best objective is not the best point's", history_line);

  std::swap(history_, history);
  std::swap(x_, x);
  std::swap(f_, f);
  const long old_evals = std::exchange(evals_, evals);
  const int old_count = std::exchange(count_, count);
  // The flag must be what the stop tests give on this state. When a complex
  // left after the test, the range it saw is not known here.
  {
    const bool reduced = std::max(static_cast<long>(cfg_.ngs) - loop, static_cast<long>(cfg_.mingcs)) != ngs;
    const double range = reduced ? std::numeric_limits<double>::infinity() : range_of(count);
    const SceStop expected = test_stop(range, criterion_change());
    if (static_cast<int>(expected) != stop) {
      std::swap(history_, history);
      std::swap(x_, x);
      std::swap(f_, f);
      evals_ = old_evals;
      count_ = old_count;
      t.fail("saved state: stop flag " + std::to_string(stop) + ", but the stop tests on this state give " +
                 std::to_string(static_cast<int>(expected)),
             stop_line);
    }
  }

  started_ = true;
  ngs_ = ngs;
  loop_ = loop;
  stop_ = static_cast<SceStop>(stop);
}

}  // namespace tarvex

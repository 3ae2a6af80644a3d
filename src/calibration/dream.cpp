#include "calibration/dream.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <numeric>
#include <stdexcept>

#include "calibration/analysis_random.hpp"

namespace tarvex {
namespace {

constexpr double kJitter = 0.05;      // e ~ U(-b, b) scales each jump
constexpr double kNoise = 1e-6;       // eps ~ N(0, b*), in units of the range
constexpr double kSnookerLow = 1.2;   // snooker gamma ~ U(1.2, 2.2)
constexpr double kSnookerHigh = 2.2;

// Folds v back into lo .. hi, as a reflection at each bound.
double reflect(double v, double lo, double hi) {
  const double w = hi - lo;
  if (!(w > 0.0)) return lo;
  if (v >= lo && v <= hi) return v;
  double t = std::fmod(v - lo, 2.0 * w);
  if (t < 0.0) t += 2.0 * w;
  return lo + (t <= w ? t : 2.0 * w - t);
}

struct Proposal {
  std::vector<double> x;
  double log_factor = 0.0;  // the snooker's Jacobian term of the acceptance ratio
};

class Chain {
 public:
  Chain(uint64_t seed) : rng_(seed) {}
  double uniform() { return unit_of(rng_.next()); }
  double normal() { return standard_normal(1.0 - uniform(), uniform()); }
  std::size_t pick(std::size_t n) { return static_cast<std::size_t>(rng_.below(n)); }

 private:
  AnalysisRandom rng_;
};

double distance(const std::vector<double>& a, const std::vector<double>& b) {
  double s = 0.0;
  for (std::size_t j = 0; j < a.size(); ++j) s += (a[j] - b[j]) * (a[j] - b[j]);
  return std::sqrt(s);
}

// Three distinct archive members (the archive holds at least 3).
void three_of(Chain& rng, std::size_t m, std::size_t& a, std::size_t& b, std::size_t& c) {
  a = rng.pick(m);
  do b = rng.pick(m); while (b == a);
  do c = rng.pick(m); while (c == a || c == b);
}

}  // namespace

double standard_normal(double u1, double u2) {
  return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
}

std::vector<std::vector<double>> latin_hypercube(int64_t n, int d, uint64_t seed) {
  AnalysisRandom rng(seed);
  std::vector<std::vector<double>> x(static_cast<std::size_t>(n), std::vector<double>(static_cast<std::size_t>(d)));
  std::vector<int64_t> perm(static_cast<std::size_t>(n));
  for (int j = 0; j < d; ++j) {
    std::iota(perm.begin(), perm.end(), int64_t{0});
    for (std::size_t i = perm.size(); i > 1; --i) std::swap(perm[i - 1], perm[rng.below(i)]);
    for (std::size_t i = 0; i < perm.size(); ++i) {
      x[i][static_cast<std::size_t>(j)] =
          (static_cast<double>(perm[i]) + unit_of(rng.next())) / static_cast<double>(n);
    }
  }
  return x;
}

namespace {

// Whether dimension j holds one value in every state of generations from ..
// to - 1 (a parameter with equal bounds).
bool constant_over(const DreamResult& r, std::size_t from, std::size_t to, std::size_t j) {
  for (std::size_t g = from; g < to; ++g) {
    for (const std::vector<double>& x : r.states[g]) {
      if (x[j] != r.states[from][0][j]) return false;
    }
  }
  return true;
}

}  // namespace

std::vector<double> gelman_rubin(const DreamResult& r, std::size_t from, std::size_t to) {
  const auto d = static_cast<std::size_t>(r.dims);
  const auto m = static_cast<std::size_t>(r.chains);
  const double n = static_cast<double>(to - from);
  std::vector<double> out(d, 1.0);
  for (std::size_t j = 0; j < d; ++j) {
    if (constant_over(r, from, to, j)) continue;  // a mean of equal values may still round off them
    std::vector<double> mean(m, 0.0), var(m, 0.0);
    for (std::size_t c = 0; c < m; ++c) {
      for (std::size_t g = from; g < to; ++g) mean[c] += r.states[g][c][j];
      mean[c] /= n;
      for (std::size_t g = from; g < to; ++g) var[c] += (r.states[g][c][j] - mean[c]) * (r.states[g][c][j] - mean[c]);
      var[c] /= n - 1.0;
    }
    const double w = std::accumulate(var.begin(), var.end(), 0.0) / static_cast<double>(m);
    const double grand = std::accumulate(mean.begin(), mean.end(), 0.0) / static_cast<double>(m);
    double b_n = 0.0;  // B / n: the variance of the chain means
    for (double v : mean) b_n += (v - grand) * (v - grand);
    b_n /= static_cast<double>(m) - 1.0;
    if (w > 0.0) {
      out[j] = std::sqrt(((n - 1.0) / n * w + b_n) / w);
    } else {
      out[j] = b_n > 0.0 ? std::numeric_limits<double>::infinity() : 1.0;
    }
  }
  return out;
}

std::vector<double> effective_sample_size(const DreamResult& r, std::size_t from, std::size_t to) {
  const auto d = static_cast<std::size_t>(r.dims);
  const auto m = static_cast<std::size_t>(r.chains);
  const std::size_t n = to - from;
  const double all = static_cast<double>(m * n);
  std::vector<double> out(d, all);
  if (n < 4 || m == 0) return out;
  for (std::size_t j = 0; j < d; ++j) {
    if (constant_over(r, from, to, j)) continue;
    // Pooled variance var+ = (n - 1)/n W + B/n.
    std::vector<double> mean(m, 0.0);
    double w = 0.0;
    for (std::size_t c = 0; c < m; ++c) {
      for (std::size_t g = from; g < to; ++g) mean[c] += r.states[g][c][j];
      mean[c] /= static_cast<double>(n);
      for (std::size_t g = from; g < to; ++g) w += (r.states[g][c][j] - mean[c]) * (r.states[g][c][j] - mean[c]);
    }
    w /= static_cast<double>(m) * (static_cast<double>(n) - 1.0);
    const double grand = std::accumulate(mean.begin(), mean.end(), 0.0) / static_cast<double>(m);
    double b_n = 0.0;
    for (double v : mean) b_n += (v - grand) * (v - grand);
    b_n = m > 1 ? b_n / (static_cast<double>(m) - 1.0) : 0.0;
    const double var_plus = (static_cast<double>(n) - 1.0) / static_cast<double>(n) * w + b_n;
    if (!(var_plus > 0.0)) continue;
    // rho_t = 1 - V_t / (2 var+), V_t the mean squared difference at lag t.
    auto rho = [&](std::size_t lag) {
      double v = 0.0;
      for (std::size_t c = 0; c < m; ++c) {
        for (std::size_t g = from + lag; g < to; ++g) {
          const double e = r.states[g][c][j] - r.states[g - lag][c][j];
          v += e * e;
        }
      }
      v /= static_cast<double>(m * (n - lag));
      return 1.0 - v / (2.0 * var_plus);
    };
    // rho_1, then the pairs rho_(T+1) + rho_(T+2) for odd T while positive.
    double sum = rho(1);
    for (std::size_t T = 1; T + 2 < n; T += 2) {
      const double pair = rho(T + 1) + rho(T + 2);
      if (!(pair > 0.0)) break;
      sum += pair;
    }
    out[j] = std::min(all, all / (1.0 + 2.0 * sum));
  }
  return out;
}

DreamResult dream_zs(const std::vector<double>& lo, const std::vector<double>& hi, const DreamSettings& set,
                     const LogDensityBatch& log_density, const DreamProgress& progress) {
  const std::size_t d = lo.size();
  const auto m = static_cast<std::size_t>(set.chains);
  if (set.chains < 3) throw std::invalid_argument("DREAM(ZS) needs at least 3 chains");
  if (d == 0 || hi.size() != d) throw std::invalid_argument("DREAM(ZS) needs a box of at least one dimension");
  if (set.budget < 3 * set.chains) throw std::invalid_argument("DREAM(ZS) needs a budget of at least 3 generations");
  std::vector<std::size_t> free;
  for (std::size_t j = 0; j < d; ++j) {
    if (lo[j] < hi[j]) free.push_back(j);
  }
  if (free.empty()) throw std::invalid_argument("DREAM(ZS) needs a dimension whose bounds differ");

  // The archive: Latin hypercube points over the box.
  std::vector<std::vector<double>> z = latin_hypercube(static_cast<int64_t>(std::max<std::size_t>(10 * d, 10)),
                                                       static_cast<int>(d), set.seed ^ 0x2545f4914f6cdd1dULL);
  for (std::vector<double>& x : z) {
    for (std::size_t j = 0; j < d; ++j) x[j] = lo[j] < hi[j] ? lo[j] + x[j] * (hi[j] - lo[j]) : lo[j];
  }
  std::vector<Chain> rng;
  for (std::size_t c = 0; c < m; ++c) rng.emplace_back(set.seed * 0x9e3779b97f4a7c15ULL + 0x632be59bd9b4e019ULL * (c + 1));

  DreamResult r;
  r.dims = static_cast<int>(d);
  r.chains = set.chains;
  std::vector<std::vector<double>> x(z.end() - static_cast<std::ptrdiff_t>(m), z.end());
  std::vector<double> lp = log_density(x);
  r.evaluations = set.chains;
  r.states.push_back(x);
  r.logp.push_back(lp);
  int64_t accepted = 0, proposed = 0;

  // With min_ess, the sample sizes cost a pass over the second halves per
  // lag: they are measured again once the chains have grown by a tenth.
  int64_t ess_due = 0;
  for (int64_t gen = 1; r.evaluations + set.chains <= set.budget; ++gen) {
    std::vector<Proposal> prop(m);
    for (std::size_t c = 0; c < m; ++c) {
      Chain& g = rng[c];
      Proposal& p = prop[c];
      p.x = x[c];
      std::size_t a, b, e;
      three_of(g, z.size(), a, b, e);
      const bool snooker = g.uniform() < set.snooker && distance(x[c], z[a]) > 0.0;
      if (snooker) {
        // Jump along the line through the state and archive member a, by the
        // projected difference of two others.
        const std::vector<double>& za = z[a];
        std::vector<double> u(d);
        double uu = 0.0, du = 0.0;
        for (std::size_t j : free) {
          u[j] = x[c][j] - za[j];
          uu += u[j] * u[j];
          du += (z[b][j] - z[e][j]) * u[j];
        }
        const double gamma = kSnookerLow + (kSnookerHigh - kSnookerLow) * g.uniform();
        for (std::size_t j : free) p.x[j] = reflect(x[c][j] + gamma * du / uu * u[j], lo[j], hi[j]);
        const double before = distance(x[c], za), after = distance(p.x, za);
        p.log_factor = after > 0.0 ? static_cast<double>(free.size() - 1) * std::log(after / before)
                                   : -std::numeric_limits<double>::infinity();
      } else {
        const double cr = static_cast<double>(g.pick(3) + 1) / 3.0;
        std::vector<std::size_t> moved;
        for (std::size_t j : free) {
          if (g.uniform() < cr) moved.push_back(j);
        }
        if (moved.empty()) moved.push_back(free[g.pick(free.size())]);
        const double gamma = set.unit_gamma_every > 0 && gen % set.unit_gamma_every == 0
                                 ? 1.0
                                 : 2.38 / std::sqrt(2.0 * static_cast<double>(moved.size()));
        for (std::size_t j : moved) {
          const double jump = (1.0 + kJitter * (2.0 * g.uniform() - 1.0)) * gamma * (z[a][j] - z[b][j]) +
                              kNoise * (hi[j] - lo[j]) * g.normal();
          p.x[j] = reflect(x[c][j] + jump, lo[j], hi[j]);
        }
      }
    }
    std::vector<std::vector<double>> batch(m);
    for (std::size_t c = 0; c < m; ++c) batch[c] = prop[c].x;
    const std::vector<double> lq = log_density(batch);
    r.evaluations += set.chains;
    for (std::size_t c = 0; c < m; ++c) {
      const double u = rng[c].uniform();
      ++proposed;
      bool take = false;
      if (std::isfinite(lq[c])) {
        take = !std::isfinite(lp[c]) || std::log(u) < lq[c] - lp[c] + prop[c].log_factor;
      }
      if (take) {
        x[c] = prop[c].x;
        lp[c] = lq[c];
        ++accepted;
      }
    }
    r.states.push_back(x);
    r.logp.push_back(lp);
    if (set.archive_every > 0 && gen % set.archive_every == 0) z.insert(z.end(), x.begin(), x.end());
    if (set.check_every > 0 && gen % set.check_every == 0 && gen >= set.min_generations) {
      const std::vector<double> rh = gelman_rubin(r, r.states.size() / 2, r.states.size());
      if (progress) progress(gen, r.evaluations, rh);
      if (std::all_of(rh.begin(), rh.end(), [&](double v) { return v < set.rhat_stop; })) {
        bool enough = !(set.min_ess > 0.0);
        if (!enough && gen >= ess_due) {
          const std::vector<double> e = effective_sample_size(r, r.states.size() / 2, r.states.size());
          enough = std::all_of(e.begin(), e.end(), [&](double v) { return v >= set.min_ess; });
          ess_due = gen + gen / 10;
        }
        if (enough) {
          r.converged = true;
          break;
        }
      }
    }
  }
  r.rhat = r.states.size() >= 4 ? gelman_rubin(r, r.states.size() / 2, r.states.size()) : std::vector<double>(d, 1.0);
  r.ess = effective_sample_size(r, r.states.size() / 2, r.states.size());
  r.acceptance = proposed > 0 ? static_cast<double>(accepted) / static_cast<double>(proposed) : 0.0;
  return r;
}

}  // namespace tarvex

// Accuracy of the sensitivity analyses on functions with known indices:
//  - Ishigami (a = 7, b = 0.1): Sobol' first-order and total indices at
//    N = 8192 against the analytic values, and how often the 95 % bootstrap
//    intervals cover them over 100 seeds (random digital shifts of the
//    sequence, bootstrap seeded alike);
//  - Sobol' G function, a = (0, 1, 4.5, 9, 99, 99, 99, 99): Sobol' indices
//    at N = 8192, and the Morris ranking (r = 20, p = 4) over 100 seeds.
//  - DREAM(ZS) on a 10-dimensional correlated Gaussian (variances 1 .. 10,
//    correlation 0.5 between every pair): posterior means and variances of
//    the second half of the chains, and the first check at which every
//    R-hat is below 1.1; on the mixture 1/3 N(-5, 1) + 2/3 N(5, 1): the
//    weight of each mode.
// --quick: 10 seeds and N = 2048 (DREAM: shorter runs); --dream: DREAM only;
// --budget: the runs each method needs (the share of seeds meeting the goal
// against the sample size, and DREAM's runs to its stopping rule).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <numbers>
#include <span>
#include <vector>

#include "calibration/dream.hpp"
#include "calibration/morris.hpp"
#include "calibration/sobol_indices.hpp"
#include "calibration/sobol_sequence.hpp"

namespace {

using Fn = std::function<double(std::span<const double>)>;
constexpr double kPi = std::numbers::pi;

// Unit coordinates mapped to [-pi, pi].
double ishigami(std::span<const double> u) {
  const double x1 = -kPi + 2 * kPi * u[0], x2 = -kPi + 2 * kPi * u[1], x3 = -kPi + 2 * kPi * u[2];
  return std::sin(x1) + 7.0 * std::sin(x2) * std::sin(x2) + 0.1 * std::pow(x3, 4) * std::sin(x1);
}

const double kGA[8] = {0, 1, 4.5, 9, 99, 99, 99, 99};

double g_function(std::span<const double> u) {
  double f = 1.0;
  for (std::size_t i = 0; i < 8; ++i) f *= (std::fabs(4 * u[i] - 2) + kGA[i]) / (1 + kGA[i]);
  return f;
}

tarvex::SobolIndices sobol_run(const Fn& fn, int k, int64_t n, uint64_t seed, int resamples) {
  const tarvex::SobolSequence seq(2 * k, seed);
  std::vector<double> ab(static_cast<std::size_t>(2 * k)), f;
  for (int64_t j = 0; j < n; ++j) {
    seq.point(static_cast<uint64_t>(j), ab);
    for (const std::vector<double>& x : tarvex::saltelli_row(ab, k)) f.push_back(fn(x));
  }
  return tarvex::sobol_indices(f, k, resamples, seed * 7919 + 1);
}

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The 10-d Gaussian target: variances 1 .. 10, correlation 0.5 between every
// pair (Sigma_ij = 0.5 sqrt(i j) off the diagonal, i on it), its log density
// by a triangular solve with the Cholesky factor; bounds at 10 sd.
constexpr std::size_t kGaussDims = 10;
struct CorrelatedGaussian {
  std::vector<double> chol, lo, hi;
  CorrelatedGaussian() : chol(kGaussDims * kGaussDims, 0.0), lo(kGaussDims), hi(kGaussDims) {
    constexpr std::size_t d = kGaussDims;
    for (std::size_t i = 0; i < d; ++i) {
      for (std::size_t j = 0; j <= i; ++j) {
        double v = i == j ? static_cast<double>(i + 1) : 0.5 * std::sqrt(static_cast<double>((i + 1) * (j + 1)));
        for (std::size_t k = 0; k < j; ++k) v -= chol[i * d + k] * chol[j * d + k];
        chol[i * d + j] = i == j ? std::sqrt(v) : v / chol[j * d + j];
      }
      hi[i] = 10.0 * std::sqrt(static_cast<double>(i + 1));
      lo[i] = -hi[i];
    }
  }
  std::vector<double> operator()(const std::vector<std::vector<double>>& pts) const {
    constexpr std::size_t d = kGaussDims;
    std::vector<double> out;
    for (const std::vector<double>& x : pts) {
      double y[d], q = 0.0;
      for (std::size_t i = 0; i < d; ++i) {
        double v = x[i];
        for (std::size_t k = 0; k < i; ++k) v -= chol[i * d + k] * y[k];
        y[i] = v / chol[i * d + i];
        q += y[i] * y[i];
      }
      out.push_back(-0.5 * q);
    }
    return out;
  }
};

// DREAM(ZS) against densities with known moments.
void dream_benchmarks(bool quick) {
  constexpr std::size_t d = kGaussDims;
  const CorrelatedGaussian gauss;
  const tarvex::LogDensityBatch gaussian = [&](const std::vector<std::vector<double>>& pts) { return gauss(pts); };
  const std::vector<double>& lo = gauss.lo;
  const std::vector<double>& hi = gauss.hi;
  tarvex::DreamSettings set;
  set.budget = quick ? 60000 : 300000;
  set.rhat_stop = 0.0;  // the whole budget; the R-hat checks are reported
  set.check_every = 1000;
  set.min_generations = 1000;
  int64_t below = -1;
  const tarvex::DreamProgress note = [&](int64_t, int64_t evaluations, const std::vector<double>& rh) {
    if (below < 0 && std::all_of(rh.begin(), rh.end(), [](double v) { return v < 1.1; })) below = evaluations;
  };
  auto t0 = std::chrono::steady_clock::now();
  const tarvex::DreamResult r = tarvex::dream_zs(lo, hi, set, gaussian, note);
  const std::size_t from = r.states.size() / 2;
  double worst_mean = 0.0, worst_var = 0.0, worst_rhat = 0.0;
  for (std::size_t i = 0; i < d; ++i) {
    double m = 0.0, ss = 0.0, n = 0.0;
    for (std::size_t g = from; g < r.states.size(); ++g) {
      for (const std::vector<double>& x : r.states[g]) {
        m += x[i];
        n += 1.0;
      }
    }
    m /= n;
    for (std::size_t g = from; g < r.states.size(); ++g) {
      for (const std::vector<double>& x : r.states[g]) ss += (x[i] - m) * (x[i] - m);
    }
    const double var = ss / (n - 1.0), truth = static_cast<double>(i + 1);
    worst_mean = std::max(worst_mean, std::fabs(m) / std::sqrt(truth));
    worst_var = std::max(worst_var, std::fabs(var / truth - 1.0));
    worst_rhat = std::max(worst_rhat, r.rhat[i]);
  }
  std::printf("DREAM(ZS), 10-d correlated Gaussian, 3 chains, %lld evaluations (%.1f s), acceptance %.3f\n",
              static_cast<long long>(r.evaluations), seconds_since(t0), r.acceptance);
  std::printf("  largest |mean| / sd %.3f (goal 0.1), largest |variance / truth - 1| %.3f (goal 0.1),\n"
              "  final R-hat at most %.3f; every R-hat below 1.1 first after %lld evaluations\n",
              worst_mean, worst_var, worst_rhat, static_cast<long long>(below));

  const double w_low = 1.0 / 3.0;
  auto mixture = [&](const std::vector<std::vector<double>>& pts) {
    std::vector<double> out;
    for (const std::vector<double>& x : pts) {
      const double a = w_low * std::exp(-0.5 * (x[0] + 5) * (x[0] + 5));
      const double b = (1 - w_low) * std::exp(-0.5 * (x[0] - 5) * (x[0] - 5));
      out.push_back(std::log(a + b));
    }
    return out;
  };
  const int seeds = quick ? 3 : 10;
  double worst = 0.0;
  t0 = std::chrono::steady_clock::now();
  std::printf("DREAM(ZS), 1/3 N(-5, 1) + 2/3 N(5, 1) on [-20, 20], 3 chains, %lld evaluations per seed:\n",
              static_cast<long long>(quick ? 30000 : 100000));
  for (int seed = 1; seed <= seeds; ++seed) {
    tarvex::DreamSettings m;
    m.budget = quick ? 30000 : 100000;
    m.seed = static_cast<uint64_t>(seed);
    m.rhat_stop = 0.0;
    m.check_every = 1000;
    m.min_generations = 1000;
    const tarvex::DreamResult b = tarvex::dream_zs({-20.0}, {20.0}, m, mixture);
    double left = 0.0, all = 0.0;
    for (std::size_t g = b.states.size() / 2; g < b.states.size(); ++g) {
      for (const std::vector<double>& x : b.states[g]) {
        left += x[0] < 0.0 ? 1.0 : 0.0;
        all += 1.0;
      }
    }
    worst = std::max(worst, std::fabs(left / all - w_low));
    std::printf("  seed %2d: weight of the mode at -5 %.4f (truth 0.3333), R-hat %.3f\n", seed, left / all,
                b.rhat[0]);
  }
  std::printf("  largest error of the weights %.4f over %d seeds (goal 0.05), %.1f s\n", worst, seeds,
              seconds_since(t0));
}

// The Ishigami indices (S1 then ST) from the analytic variance decomposition.
void ishigami_truth(double s1[3], double st[3]) {
  const double a = 7.0, b = 0.1, pi4 = std::pow(kPi, 4), pi8 = std::pow(kPi, 8);
  const double v1 = 0.5 * (1 + b * pi4 / 5) * (1 + b * pi4 / 5), v2 = a * a / 8;
  const double v13 = b * b * pi8 * 8.0 / 225.0;
  const double v = v1 + v2 + v13;
  s1[0] = v1 / v, s1[1] = v2 / v, s1[2] = 0.0;
  st[0] = (v1 + v13) / v, st[1] = v2 / v, st[2] = v13 / v;
}

// Whether Morris's mu* ranks the G function's first four factors in order of
// a and the four inert ones last.
bool morris_ranks_g(int r, uint64_t seed) {
  const tarvex::MorrisDesign d = tarvex::morris_design(8, r, 4, seed);
  std::vector<double> f;
  for (const std::vector<double>& x : d.points) f.push_back(g_function(x));
  const std::vector<double> mu_star = tarvex::morris_indices(d, f).mu_star;
  bool ok = true;
  for (std::size_t i = 0; i < 3; ++i) ok = ok && mu_star[i] > mu_star[i + 1];
  for (std::size_t i = 4; i < 8; ++i) ok = ok && mu_star[3] > mu_star[i];
  return ok;
}

// Runs each method needs for its goal.
void budget_benchmarks() {
  double s1[3], st[3];
  ishigami_truth(s1, st);
  const int seeds = 20;
  std::printf("Ishigami, Sobol' (Saltelli design, N (2k + 2) = 8 N runs): seeds of %d with every index within 0.02\n",
              seeds);
  for (int64_t n = 256; n <= 8192; n *= 2) {
    int within = 0;
    for (int seed = 1; seed <= seeds; ++seed) {
      const tarvex::SobolIndices r = sobol_run(ishigami, 3, n, static_cast<uint64_t>(seed), 2);
      bool close = true;
      for (int i = 0; i < 3; ++i) {
        close = close && std::fabs(r.first[i] - s1[i]) <= 0.02 && std::fabs(r.total[i] - st[i]) <= 0.02;
      }
      within += close;
    }
    std::printf("  N = %5lld (%6lld runs): %2d of %d\n", static_cast<long long>(n), static_cast<long long>(8 * n),
                within, seeds);
  }
  std::printf("G function, Morris (p = 4, r (k + 1) = 9 r runs): seeds of 100 with the first four in order and the "
              "inert four last\n");
  for (int r : {4, 6, 8, 10, 15, 20}) {
    int ranked = 0;
    for (int seed = 1; seed <= 100; ++seed) ranked += morris_ranks_g(r, static_cast<uint64_t>(seed));
    std::printf("  r = %2d (%3d runs): %3d of 100\n", r, 9 * r, ranked);
  }

  // DREAM(ZS) with the analyses' own stopping rule (every R-hat below 1.2 on
  // the second halves, checked every 10 generations) on the 10-d Gaussian.
  constexpr std::size_t d = kGaussDims;
  const CorrelatedGaussian gauss;
  const tarvex::LogDensityBatch gaussian = [&](const std::vector<std::vector<double>>& pts) { return gauss(pts); };
  const std::vector<double>& lo = gauss.lo;
  const std::vector<double>& hi = gauss.hi;
  // Largest errors of the posterior (the second half of the chains) over
  // the dimensions: |mean| / sd and |variance / truth - 1|.
  struct Errors {
    double mean = 0.0;                  // largest |mean| / sd
    double var = 0.0;                   // largest |variance / truth - 1|
    double low = 1e300, high = 0.0;     // smallest and largest variance / truth
    double ess = 1e300;                 // smallest effective sample size
  };
  auto errors = [&](const tarvex::DreamResult& r) {
    Errors e;
    const std::size_t from = r.states.size() / 2;
    for (std::size_t i = 0; i < d; ++i) {
      double m = 0.0, ss = 0.0, n = 0.0;
      for (std::size_t g = from; g < r.states.size(); ++g) {
        for (const std::vector<double>& x : r.states[g]) m += x[i], n += 1.0;
      }
      m /= n;
      for (std::size_t g = from; g < r.states.size(); ++g) {
        for (const std::vector<double>& x : r.states[g]) ss += (x[i] - m) * (x[i] - m);
      }
      const double truth = static_cast<double>(i + 1), ratio = ss / (n - 1.0) / truth;
      e.mean = std::max(e.mean, std::fabs(m) / std::sqrt(truth));
      e.var = std::max(e.var, std::fabs(ratio - 1.0));
      e.low = std::min(e.low, ratio);
      e.high = std::max(e.high, ratio);
      e.ess = std::min(e.ess, r.ess[i]);
    }
    return e;
  };
  // The stop on R-hat alone (the default), then also on the sample sizes.
  for (const double min_ess : {0.0, 200.0}) {
    std::printf(min_ess > 0.0 ? "DREAM(ZS), the same, stopping at every R-hat < 1.2 and every ESS >= 200 "
                                "(--min-ess 200):\n"
                              : "DREAM(ZS), 10-d correlated Gaussian, 3 chains, stopping at every R-hat < 1.2:\n");
    for (int seed = 1; seed <= 10; ++seed) {
      tarvex::DreamSettings set;
      set.budget = 1000000;
      set.seed = static_cast<uint64_t>(seed);
      set.min_ess = min_ess;
      const tarvex::DreamResult r = tarvex::dream_zs(lo, hi, set, gaussian);
      const Errors e = errors(r);
      std::printf("  seed %2d: %s after %6lld runs; largest |mean| / sd %.3f, variance / truth %.2f to %.2f, "
                  "smallest ESS %.0f\n",
                  seed, r.converged ? "stopped" : "budget spent", static_cast<long long>(r.evaluations), e.mean,
                  e.low, e.high, e.ess);
    }
  }
  std::printf("  the same for fixed budgets (no early stop), worst of seeds 1 to 5:\n");
  for (int64_t budget = 6000; budget <= 96000; budget *= 2) {
    double worst_mean = 0.0, worst_var = 0.0;
    for (int seed = 1; seed <= 5; ++seed) {
      tarvex::DreamSettings set;
      set.budget = budget;
      set.seed = static_cast<uint64_t>(seed);
      set.rhat_stop = 0.0;
      const Errors e = errors(tarvex::dream_zs(lo, hi, set, gaussian));
      worst_mean = std::max(worst_mean, e.mean);
      worst_var = std::max(worst_var, e.var);
    }
    std::printf("  %6lld runs: largest |mean| / sd %.3f, |variance / truth - 1| %.3f\n",
                static_cast<long long>(budget), worst_mean, worst_var);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--budget") == 0) {
    budget_benchmarks();
    return 0;
  }
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  if (argc > 1 && std::strcmp(argv[1], "--dream") == 0) {
    dream_benchmarks(false);
    return 0;
  }
  const int seeds = quick ? 10 : 100;
  const int64_t n = quick ? 2048 : 8192;
  const int resamples = 1000;

  double s1[3], st[3];
  ishigami_truth(s1, st);

  auto t0 = std::chrono::steady_clock::now();
  const tarvex::SobolIndices one = sobol_run(ishigami, 3, n, 1, resamples);
  std::printf("Ishigami, Sobol' indices, N = %lld (%lld runs), seed 1, %.2f s\n", static_cast<long long>(n),
              static_cast<long long>(n * 8), seconds_since(t0));
  std::printf("  index   true     estimate  95 %% interval        |error|\n");
  double worst = 0.0;
  for (int i = 0; i < 3; ++i) {
    std::printf("  S1_%d  %7.4f  %7.4f   (%7.4f, %7.4f)   %.4f\n", i + 1, s1[i], one.first[i], one.first_low[i],
                one.first_high[i], std::fabs(one.first[i] - s1[i]));
    std::printf("  ST_%d  %7.4f  %7.4f   (%7.4f, %7.4f)   %.4f\n", i + 1, st[i], one.total[i], one.total_low[i],
                one.total_high[i], std::fabs(one.total[i] - st[i]));
    worst = std::max({worst, std::fabs(one.first[i] - s1[i]), std::fabs(one.total[i] - st[i])});
  }
  std::printf("  largest error %.4f (goal 0.02)\n", worst);

  t0 = std::chrono::steady_clock::now();
  int cover_s1[3] = {}, cover_st[3] = {};
  int within = 0;
  for (int seed = 1; seed <= seeds; ++seed) {
    const tarvex::SobolIndices r = sobol_run(ishigami, 3, n, static_cast<uint64_t>(seed), resamples);
    bool close = true;
    for (int i = 0; i < 3; ++i) {
      cover_s1[i] += r.first_low[i] <= s1[i] && s1[i] <= r.first_high[i];
      cover_st[i] += r.total_low[i] <= st[i] && st[i] <= r.total_high[i];
      close = close && std::fabs(r.first[i] - s1[i]) <= 0.02 && std::fabs(r.total[i] - st[i]) <= 0.02;
    }
    within += close;
  }
  std::printf("Ishigami over %d seeds (%.1f s): every index within 0.02 in %d; intervals covering the truth:\n",
              seeds, seconds_since(t0), within);
  for (int i = 0; i < 3; ++i) std::printf("  S1_%d %d of %d   ST_%d %d of %d\n", i + 1, cover_s1[i], seeds, i + 1,
                                          cover_st[i], seeds);

  // G function.
  double vg[8], prod = 1.0;
  for (int i = 0; i < 8; ++i) {
    vg[i] = 1.0 / (3.0 * (1 + kGA[i]) * (1 + kGA[i]));
    prod *= 1 + vg[i];
  }
  const tarvex::SobolIndices g = sobol_run(g_function, 8, n, 1, resamples);
  std::printf("G function, Sobol' indices, N = %lld (%lld runs), seed 1\n", static_cast<long long>(n),
              static_cast<long long>(n * 18));
  std::printf("  i   a      S1 true  S1 est.   ST true  ST est.\n");
  for (int i = 0; i < 8; ++i) {
    // Total: V_i times the product of (1 + V_j) over the other factors.
    const double total = vg[i] * prod / (1 + vg[i]) / (prod - 1);
    std::printf("  %d  %4.1f   %7.4f  %7.4f   %7.4f  %7.4f\n", i + 1, kGA[i], vg[i] / (prod - 1), g.first[i], total,
                g.total[i]);
  }
  int ranked = 0;
  double mu[8] = {};
  for (int seed = 1; seed <= seeds; ++seed) {
    ranked += morris_ranks_g(20, static_cast<uint64_t>(seed));
    if (seed == 1) {
      const tarvex::MorrisDesign d = tarvex::morris_design(8, 20, 4, 1);
      std::vector<double> f;
      for (const std::vector<double>& x : d.points) f.push_back(g_function(x));
      const std::vector<double> m = tarvex::morris_indices(d, f).mu_star;
      std::copy(m.begin(), m.end(), mu);
    }
  }
  std::printf("G function, Morris r = 20, p = 4 (180 runs): mu* of seed 1:");
  for (double x : mu) std::printf(" %.4f", x);
  std::printf("\n  first four in order of a and the inert four last in %d of %d seeds\n", ranked, seeds);
  dream_benchmarks(quick);
  return 0;
}

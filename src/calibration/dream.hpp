#pragma once
// DREAM(ZS) (ter Braak and Vrugt 2008; Vrugt 2016): a few Markov chains that
// propose from differences of past states kept in an archive Z, with a
// snooker update, a randomised crossover, and the Gelman-Rubin R-hat to
// judge convergence. Double precision; deterministic for a seed, whatever
// evaluates the log densities.
#include <cstdint>
#include <functional>
#include <vector>

namespace tarvex {

// Log densities of a batch of points, in the order of the points (-infinity:
// outside the support, or a failed run).
using LogDensityBatch = std::function<std::vector<double>(const std::vector<std::vector<double>>&)>;

struct DreamSettings {
  int chains = 3;
  int64_t budget = 10000;       // evaluations, the initial states included
  uint64_t seed = 1;
  double snooker = 0.1;         // probability of a snooker update
  int unit_gamma_every = 5;     // every 5th generation the parallel jump takes gamma = 1
  int archive_every = 10;       // generations between additions to Z
  int check_every = 10;         // generations between R-hat checks
  double rhat_stop = 1.2;       // every R-hat below it (on the second halves) ends the run
  int min_generations = 20;     // generations before the first stop is possible
  // With min_ess > 0 the stop also needs every dimension's effective sample
  // size on the second halves to reach it.
  double min_ess = 0.0;
};

struct DreamResult {
  int dims = 0;
  int chains = 0;
  // states[g][c]: the state of chain c after generation g (g = 0: the start),
  // with its log density in logp[g][c].
  std::vector<std::vector<std::vector<double>>> states;
  std::vector<std::vector<double>> logp;
  std::vector<double> rhat;     // at the end, on the second half of the generations
  std::vector<double> ess;      // effective sample size, on the same generations
  int64_t evaluations = 0;
  bool converged = false;
  double acceptance = 0.0;      // share of accepted proposals
};

// Called after every R-hat check: generation, evaluations so far, R-hat.
using DreamProgress = std::function<void(int64_t, int64_t, const std::vector<double>&)>;

// Samples the density within the box lo .. hi (proposals reflected into it;
// a dimension with lo == hi stays fixed). The archive starts with 10 d Latin
// hypercube points (not evaluated); the chains start on its last ones.
// Throws std::invalid_argument for fewer than 3 chains, a budget below two
// generations, or an empty box.
DreamResult dream_zs(const std::vector<double>& lo, const std::vector<double>& hi, const DreamSettings& set,
                     const LogDensityBatch& log_density, const DreamProgress& progress = {});

// Gelman-Rubin R-hat per dimension over generations from .. to - 1 of
// the chains (at least 2 generations); a dimension with no spread scores 1.
std::vector<double> gelman_rubin(const DreamResult& r, std::size_t from, std::size_t to);

// Effective sample size per dimension of the states of generations from ..
// to - 1 over all chains (at least 4 generations): m n / (1 + 2 sum rho_t),
// the autocorrelations rho_t from the variogram against the pooled
// variance, summed while successive pairs stay positive (Gelman et al. 2013,
// Bayesian Data Analysis, 3rd ed., section 11.5). A dimension with no spread
// counts every state.
std::vector<double> effective_sample_size(const DreamResult& r, std::size_t from, std::size_t to);

// A standard normal draw from two uniforms in (0, 1] and [0, 1) (Box-Muller).
double standard_normal(double u1, double u2);

// Uniform in [0, 1) from 53 bits of a 64-bit random word.
inline double unit_of(uint64_t bits) { return static_cast<double>(bits >> 11) * 0x1.0p-53; }

// Latin hypercube of n points in [0, 1)^d, a stratum per point and dimension.
std::vector<std::vector<double>> latin_hypercube(int64_t n, int d, uint64_t seed);

}  // namespace tarvex

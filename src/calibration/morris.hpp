#pragma once
// Morris's elementary-effects screening (Morris 1991) on the unit cube:
// r trajectories of k + 1 points on a p-level grid, each step moving one
// factor by delta = p / (2 (p - 1)), and per factor the mean of the
// absolute effects mu* (Campolongo et al. 2007), their mean mu and their
// standard deviation sigma.
#include <cstdint>
#include <span>
#include <vector>

namespace tarvex {

struct MorrisDesign {
  int factors = 0;
  int trajectories = 0;
  int levels = 0;
  double delta = 0.0;
  // trajectories x (factors + 1) points, each `factors` unit coordinates.
  std::vector<std::vector<double>> points;
  // Per point: the factor its step moved (-1 for the first of a trajectory).
  std::vector<int> moved;
};

// Throws std::invalid_argument unless factors >= 1, trajectories >= 1 and
// levels is even and >= 2.
MorrisDesign morris_design(int factors, int trajectories, int levels, uint64_t seed);

struct MorrisIndices {
  std::vector<double> mu_star, mu, sigma;  // per factor
  std::vector<int> effects;                // effects used: those with two finite values
};

// f[m]: the value at design.points[m]. An effect with a value that is no
// finite number is left out; sigma of fewer than two effects is NaN.
MorrisIndices morris_indices(const MorrisDesign& design, std::span<const double> f);

}  // namespace tarvex

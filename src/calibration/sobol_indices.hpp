#pragma once
// Variance-based sensitivity indices from the sampling scheme of Saltelli
// (2002, 2010): two independent samples A and B of N rows, the matrices
// AB_i (A with column i of B) and BA_i (B with column i of A), N (2 k + 2)
// model runs. First-order and total indices with the Jansen estimators,
// each the mean of its two estimates (from AB_i and from BA_i), and 95 %
// percentile bootstrap intervals over the rows.
#include <cstdint>
#include <span>
#include <vector>

namespace tarvex {

// The unit points of the scheme from a 2k-dimensional sequence of rows:
// row j gives A_j (its first k coordinates) and B_j (the last k). Order
// within a row: A, B, AB_1 .. AB_k, BA_1 .. BA_k.
std::vector<std::vector<double>> saltelli_row(std::span<const double> ab, int k);

struct SobolIndices {
  std::vector<double> first, total;            // per factor
  std::vector<double> first_low, first_high;   // 95 % interval
  std::vector<double> total_low, total_high;
  double variance = 0.0;
  int64_t rows = 0;  // rows used: those whose 2k + 2 values are all finite
};

// f: rows x (2k + 2) values in the order of saltelli_row. Rows holding a
// value that is no finite number are left out. resamples bootstrap draws
// from seed (0: no intervals, NaN). Throws std::invalid_argument when fewer
// than two rows remain.
SobolIndices sobol_indices(std::span<const double> f, int k, int resamples, uint64_t seed);

}  // namespace tarvex

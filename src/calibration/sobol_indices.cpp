#include "calibration/sobol_indices.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "calibration/analysis_random.hpp"

namespace tarvex {
namespace {

// Indices over the rows listed (with repeats for a bootstrap draw).
void estimate(std::span<const double> f, std::size_t k, const std::vector<std::size_t>& rows,
              std::vector<double>& first, std::vector<double>& total, double& variance) {
  const std::size_t w = 2 * k + 2;
  double sum = 0.0;
  for (std::size_t j : rows) sum += f[j * w] + f[j * w + 1];
  const double n = static_cast<double>(rows.size());
  const double mean = sum / (2.0 * n);
  double ss = 0.0;
  for (std::size_t j : rows) {
    ss += (f[j * w] - mean) * (f[j * w] - mean) + (f[j * w + 1] - mean) * (f[j * w + 1] - mean);
  }
  variance = ss / (2.0 * n);
  first.assign(k, 0.0);
  total.assign(k, 0.0);
  for (std::size_t i = 0; i < k; ++i) {
    double t = 0.0, s = 0.0;
    for (std::size_t j : rows) {
      const double a = f[j * w], b = f[j * w + 1], ab = f[j * w + 2 + i], ba = f[j * w + 2 + k + i];
      // AB_i differs from A only in factor i, and shares only factor i with B.
      t += (a - ab) * (a - ab) + (b - ba) * (b - ba);
      s += (b - ab) * (b - ab) + (a - ba) * (a - ba);
    }
    total[i] = t / (4.0 * n * variance);
    first[i] = 1.0 - s / (4.0 * n * variance);
  }
}

double percentile(std::vector<double>& v, double q) {
  std::sort(v.begin(), v.end());
  const double at = q * static_cast<double>(v.size() - 1);
  const auto lo = static_cast<std::size_t>(std::floor(at));
  const std::size_t hi = std::min(lo + 1, v.size() - 1);
  return v[lo] + (at - static_cast<double>(lo)) * (v[hi] - v[lo]);
}

}  // namespace

std::vector<std::vector<double>> saltelli_row(std::span<const double> ab, int k) {
  const auto n = static_cast<std::size_t>(k);
  const auto half = static_cast<std::ptrdiff_t>(n);
  const std::vector<double> a(ab.begin(), ab.begin() + half);
  const std::vector<double> b(ab.begin() + half, ab.begin() + 2 * half);
  std::vector<std::vector<double>> row{a, b};
  for (std::size_t i = 0; i < n; ++i) {
    row.push_back(a);
    row.back()[i] = b[i];
  }
  for (std::size_t i = 0; i < n; ++i) {
    row.push_back(b);
    row.back()[i] = a[i];
  }
  return row;
}

SobolIndices sobol_indices(std::span<const double> f, int k, int resamples, uint64_t seed) {
  const auto n = static_cast<std::size_t>(k);
  const std::size_t w = 2 * n + 2;
  if (k < 1 || f.size() % w != 0) throw std::invalid_argument("2k + 2 values per row of the Saltelli scheme");
  std::vector<std::size_t> rows;
  for (std::size_t j = 0; j < f.size() / w; ++j) {
    bool finite = true;
    for (std::size_t m = 0; m < w; ++m) finite = finite && std::isfinite(f[j * w + m]);
    if (finite) rows.push_back(j);
  }
  if (rows.size() < 2) throw std::invalid_argument("fewer than two rows of finite values");
  SobolIndices r;
  r.rows = static_cast<int64_t>(rows.size());
  estimate(f, n, rows, r.first, r.total, r.variance);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  r.first_low.assign(n, nan);
  r.first_high.assign(n, nan);
  r.total_low.assign(n, nan);
  r.total_high.assign(n, nan);
  if (resamples < 1 || !(r.variance > 0.0)) return r;
  AnalysisRandom rng(seed);
  std::vector<std::vector<double>> fs(n), ts(n);
  std::vector<std::size_t> draw(rows.size());
  std::vector<double> first, total;
  double variance = 0.0;
  for (int b = 0; b < resamples; ++b) {
    for (std::size_t& j : draw) j = rows[rng.below(rows.size())];
    estimate(f, n, draw, first, total, variance);
    if (!(variance > 0.0)) continue;
    for (std::size_t i = 0; i < n; ++i) {
      fs[i].push_back(first[i]);
      ts[i].push_back(total[i]);
    }
  }
  for (std::size_t i = 0; i < n && !fs[i].empty(); ++i) {
    r.first_low[i] = percentile(fs[i], 0.025);
    r.first_high[i] = percentile(fs[i], 0.975);
    r.total_low[i] = percentile(ts[i], 0.025);
    r.total_high[i] = percentile(ts[i], 0.975);
  }
  return r;
}

}  // namespace tarvex

// Success rate and effort of the shuffled complex evolution search on the
// classic global-optimisation test functions: 100 seeds each (10 with
// --quick, N with --seeds N), success when |f - f*| <= 0.001 * max(1, |f*|).
// Each rate comes with its 95 % Wilson interval and each mean number of
// evaluations with its standard error: a rate from 100 runs is only known to
// a few runs, so two searches are compared through these.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "calibration/sce_search.hpp"

namespace {

using tarvex::SceConfig;
using tarvex::SceSearch;
using Fn = std::function<double(std::span<const double>)>;

double goldstein_price(std::span<const double> v) {
  const double x = v[0], y = v[1];
  const double a = 1 + (x + y + 1) * (x + y + 1) *
                           (19 - 14 * x + 3 * x * x - 14 * y + 6 * x * y + 3 * y * y);
  const double b = 30 + (2 * x - 3 * y) * (2 * x - 3 * y) *
                            (18 - 32 * x + 12 * x * x + 48 * y - 36 * x * y + 27 * y * y);
  return a * b;
}

double camelback(std::span<const double> v) {
  const double x = v[0], y = v[1];
  return (4 - 2.1 * x * x + x * x * x * x / 3) * x * x + x * y + (-4 + 4 * y * y) * y * y;
}

double rosenbrock(std::span<const double> v) {
  const double x = v[0], y = v[1];
  return 100 * (y - x * x) * (y - x * x) + (1 - x) * (1 - x);
}

template <int N, int M>
double hartman(std::span<const double> x, const double (&alpha)[M], const double (&a)[M][N],
               const double (&p)[M][N]) {
  double f = 0;
  for (int i = 0; i < M; ++i) {
    double s = 0;
    for (int j = 0; j < N; ++j) s += a[i][j] * (x[j] - p[i][j]) * (x[j] - p[i][j]);
    f -= alpha[i] * std::exp(-s);
  }
  return f;
}

constexpr double kHAlpha[4] = {1.0, 1.2, 3.0, 3.2};

double hartman3(std::span<const double> x) {
  static const double a[4][3] = {{3, 10, 30}, {0.1, 10, 35}, {3, 10, 30}, {0.1, 10, 35}};
  static const double p[4][3] = {{0.3689, 0.1170, 0.2673},
                                 {0.4699, 0.4387, 0.7470},
                                 {0.1091, 0.8732, 0.5547},
                                 {0.0381, 0.5743, 0.8828}};
  return hartman<3, 4>(x, kHAlpha, a, p);
}

double hartman6(std::span<const double> x) {
  static const double a[4][6] = {{10, 3, 17, 3.5, 1.7, 8},
                                 {0.05, 10, 17, 0.1, 8, 14},
                                 {3, 3.5, 1.7, 10, 17, 8},
                                 {17, 8, 0.05, 10, 0.1, 14}};
  static const double p[4][6] = {{0.1312, 0.1696, 0.5569, 0.0124, 0.8283, 0.5886},
                                 {0.2329, 0.4135, 0.8307, 0.3736, 0.1004, 0.9991},
                                 {0.2348, 0.1451, 0.3522, 0.2883, 0.3047, 0.6650},
                                 {0.4047, 0.8828, 0.8732, 0.5743, 0.1091, 0.0381}};
  return hartman<6, 4>(x, kHAlpha, a, p);
}

double shekel(std::span<const double> x, int m) {
  static const double a[10][4] = {{4, 4, 4, 4}, {1, 1, 1, 1}, {8, 8, 8, 8}, {6, 6, 6, 6},
                                  {3, 7, 3, 7}, {2, 9, 2, 9}, {5, 5, 3, 3}, {8, 1, 8, 1},
                                  {6, 2, 6, 2}, {7, 3.6, 7, 3.6}};
  static const double c[10] = {0.1, 0.2, 0.2, 0.4, 0.4, 0.6, 0.3, 0.7, 0.5, 0.5};
  double f = 0;
  for (int i = 0; i < m; ++i) {
    double s = c[i];
    for (int j = 0; j < 4; ++j) s += (x[j] - a[i][j]) * (x[j] - a[i][j]);
    f -= 1 / s;
  }
  return f;
}

// 1 + sum x_i^2 / d - prod cos(x_i / sqrt(i)); the 2-D form of the SCE-UA
// test suite uses d = 200, the 10-D form d = 4000.
double griewank(std::span<const double> x, double d) {
  double s = 0, p = 1;
  for (std::size_t i = 0; i < x.size(); ++i) {
    s += x[i] * x[i];
    p *= std::cos(x[i] / std::sqrt(static_cast<double>(i + 1)));
  }
  return 1 + s / d - p;
}

// 95 % Wilson score interval of a success rate, in percent.
void wilson(int successes, int runs, double& lo, double& hi) {
  const double z = 1.959963984540054, n = runs, p = successes / n;
  const double centre = (p + z * z / (2 * n)) / (1 + z * z / n);
  const double half = z / (1 + z * z / n) * std::sqrt(p * (1 - p) / n + z * z / (4 * n * n));
  lo = 100 * std::max(0.0, centre - half);
  hi = 100 * std::min(1.0, centre + half);
}

struct Problem {
  const char* name;
  int n;
  double lo, hi;
  double fstar;
  long max_evals;
  Fn f;
};

}  // namespace

int main(int argc, char** argv) {
  int seeds = 100;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      seeds = 10;
    } else if (std::strcmp(argv[i], "--seeds") == 0 && i + 1 < argc && std::atoi(argv[i + 1]) > 0) {
      seeds = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: bench_search [--quick | --seeds N]\n");
      return 2;
    }
  }
  const std::vector<Problem> problems = {
      {"Goldstein-Price", 2, -2, 2, 3.0, 10000, goldstein_price},
      {"Six-hump camelback", 2, -5, 5, -1.0316285, 10000, camelback},
      {"Rosenbrock-2", 2, -5, 5, 0.0, 10000, rosenbrock},
      {"Hartman-3", 3, 0, 1, -3.86278, 10000, hartman3},
      {"Hartman-6", 6, 0, 1, -3.32237, 10000, hartman6},
      {"Shekel-5", 4, 0, 10, -10.1532, 10000, [](auto x) { return shekel(x, 5); }},
      {"Shekel-7", 4, 0, 10, -10.4029, 10000, [](auto x) { return shekel(x, 7); }},
      {"Shekel-10", 4, 0, 10, -10.5364, 10000, [](auto x) { return shekel(x, 10); }},
      {"Griewank-10", 10, -600, 600, 0.0, 20000, [](auto x) { return griewank(x, 4000); }},
      {"Griewank-2", 2, -600, 600, 0.0, 10000, [](auto x) { return griewank(x, 200); }},
      {"Griewank-2 (d=4000)", 2, -600, 600, 0.0, 10000, [](auto x) { return griewank(x, 4000); }},
  };

  std::printf("%-20s %3s %11s %9s %13s %15s %13s %7s\n", "function", "n", "f*", "successes", "95% interval",
              "mean evals (se)", "mean best f", "time s");
  for (const Problem& pb : problems) {
    SceConfig cfg;
    cfg.ngs = 5;
    cfg.npg = 2 * pb.n + 1;
    cfg.nps = pb.n + 1;
    cfg.nspl = 2 * pb.n + 1;
    cfg.mingcs = cfg.ngs;
    cfg.max_evals = pb.max_evals;
    cfg.kstop = 10;
    cfg.pct_change = 1e-6;
    cfg.range_bound = 1e-4;
    int successes = 0;
    double sum_evals = 0, sum_evals2 = 0, sum_best = 0;
    const auto t0 = std::chrono::steady_clock::now();
    for (int s = 1; s <= seeds; ++s) {
      cfg.seed = static_cast<uint64_t>(s);
      SceSearch search(cfg, std::vector<double>(pb.n, pb.lo), std::vector<double>(pb.n, pb.hi), {},
                       [&](int, std::span<const double> x) { return pb.f(x); });
      const tarvex::SceResult r = search.run();
      if (std::fabs(r.best_f - pb.fstar) <= 0.001 * std::max(1.0, std::fabs(pb.fstar))) ++successes;
      sum_evals += static_cast<double>(r.evals);
      sum_evals2 += static_cast<double>(r.evals) * static_cast<double>(r.evals);
      sum_best += r.best_f;
    }
    const double secs =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double mean = sum_evals / seeds;
    const double var = seeds > 1 ? std::max(0.0, (sum_evals2 - seeds * mean * mean) / (seeds - 1)) : 0.0;
    double lo, hi;
    wilson(successes, seeds, lo, hi);
    char rate[24], evals[24];
    std::snprintf(rate, sizeof rate, "%d/%d", successes, seeds);
    std::snprintf(evals, sizeof evals, "%.0f (%.0f)", mean, std::sqrt(var / seeds));
    std::printf("%-20s %3d %11.7g %9s %5.1f-%5.1f %% %15s %13.7g %7.2f\n", pb.name, pb.n, pb.fstar, rate, lo, hi,
                evals, sum_best / seeds, secs);
  }
  return 0;
}

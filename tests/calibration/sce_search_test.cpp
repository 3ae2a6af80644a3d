// The shuffled complex evolution search on small test functions: it finds
// the minimum, and its records do not depend on threads or interruptions.
#include "calibration/sce_search.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tarvex {
namespace {

double goldstein_price(std::span<const double> v) {
  const double x = v[0], y = v[1];
  return (1 + (x + y + 1) * (x + y + 1) * (19 - 14 * x + 3 * x * x - 14 * y + 6 * x * y + 3 * y * y)) *
         (30 + (2 * x - 3 * y) * (2 * x - 3 * y) *
                   (18 - 32 * x + 12 * x * x + 48 * y - 36 * x * y + 27 * y * y));
}

// Many local minima, global minimum 0 at the origin.
double rastrigin(std::span<const double> x) {
  double f = 0;
  for (double v : x) f += v * v - 10 * std::cos(2 * M_PI * v) + 10;
  return f;
}

SceConfig config(int n, uint64_t seed) {
  SceConfig c;
  c.ngs = 4;
  c.npg = 2 * n + 1;
  c.nps = n + 1;
  c.nspl = 2 * n + 1;
  c.mingcs = 2;
  c.max_evals = 5000;
  c.kstop = 5;
  c.pct_change = 1e-6;
  c.range_bound = 1e-4;
  c.seed = seed;
  return c;
}

// Everything the callbacks deliver, for exact comparison.
struct Trace {
  std::vector<long> numbers;
  std::vector<int> where;  // loop * 1000 + complex
  std::vector<double> values;  // x then f of each evaluation, then loop summaries
  void attach(SceSearch& s) {
    s.on_evaluation = [this](const SceEvaluation& e) {
      numbers.push_back(e.number);
      where.push_back(e.loop * 1000 + e.complex);
      values.insert(values.end(), e.x.begin(), e.x.end());
      values.push_back(e.f);
    };
    s.on_loop = [this](const SceLoopInfo& i) {
      values.insert(values.end(), {double(i.loop), double(i.evals), double(i.complexes), i.best_f,
                                   i.worst_f, i.range});
    };
  }
};

void expect_same(const SceResult& a, const SceResult& b) {
  EXPECT_EQ(a.best_x, b.best_x);
  EXPECT_EQ(a.best_f, b.best_f);
  EXPECT_EQ(a.evals, b.evals);
  EXPECT_EQ(a.loops, b.loops);
  EXPECT_EQ(a.stop, b.stop);
}

TEST(SceSearch, FindsTheGlobalMinimumOfGoldsteinPrice) {
  SceConfig c = config(2, 7);
  c.ngs = c.mingcs = 5;
  SceSearch s(c, {-2, -2}, {2, 2}, {}, [](int, std::span<const double> x) { return goldstein_price(x); });
  long count = 0;
  s.on_evaluation = [&](const SceEvaluation& e) { EXPECT_EQ(e.number, ++count); };
  const SceResult r = s.run();
  EXPECT_NEAR(r.best_f, 3.0, 1e-3);
  EXPECT_NEAR(r.best_x[0], 0.0, 1e-2);
  EXPECT_NEAR(r.best_x[1], -1.0, 1e-2);
  EXPECT_EQ(r.evals, count);
  EXPECT_NE(r.stop, SceStop::max_evals);
  EXPECT_LT(r.evals, 2000);
}

TEST(SceSearch, SameSeedSameSearchForAnyNumberOfThreads) {
  auto search = [](int threads, uint64_t seed) {
    SceConfig c = config(3, seed);
    c.threads = threads;
    // Slow enough that the workers overlap; each notes its id.
    auto used = std::make_shared<std::vector<std::atomic<int>>>(threads);
    SceSearch s(c, {-5, -5, -5}, {5, 5, 5}, {}, [used](int w, std::span<const double> x) {
      ++(*used).at(w);
      std::this_thread::sleep_for(std::chrono::microseconds(20));
      return rastrigin(x);
    });
    Trace t;
    t.attach(s);
    const SceResult r = s.run();
    for (const auto& n : *used) EXPECT_GT(n, 0);
    return std::make_pair(r, t);
  };
  const auto [r1, t1] = search(1, 11);
  const auto [r1b, t1b] = search(1, 11);
  const auto [r3, t3] = search(3, 11);
  const auto [other, t_other] = search(1, 12);
  expect_same(r1, r1b);
  expect_same(r1, r3);
  EXPECT_EQ(t1.values, t1b.values);
  EXPECT_EQ(t1.numbers, t3.numbers);
  EXPECT_EQ(t1.where, t3.where);
  EXPECT_EQ(t1.values, t3.values);
  EXPECT_NE(t1.values, t_other.values);
  EXPECT_GT(r1.loops, 3);
  EXPECT_EQ(t1.numbers.size(), static_cast<std::size_t>(r1.evals));
}

TEST(SceSearch, ResumingFromASavedStateContinuesExactly) {
  const SceConfig c = config(3, 5);
  const std::vector<double> lo = {-5, -5, -5}, hi = {5, 5, 5};
  auto f = [](int, std::span<const double> x) { return rastrigin(x); };
  SceSearch whole(c, lo, hi, {}, f);
  Trace all;
  all.attach(whole);
  std::string after3, last;
  long evals3 = 0;
  whole.on_checkpoint = [&](const SceSearch& s) {
    if (s.loop() == 3) {
      after3 = s.save_state();
      evals3 = s.evals();
    }
    last = s.save_state();
  };
  const SceResult r = whole.run();
  ASSERT_GT(r.loops, 4);

  SceConfig c2 = c;
  c2.threads = 2;
  SceSearch resumed(c2, lo, hi, {}, f);
  resumed.restore_state(after3);
  Trace tail;
  tail.attach(resumed);
  std::string resumed_last;
  resumed.on_checkpoint = [&](const SceSearch& s) { resumed_last = s.save_state(); };
  expect_same(resumed.run(), r);
  EXPECT_EQ(resumed_last, last);
  ASSERT_FALSE(tail.numbers.empty());
  EXPECT_EQ(tail.numbers.front(), evals3 + 1);
  const std::size_t skip = all.numbers.size() - tail.numbers.size();
  EXPECT_EQ(std::vector<long>(all.numbers.begin() + skip, all.numbers.end()), tail.numbers);
  EXPECT_EQ(std::vector<double>(all.values.end() - tail.values.size(), all.values.end()), tail.values);

  // The final state gives the result without further evaluations.
  SceSearch finished(c, lo, hi, {}, f);
  finished.restore_state(last);
  finished.on_evaluation = [](const SceEvaluation&) { ADD_FAILURE() << "evaluated again"; };
  expect_same(finished.run(), r);

  SceSearch bad(c, lo, hi, {}, f);
  EXPECT_THROW(bad.restore_state(after3.substr(0, after3.size() / 2)), std::invalid_argument);
  SceSearch narrower(c, {-1, -1, -1}, {1, 1, 1}, {}, f);
  EXPECT_THROW(narrower.restore_state(after3), std::invalid_argument);
}

TEST(SceSearch, FixedParameterStaysAtItsValue) {
  SceConfig c = config(3, 3);
  c.use_x0 = true;
  c.pct_change = 0.0;  // only the range can end the search
  SceSearch s(c, {-5, 0.1, -5}, {5, 0.1, 5}, {1, 0.1, 1}, [](int, std::span<const double> x) {
    return (x[0] - 1) * (x[0] - 1) + (x[2] + 2) * (x[2] + 2) + x[1];
  });
  bool fixed = true, first_is_x0 = false;
  s.on_evaluation = [&](const SceEvaluation& e) {
    fixed = fixed && e.x[1] == 0.1;
    if (e.number == 1) first_is_x0 = e.x[0] == 1 && e.x[2] == 1;
  };
  const SceResult r = s.run();
  EXPECT_TRUE(fixed);
  EXPECT_TRUE(first_is_x0);
  EXPECT_NEAR(r.best_x[0], 1, 1e-3);
  EXPECT_NEAR(r.best_x[2], -2, 1e-3);
  EXPECT_EQ(r.stop, SceStop::converged);  // range measured over the two free parameters
}

// Failures of the objective: NaN ranks last, an exception ends the search.
TEST(SceSearch, NaNRanksLastAndExceptionsPropagate) {
  SceConfig c = config(2, 9);
  auto bowl = [](std::span<const double> x) { return (x[0] - 0.2) * (x[0] - 0.2) + x[1] * x[1]; };
  SceSearch s(c, {-1, -1}, {1, 1}, {}, [&](int, std::span<const double> x) {
    return x[0] > 0.5 ? std::numeric_limits<double>::quiet_NaN() : bowl(x);
  });
  const SceResult r = s.run();
  EXPECT_NEAR(r.best_f, 0.0, 1e-6);

  c.threads = 2;
  SceSearch t(c, {-1, -1}, {1, 1}, {}, [](int, std::span<const double> x) -> double {
    if (x[0] > 0.9) throw std::runtime_error("model failed");
    return x[0];
  });
  EXPECT_THROW(t.run(), std::runtime_error);

  // A budget below the population evaluates only that many points.
  c.max_evals = 4;
  SceSearch u(c, {-1, -1}, {1, 1}, {}, [&](int, std::span<const double> x) { return bowl(x); });
  const SceResult ru = u.run();
  EXPECT_EQ(ru.evals, 4);
  EXPECT_EQ(ru.stop, SceStop::max_evals);
  EXPECT_THROW(SceSearch(c, {1, -1}, {0, 1}, {}, [](int, std::span<const double>) { return 0.0; }),
               std::invalid_argument);
}

}  // namespace
}  // namespace tarvex

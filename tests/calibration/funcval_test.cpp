#include "calibration/funcval.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "io/input_error.hpp"
#include "small_catchment.hpp"
#include "support/testkit.hpp"

namespace tarvex {
namespace {

using test::ChangeDir;
using test::TempDir;

using test::lines_of;

struct OutletRecord {
  int n;
  float q;
};

std::vector<OutletRecord> read_outlet(const TempDir& dir) {
  std::vector<OutletRecord> out;
  for (const std::string& l : lines_of(dir.read("outlet.out"))) {
    std::istringstream in(l);
    OutletRecord r{};
    std::string q;
    in >> r.n >> q;
    r.q = std::strtof(q.c_str(), nullptr);
    out.push_back(r);
  }
  return out;
}

// Value after "Objective function = " in a log record.
float logged_objective(const std::string& line) {
  const std::string key = " Objective function = ";
  EXPECT_EQ(line.rfind(key, 0), 0u) << line;
  return std::strtof(line.c_str() + key.size(), nullptr);
}

std::vector<double> logged_parameters(const std::string& line) {
  const std::string key = " Parameter values: ";
  EXPECT_EQ(line.rfind(key, 0), 0u) << line;
  std::istringstream in(line.substr(key.size()));
  std::vector<double> v;
  std::string t;
  while (in >> t) v.push_back(std::strtod(t.c_str(), nullptr));
  return v;
}

class FuncvalTest : public ::testing::Test {
 protected:
  FuncvalTest() : cd_(dir_.path()), s_(std::make_unique<ModelState>()) {}
  ModelState& s() { return *s_; }
  float evaluate(const double* x = test::kSmallParams.data(), int32_t n = 9) { return FUNCVAL(s(), x, n); }

  TempDir dir_;
  ChangeDir cd_;
  std::unique_ptr<ModelState> s_;
};

TEST_F(FuncvalTest, EqualStepsCompareRecordByRecord) {
  test::build_small_catchment(s(), 48, 3600.0f);
  for (int32_t n = 1; n <= 48; ++n) s().forcing.Q_OBS(n, 1) = 0.002f * static_cast<float>(n % 7);
  const float obj = evaluate();

  // The parameters stay in the state, rounded to 4-byte reals.
  EXPECT_EQ(s().params.A_CHANNEL, 0.025f);
  EXPECT_EQ(s().params.KS_CLASS(3), 14.0f);
  EXPECT_EQ(s().params.TAU_SUB, 36000.0f);
  EXPECT_EQ(s().params.IA_RATIO, 0.2f);

  float of = 0.0f;
  float peak = 0.0f;
  for (int32_t n = 1; n <= 48; ++n) {
    const float d = s().results.Q_SECTION(n, 1) - s().forcing.Q_OBS(n, 1);
    of = of + d * d;
    peak = std::max(peak, s().results.Q_SECTION(n, 1));
  }
  EXPECT_GT(peak, 0.0f);
  EXPECT_EQ(obj, of);

  const auto outlet = read_outlet(dir_);
  ASSERT_EQ(outlet.size(), 48u);
  for (int32_t n = 1; n <= 48; ++n) {
    EXPECT_EQ(outlet[n - 1].n, n);
    EXPECT_EQ(outlet[n - 1].q, s().results.Q_SECTION(n, 1));
  }

  const auto log = lines_of(dir_.read("min-ris.txt"));
  ASSERT_EQ(log.size(), 2u);
  const auto params = logged_parameters(log[0]);
  ASSERT_EQ(params.size(), 9u);
  for (std::size_t k = 0; k < 9; ++k) EXPECT_EQ(params[k], test::kSmallParams[k]);
  EXPECT_EQ(logged_objective(log[1]), obj);
}

TEST_F(FuncvalTest, QuarterStepsAreAveragedToTheRecordStep) {
  test::build_small_catchment(s(), 100, 900.0f);
  for (int32_t n = 1; n <= 100; ++n) s().forcing.Q_OBS(n, 1) = 0.001f;
  const float obj = evaluate();

  const auto outlet = read_outlet(dir_);
  ASSERT_EQ(outlet.size(), 100u);
  float of = 0.0f;
  for (int32_t m = 1; m <= 100; ++m) {
    float sum = 0.0f;
    for (int32_t k = 4 * m - 3; k <= 4 * m; ++k) sum = sum + s().results.Q_SECTION(k, 1);
    const float mean = sum / 4.0f;
    EXPECT_EQ(outlet[m - 1].n, m);
    EXPECT_EQ(outlet[m - 1].q, mean) << "record " << m;
    EXPECT_EQ(s().results.Q_SIM_AGG(m, 1), mean);
    const float d = mean - 0.001f;
    of = of + d * d;
  }
  EXPECT_EQ(obj, of);
  const auto log = lines_of(dir_.read("min-ris.txt"));
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(logged_objective(log[1]), obj);
}

TEST_F(FuncvalTest, AStepRatioJustAboveAWholeNumberIsAveragedWithTheRatioItself) {
  // DT_SIM = 1199.8 s passes the time-step check; R = DT_RAIN/DT_SIM =
  // 3.0005: 72 steps (INT(24*3600/1199.8)), blocks of 3 steps (k2 <= k +
  // R - 1), each sum divided by R, and INT(72/R) = 23 records scored.
  test::build_small_catchment(s(), 24, 1199.8f);
  for (int32_t n = 1; n <= 24; ++n) s().forcing.Q_OBS(n, 1) = 0.001f;
  const float obj = evaluate();

  const float R = 3600.0f / 1199.8f;
  const auto outlet = read_outlet(dir_);
  ASSERT_EQ(outlet.size(), 23u);
  float of = 0.0f;
  for (int32_t m = 1; m <= 23; ++m) {
    const float sum = s().results.Q_SECTION(3 * m - 2, 1) + s().results.Q_SECTION(3 * m - 1, 1) + s().results.Q_SECTION(3 * m, 1);
    const float mean = sum / R;
    EXPECT_EQ(outlet[m - 1].q, mean) << "record " << m;
    const float d = mean - 0.001f;
    of = of + d * d;
  }
  EXPECT_GT(of, 0.0f);
  EXPECT_EQ(obj, of);
}

TEST_F(FuncvalTest, EvaluationsAreIndependentAndTheLogGrows) {
  test::build_small_catchment(s(), 48, 3600.0f);
  for (int32_t n = 1; n <= 48; ++n) s().forcing.Q_OBS(n, 1) = 0.01f;
  // An earlier log whose last record lacks its line end keeps both records.
  dir_.write("min-ris.txt", " old record 1\n old record 2");

  const float first = evaluate();
  const float cum_first = s().run.CUM_RAIN(1, 2);
  std::array<double, 11> other = {0.015, 3.0, 20.0, 20.0, 20.0, 0.05, 7200.0, 1.5, 0.4, 123.0, -4.5};
  const float second = FUNCVAL(s(), other.data(), 11);
  const float third = evaluate();

  EXPECT_NE(first, second);
  EXPECT_EQ(first, third);                   // nothing of the earlier runs leaks into a run
  EXPECT_GT(s().run.CUM_RAIN(1, 2), cum_first);  // only the rain keeps accumulating

  const auto log = lines_of(dir_.read("min-ris.txt"));
  ASSERT_EQ(log.size(), 8u);
  EXPECT_EQ(log[0], " old record 1");
  EXPECT_EQ(log[1], " old record 2");
  EXPECT_EQ(logged_objective(log[3]), first);
  const auto p2 = logged_parameters(log[4]);
  ASSERT_EQ(p2.size(), 11u);  // entries beyond the ninth are logged only
  EXPECT_EQ(p2[9], 123.0);
  EXPECT_EQ(p2[10], -4.5);
  EXPECT_EQ(logged_objective(log[5]), second);
  EXPECT_EQ(logged_objective(log[7]), third);
}

TEST_F(FuncvalTest, LoggedParametersReadBackExactly) {
  test::build_small_catchment(s(), 24, 3600.0f);
  std::array<double, 9> x = {0.1 + 0.2, 1.0 / 3.0, 10.0, 12.0, 14.0, 2e-7, 36000.000000001, 2.0, 0.2};
  evaluate(x.data(), 9);
  const auto log = lines_of(dir_.read("min-ris.txt"));
  const auto p = logged_parameters(log[0]);
  ASSERT_EQ(p.size(), 9u);
  for (std::size_t k = 0; k < 9; ++k) EXPECT_EQ(p[k], x[k]) << k;
}

TEST_F(FuncvalTest, NoCrossSectionScoresZeroWithAnEmptyOutletFile) {
  test::build_small_catchment(s(), 24, 900.0f);
  s().catchment.N_SECTIONS = 0;
  dir_.write("outlet.out", "stale contents\n");
  EXPECT_EQ(evaluate(), 0.0f);
  EXPECT_EQ(dir_.read("outlet.out"), "");
  const auto log = lines_of(dir_.read("min-ris.txt"));
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1], " Objective function = 0");
}

TEST_F(FuncvalTest, ShortParameterVectorIsRefused) {
  test::build_small_catchment(s(), 24, 3600.0f);
  EXPECT_THROW(evaluate(test::kSmallParams.data(), 8), InputError);
  EXPECT_FALSE(dir_.exists("min-ris.txt"));
  EXPECT_FALSE(dir_.exists("outlet.out"));
}

TEST_F(FuncvalTest, ScoreBeyondFourByteRealsIsRefusedWithoutALogRecord) {
  test::build_small_catchment(s(), 24, 3600.0f);
  for (int32_t n = 1; n <= 24; ++n) s().forcing.Q_OBS(n, 1) = 3.0e19f;  // squares overflow
  EXPECT_THROW(evaluate(), InputError);
  EXPECT_FALSE(dir_.exists("min-ris.txt"));
}

TEST_F(FuncvalTest, FailingLogWriteIsReported) {
  test::build_small_catchment(s(), 24, 3600.0f);
  std::filesystem::create_directory(dir_ / "min-ris.txt");
  EXPECT_THROW(evaluate(), InputError);
  std::filesystem::remove(dir_ / "min-ris.txt");
  if (std::filesystem::exists("/dev/full")) {
    std::filesystem::create_symlink("/dev/full", dir_ / "min-ris.txt");
    EXPECT_THROW(evaluate(), InputError);
  }
}

}  // namespace
}  // namespace tarvex

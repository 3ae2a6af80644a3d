// The calibration run of the built program on a committed four-cell basin.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "support/testkit.hpp"

namespace tarvex {
namespace {

using test::TempDir;

using test::lines_of;

TEST(CalibrationRun, DefaultModeScoresTheInitialVectorAndAppendsToTheLog) {
  TempDir dir;
  test::copy_dir(test::test_data_dir() / "calibration" / "basin", dir.path());
  dir.write("min-ris.txt", " Parameter values: 1 2 3\n Objective function = 4\n");

  for (int pass = 1; pass <= 2; ++pass) {
    const test::RunResult r = test::run_tarvex({}, dir.path());
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
  }

  // 96 half-hour steps averaged to 48 hourly records.
  const auto outlet = lines_of(dir.read("outlet.out"));
  ASSERT_EQ(outlet.size(), 48u);
  const auto obs = lines_of(dir.read("obs.txt"));
  ASSERT_EQ(obs.size(), 49u);
  float of = 0.0f;
  float peak = 0.0f;
  for (std::size_t n = 0; n < 48; ++n) {
    std::istringstream in(outlet[n]);
    int k = 0;
    std::string q;
    in >> k >> q;
    EXPECT_EQ(k, static_cast<int>(n) + 1);
    const float sim = std::strtof(q.c_str(), nullptr);
    const float d = sim - std::strtof(obs[n + 1].c_str(), nullptr);
    of = of + d * d;
    peak = std::max(peak, sim);
  }
  EXPECT_GT(peak, 0.0f);

  const auto log = lines_of(dir.read("min-ris.txt"));
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[0], " Parameter values: 1 2 3");
  EXPECT_EQ(log[1], " Objective function = 4");
  for (std::size_t k : {2u, 4u}) {
    EXPECT_EQ(log[k], " Parameter values: 0.025 5 10 12 14 0.02 36000 2 0.2");
    const std::string key = " Objective function = ";
    ASSERT_EQ(log[k + 1].rfind(key, 0), 0u);
    EXPECT_EQ(std::strtof(log[k + 1].c_str() + key.size(), nullptr), of);
  }

  const std::string report = dir.read("sceout.dat");
  EXPECT_EQ(report.rfind("          SHUFFLED COMPLEX EVOLUTION GLOBAL OPTIMIZATION\n", 0), 0u);
  const std::string tail =
      "      X9               0.200           0.050           0.500\n"
      "\n"
      "\n"
      "  ==================================================\n"
      "  ENTER THE SHUFFLED COMPLEX EVOLUTION GLOBAL SEARCH\n"
      "  ==================================================\n";
  ASSERT_GE(report.size(), tail.size());
  EXPECT_EQ(report.substr(report.size() - tail.size()), tail);
}

TEST(CalibrationRun, BrokenSettingsEndTheProgramWithAnError) {
  TempDir dir;
  test::copy_dir(test::test_data_dir() / "calibration" / "basin", dir.path());
  dir.write("scein.dat", " 1000 five    1    2    0    0\n");
  const test::RunResult r = test::run_tarvex({}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("scein.dat"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("record 1, columns 6-10"), std::string::npos) << r.err;
  EXPECT_FALSE(dir.exists("min-ris.txt"));
  EXPECT_FALSE(dir.exists("outlet.out"));
}

}  // namespace
}  // namespace tarvex

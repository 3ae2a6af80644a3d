// Missing observed discharges (negative flags) in the calibration search:
// every objective scores the series as if the flagged records were not there,
// and a series with nothing observed is refused. The single evaluation keeps
// its sum over every record.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "calibration/fit_statistics.hpp"
#include "support/testkit.hpp"

namespace tarvex {
namespace {

using test::lines_of;
using test::TempDir;

// 60 trials, 2 complexes of 5 points, the initial vector in the population.
const std::string kSettings =
    "   60    5 0.01    2    7    1\n"
    "    5    3    5    2    1    0\n";

const std::set<int> kFlagged = {40, 41, 120, 200};

// The small catchment with the search settings above and its observed
// series; records in `flagged` hold the flags -999, -9999 and -1 in turn.
std::vector<double> prepare(const TempDir& dir, const std::set<int>& flagged) {
  test::copy_dir(test::test_data_dir() / "small", dir.path());
  const std::string scein = dir.read("scein.dat");
  const std::size_t second = scein.find('\n', scein.find('\n') + 1);
  dir.write("scein.dat", kSettings + scein.substr(second + 1));

  const std::vector<std::string> lines = lines_of(dir.read("obs.txt"));
  const char* const flags[] = {"-999", "-9999", "-1"};
  std::string text = lines.at(0) + "\n" + lines.at(1) + "\n";
  std::vector<double> obs;
  int k = 0;
  for (std::size_t n = 2; n < lines.size(); ++n) {
    const int record = static_cast<int>(n) - 1;
    const std::string v = flagged.count(record) ? flags[k++ % 3] : lines[n];
    text += v + "\n";
    obs.push_back(std::strtof(v.c_str(), nullptr));  // held in 4-byte reals
  }
  dir.write("obs.txt", text);
  return obs;
}

// The second value of every line of outlet.out.
std::vector<double> outlet_series(const TempDir& dir) {
  std::vector<double> q;
  for (const std::string& l : lines_of(dir.read("outlet.out"))) {
    char* end = nullptr;
    std::strtol(l.c_str(), &end, 10);
    q.push_back(std::strtod(end, nullptr));
  }
  return q;
}

double best_objective(const std::string& report, const std::string& name) {
  const std::string key = "  BEST OBJECTIVE (" + name + ") = ";
  const std::size_t at = report.find(key);
  if (at == std::string::npos) return std::nan("");
  return std::strtod(report.c_str() + at + key.size(), nullptr);
}

TEST(MissingObservations, EverySearchObjectiveScoresTheSeriesWithoutTheFlaggedRecords) {
  for (const char* name : {"sse", "nse", "lognse", "KGE", "kge2012", "rmse", "pbias"}) {
    SCOPED_TRACE(name);
    TempDir dir;
    const std::vector<double> obs = prepare(dir, kFlagged);
    const test::RunResult r = test::run_tarvex({"--search", "--objective", name, "-j", "1"}, dir.path());
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const Objective objective = *parse_objective(name);
    const double best = best_objective(dir.read("sceout.dat"), std::string(objective_name(objective)));

    // The best point's series with the flagged records taken out.
    const std::vector<double> sim = outlet_series(dir);
    ASSERT_EQ(sim.size(), obs.size());
    std::vector<double> kept_sim, kept_obs;
    float sse = 0.0f;  // the search's sum: 4-byte reals, record order
    for (std::size_t n = 0; n < sim.size(); ++n) {
      if (kFlagged.count(static_cast<int>(n) + 1)) continue;
      kept_sim.push_back(sim[n]);
      kept_obs.push_back(obs[n]);
      const float d = static_cast<float>(sim[n]) - static_cast<float>(obs[n]);
      sse = sse + d * d;
    }
    if (objective == Objective::sse) {
      EXPECT_NEAR(best, sse, 1e-5 * sse);
      EXPECT_LT(best, 1.0);  // a flag scored as a discharge adds about 1e6
    } else {
      const double expected = objective_value(objective, fit_statistics(kept_sim, kept_obs));
      // The reader's rounding of the text may differ from strtof's in the last bit.
      EXPECT_NEAR(best, expected, 1e-6 * std::max(1e-3, std::fabs(expected)));
    }
    EXPECT_NE(r.out.find("FIT OF THE BEST RUN (" + std::to_string(kept_obs.size()) + " PAIRS)"), std::string::npos)
        << r.out;
  }
}

TEST(MissingObservations, SeriesWithNothingObservedIsRefusedBySearchOnly) {
  std::set<int> all;
  for (int n = 1; n <= 300; ++n) all.insert(n);
  TempDir dir;
  prepare(dir, all);
  const test::RunResult r = test::run_tarvex({"--search", "-j", "1"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(lines_of(r.err).size(), 1u) << r.err;
  EXPECT_NE(r.err.find("file 'obs.txt': no observed discharge in the 300 records"), std::string::npos) << r.err;
  EXPECT_FALSE(dir.exists("sce_evaluations.csv"));

  // The single evaluation sums every record as it always has.
  TempDir single;
  prepare(single, all);
  const test::RunResult one = test::run_tarvex({}, single.path());
  ASSERT_EQ(one.exit_code, 0) << one.err;
  const std::string log = single.read("min-ris.txt");
  const std::size_t at = log.find("Objective function =");
  ASSERT_NE(at, std::string::npos);
  EXPECT_GT(std::strtod(log.c_str() + at + 20, nullptr), 1e8);
}

}  // namespace
}  // namespace tarvex

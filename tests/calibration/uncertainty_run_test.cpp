// The built program's uncertainty analyses on the small test catchment:
// files independent of the threads, resume after kill -9, refused settings
// before any run, and the report when no point is behavioural.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/types.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/testkit.hpp"

namespace tarvex {
namespace {

using test::lines_of;
using test::TempDir;

const char* const kFiles[] = {"bands.csv", "uncertainty.csv", "uncertainty_summary.txt",
                              "uncertainty_evaluations.csv", "uncertainty_checkpoint.txt"};

void prepare(const TempDir& dir) { test::copy_dir(test::test_data_dir() / "small", dir.path()); }

TEST(UncertaintyRun, FilesDoNotDependOnThreads) {
  for (const std::string method : {"glue", "dream"}) {
    const std::string samples = method == "glue" ? "24" : "150";
    TempDir one, two;
    prepare(one);
    prepare(two);
    const test::RunResult r1 = test::run_tarvex({"--uncertainty", method, "--samples", samples, "-j", "1"}, one.path());
    ASSERT_EQ(r1.exit_code, 0) << r1.err;
    const test::RunResult r2 = test::run_tarvex({"--uncertainty", method, "--samples", samples, "-j", "2"}, two.path());
    ASSERT_EQ(r2.exit_code, 0) << r2.err;
    EXPECT_EQ(r1.out, r2.out);
    for (const char* f : kFiles) EXPECT_EQ(one.read(f), two.read(f)) << method << " " << f;
    // A band row per compared record (300), a row per parameter.
    const std::vector<std::string> bands = lines_of(one.read("bands.csv"));
    ASSERT_EQ(bands.size(), 301u) << method;
    EXPECT_EQ(lines_of(one.read("uncertainty.csv")).size(), 10u);
    EXPECT_NE(one.read("uncertainty_summary.txt").find("P-FACTOR"), std::string::npos);
    if (method == "dream") {
      EXPECT_TRUE(one.exists("posterior.csv"));
      EXPECT_NE(r1.out.find("R-HAT"), std::string::npos);
      EXPECT_EQ(bands[0].substr(0, 30), "record,section,observed,q2.5,q");
      EXPECT_NE(bands[0].find("q97.5_error"), std::string::npos);
      // Each parameter's effective sample size: a count up to the posterior's states.
      const std::vector<std::string> pars = lines_of(one.read("uncertainty.csv"));
      EXPECT_EQ(pars[0], "parameter,name,lower,upper,q2.5,q50,q97.5,rhat,ess");
      for (std::size_t j = 1; j < pars.size(); ++j) {
        const double ess = std::stod(pars[j].substr(pars[j].rfind(',') + 1));
        EXPECT_GE(ess, 1.0) << pars[j];
        EXPECT_LE(ess, 150.0) << pars[j];
      }
    }
    // Every evaluation in the log: GLUE all its samples, DREAM within its budget.
    const std::size_t rows = lines_of(one.read("uncertainty_evaluations.csv")).size() - 1;
    if (method == "glue") {
      EXPECT_EQ(rows, 24u);
    } else {
      EXPECT_LE(rows, 150u);
      EXPECT_GE(rows, 63u);
    }
  }
}

TEST(UncertaintyRun, QuantilesAreOrderedAndTheErrorBandIsWider) {
  TempDir dir;
  prepare(dir);
  ASSERT_EQ(test::run_tarvex({"--uncertainty", "dream", "--samples", "150"}, dir.path()).exit_code, 0);
  const std::vector<std::string> rows = lines_of(dir.read("bands.csv"));
  double model_width = 0.0, error_width = 0.0;
  for (std::size_t i = 1; i < rows.size(); ++i) {
    std::vector<double> v;
    std::size_t at = rows[i].find(',', rows[i].find(',') + 1) + 1;  // past record and section
    at = rows[i].find(',', at) + 1;                                   // past the observed value
    for (std::size_t next; at != 0; at = next == std::string::npos ? 0 : next + 1) {
      next = rows[i].find(',', at);
      v.push_back(std::stod(rows[i].substr(at, next - at)));
    }
    ASSERT_EQ(v.size(), 10u) << rows[i];
    for (std::size_t k = 1; k < 5; ++k) EXPECT_LE(v[k - 1], v[k]) << rows[i];
    for (std::size_t k = 6; k < 10; ++k) EXPECT_LE(v[k - 1], v[k]) << rows[i];
    model_width += v[4] - v[0];
    error_width += v[9] - v[5];
  }
  // The error term widens the 95 % band (on average: a finite sample of
  // noisy values need not be wider on every record).
  EXPECT_GT(error_width, 1.5 * model_width);
}

TEST(UncertaintyRun, ResumeAfterKillEndsWithTheSameFiles) {
  for (const std::string method : {"glue", "dream"}) {
    const std::vector<std::string> args = {"--uncertainty", method, "--samples", method == "glue" ? "200" : "600",
                                           "-j", "1"};
    TempDir whole, killed;
    prepare(whole);
    prepare(killed);
    const test::RunResult full = test::run_tarvex(args, whole.path());
    ASSERT_EQ(full.exit_code, 0) << full.err;

    test::kill_once_saved(killed, args, "uncertainty_checkpoint.txt", "\nevaluations 0\n");
    {
      // A row cut short by the kill, past what the checkpoint counts.
      std::ofstream out(killed / "uncertainty_evaluations.csv", std::ios::app);
      out << "999,1,0,0.3";
    }
    std::vector<std::string> resume = args;
    resume.push_back("--resume");
    const test::RunResult r = test::run_tarvex(resume, killed.path());
    ASSERT_EQ(r.exit_code, 0) << r.err;
    for (const char* f : kFiles) EXPECT_EQ(whole.read(f), killed.read(f)) << method << " " << f;
    if (method == "dream") {
      EXPECT_EQ(whole.read("posterior.csv"), killed.read("posterior.csv"));
    }
  }
}

// A DREAM budget only says where the chains stop: a finished run resumed
// with a larger one goes on to the files of a run given it from the start;
// a smaller one than the runs done is refused, and GLUE's sample stays fixed.
TEST(UncertaintyRun, DreamGoesOnWithALargerBudget) {
  TempDir grown, whole;
  prepare(grown);
  prepare(whole);
  const std::vector<std::string> base = {"--uncertainty", "dream", "-j", "2", "--samples"};
  auto with = [&](std::vector<std::string> a, const std::string& samples, bool resume) {
    a.push_back(samples);
    if (resume) a.push_back("--resume");
    return a;
  };
  ASSERT_EQ(test::run_tarvex(with(base, "150", false), grown.path()).exit_code, 0);
  const test::RunResult smaller = test::run_tarvex(with(base, "120", true), grown.path());
  EXPECT_EQ(smaller.exit_code, 1);
  EXPECT_NE(smaller.err.find("give --samples 150 or more"), std::string::npos) << smaller.err;
  const test::RunResult r = test::run_tarvex(with(base, "270", true), grown.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  ASSERT_EQ(test::run_tarvex(with(base, "270", false), whole.path()).exit_code, 0);
  for (const char* f : kFiles) EXPECT_EQ(whole.read(f), grown.read(f)) << f;
  EXPECT_EQ(whole.read("posterior.csv"), grown.read("posterior.csv"));
  EXPECT_GT(lines_of(grown.read("uncertainty_evaluations.csv")).size(), 151u);

  TempDir glue;
  prepare(glue);
  ASSERT_EQ(test::run_tarvex({"--uncertainty", "glue", "--samples", "10"}, glue.path()).exit_code, 0);
  const test::RunResult g = test::run_tarvex({"--uncertainty", "glue", "--samples", "20", "--resume"}, glue.path());
  EXPECT_EQ(g.exit_code, 1);
  EXPECT_NE(g.err.find("other settings"), std::string::npos) << g.err;
}

// --min-ess on the small catchment with one free parameter: the fixed ones
// count every state, so the stop comes once A_CHANNEL has its samples; a
// resume with a smaller one, whose chains would stop before the logged runs,
// is refused, and with its own it ends as it did.
TEST(UncertaintyRun, DreamMinEssAcrossAResume) {
  TempDir dir;
  prepare(dir);
  std::vector<std::string> rows = lines_of(dir.read("scein.dat"));
  std::string text;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::string& row = rows[i];
    text += (i >= 3 && row.size() >= 10 ? row.substr(0, 10) + row.substr(0, 10) + row.substr(0, 10) : row) + "\n";
  }
  dir.write("scein.dat", text);
  const std::vector<std::string> args = {"--uncertainty", "dream", "--samples", "600", "-j", "2"};
  std::vector<std::string> with_ess = args;
  with_ess.insert(with_ess.end(), {"--min-ess", "50"});
  const test::RunResult a = test::run_tarvex(with_ess, dir.path());
  ASSERT_EQ(a.exit_code, 0) << a.err;
  EXPECT_NE(a.out.find("CONVERGED AFTER"), std::string::npos) << a.out;
  const std::string logged = dir.read("uncertainty_evaluations.csv");
  EXPECT_GT(lines_of(logged).size(), 64u);  // past the stop on R-hat alone

  std::vector<std::string> resume = args;
  resume.push_back("--resume");
  const test::RunResult b = test::run_tarvex(resume, dir.path());
  EXPECT_EQ(b.exit_code, 1);
  EXPECT_NE(b.err.find("before the"), std::string::npos) << b.err;
  EXPECT_EQ(dir.read("uncertainty_evaluations.csv"), logged);
  with_ess.push_back("--resume");
  const test::RunResult c = test::run_tarvex(with_ess, dir.path());
  ASSERT_EQ(c.exit_code, 0) << c.err;
  EXPECT_EQ(c.out.substr(c.out.find("DREAM(ZS)")), a.out.substr(a.out.find("DREAM(ZS)")));
}

TEST(UncertaintyRun, BadSettingsAreRefusedBeforeAnyRun) {
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const Case cases[] = {
      {{"--uncertainty", "glue", "--samples", "1"}, "at least 2 samples"},
      {{"--uncertainty", "dream", "--samples", "50"}, "at least 100"},
      {{"--uncertainty", "glue", "--objective", "nse", "--behavioural", "1.5"}, "no run can reach it"},
      {{"--uncertainty", "glue", "--objective", "rmse", "--behavioural", "-1"}, "no run can reach it"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    prepare(dir);
    const test::RunResult r = test::run_tarvex(c.args, dir.path());
    EXPECT_EQ(r.exit_code, 1) << c.says;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(lines_of(r.err).size(), 1u) << r.err;
    EXPECT_FALSE(dir.exists("uncertainty_evaluations.csv")) << c.says;
  }
  // Bounds equal for every parameter.
  TempDir dir;
  prepare(dir);
  std::vector<std::string> sce = lines_of(dir.read("scein.dat"));
  std::string fixed = sce[0] + "\n" + sce[1] + "\n";
  for (std::size_t i = 2; i < sce.size(); ++i) {
    std::istringstream in(sce[i]);
    std::string v;
    in >> v;  // the initial value becomes both bounds
    char line[40];
    std::snprintf(line, sizeof line, "%10s%10s%10s\n", v.c_str(), v.c_str(), v.c_str());
    fixed += line;
  }
  dir.write("scein.dat", fixed);
  const test::RunResult r = test::run_tarvex({"--uncertainty", "dream"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("equal for every one"), std::string::npos) << r.err;
  EXPECT_FALSE(dir.exists("uncertainty_evaluations.csv"));

  // Options that need the method.
  const test::RunResult b = test::run_tarvex({"--behavioural", "0.3"}, dir.path());
  EXPECT_EQ(b.exit_code, 2);
  const test::RunResult m = test::run_tarvex({"--uncertainty", "bayes"}, dir.path());
  EXPECT_EQ(m.exit_code, 2);
  const test::RunResult e = test::run_tarvex({"--uncertainty", "glue", "--min-ess", "100"}, dir.path());
  EXPECT_EQ(e.exit_code, 2);
  EXPECT_NE(e.err.find("--min-ess needs --uncertainty dream"), std::string::npos) << e.err;
}

TEST(UncertaintyRun, NoBehaviouralPointIsAFailureWithAReport) {
  TempDir dir;
  prepare(dir);
  const test::RunResult r =
      test::run_tarvex({"--uncertainty", "glue", "--samples", "10", "--objective", "nse", "--behavioural", "0.9999"},
                       dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("no behavioural point among the 10 samples (nse >= 0.9999; the best nse is"), std::string::npos)
      << r.err;
  EXPECT_EQ(lines_of(dir.read("uncertainty_evaluations.csv")).size(), 11u);
  EXPECT_FALSE(dir.exists("bands.csv"));
}

// The control file an analysis writes replays its most likely set: the
// calibration mode scores it to the best objective the analysis logged.
TEST(UncertaintyRun, ControlFileOfTheMostLikelySetReplaysIt) {
  for (const char* method : {"glue", "dream"}) {
    TempDir dir;
    prepare(dir);
    ASSERT_EQ(test::run_tarvex({"--uncertainty", method, "--samples", method[0] == 'g' ? "30" : "120"}, dir.path())
                  .exit_code,
              0);
    const std::string control = std::string("Tarvex.") + method + ".in";
    ASSERT_TRUE(dir.exists(control)) << method;
    double best = std::numeric_limits<double>::infinity();
    const std::vector<std::string> rows = lines_of(dir.read("uncertainty_evaluations.csv"));
    std::size_t column = 0;
    for (std::string head = rows[0]; head.substr(0, head.find(',')) != "objective"; head.erase(0, head.find(',') + 1)) {
      ++column;
    }
    for (std::size_t k = 1; k < rows.size(); ++k) {
      std::string v = rows[k];
      for (std::size_t c = 0; c < column; ++c) v.erase(0, v.find(',') + 1);
      best = std::min(best, std::strtod(v.c_str(), nullptr));
    }
    ASSERT_EQ(test::run_tarvex({"--control", control, "--score-control"}, dir.path()).exit_code, 0) << method;
    const std::vector<std::string> log = lines_of(dir.read("min-ris.txt"));
    const std::string obj = log.back().substr(log.back().find('=') + 1);
    EXPECT_EQ(std::strtof(obj.c_str(), nullptr), static_cast<float>(best)) << method;
  }
}

}  // namespace
}  // namespace tarvex

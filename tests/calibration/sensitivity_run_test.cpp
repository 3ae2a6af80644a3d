// The built program's sensitivity analyses and best control file on the
// small test catchment: files independent of the threads, resume after
// kill -9, refused settings, and the best parameters applied.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "support/testkit.hpp"

namespace tarvex {
namespace {

using test::lines_of;
using test::TempDir;

const char* const kFiles[] = {"sensitivity.csv", "sensitivity_evaluations.csv", "sensitivity_checkpoint.txt"};

void prepare(const TempDir& dir) { test::copy_dir(test::test_data_dir() / "small", dir.path()); }

TEST(SensitivityRun, FilesDoNotDependOnThreads) {
  for (const char* method : {"morris", "sobol"}) {
    TempDir one, two;
    prepare(one);
    prepare(two);
    const std::string samples = std::string(method) == "morris" ? "4" : "8";
    const test::RunResult r1 = test::run_tarvex({"--sensitivity", method, "--samples", samples, "-j", "1"}, one.path());
    ASSERT_EQ(r1.exit_code, 0) << r1.err;
    const test::RunResult r2 = test::run_tarvex({"--sensitivity", method, "--samples", samples, "-j", "2"}, two.path());
    ASSERT_EQ(r2.exit_code, 0) << r2.err;
    EXPECT_EQ(r1.out, r2.out);
    for (const char* f : kFiles) EXPECT_EQ(one.read(f), two.read(f)) << method << " " << f;
    // A row per parameter, a row per run after the header.
    EXPECT_EQ(lines_of(one.read("sensitivity.csv")).size(), 10u);
    const std::size_t runs = std::string(method) == "morris" ? 4 * 10 : 8 * 20;
    EXPECT_EQ(lines_of(one.read("sensitivity_evaluations.csv")).size(), runs + 1) << method;
  }
}

TEST(SensitivityRun, ResumeAfterKillEndsWithTheSameFiles) {
  const std::vector<std::string> args = {"--sensitivity", "sobol", "--samples", "16", "-j", "1"};
  TempDir whole, killed;
  prepare(whole);
  prepare(killed);
  ASSERT_EQ(test::run_tarvex(args, whole.path()).exit_code, 0);

  test::kill_once_saved(killed, args, "sensitivity_checkpoint.txt", "\nevaluations 0\n");
  // A row cut short by the kill, past what the checkpoint counts.
  {
    std::ofstream out(killed / "sensitivity_evaluations.csv", std::ios::app);
    out << "999,1,0,0.3";
  }
  std::vector<std::string> resume = args;
  resume.push_back("--resume");
  const test::RunResult r = test::run_tarvex(resume, killed.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  for (const char* f : kFiles) EXPECT_EQ(whole.read(f), killed.read(f)) << f;

  // The objectives already logged are taken from the log, not run again: a
  // changed one changes the indices.
  std::string csv = whole.read("sensitivity_evaluations.csv");
  const std::string cp = whole.read("sensitivity_checkpoint.txt");
  const std::size_t row2 = csv.find("\n2,");
  const std::size_t end2 = csv.find('\n', row2 + 1);
  std::string row = csv.substr(row2 + 1, end2 - row2 - 1);
  std::size_t at = 0;
  for (int c = 0; c < 12; ++c) at = row.find(',', at) + 1;
  const std::size_t stop = row.find(',', at);
  row.replace(at, stop - at, "1000");
  csv = csv.substr(0, row2 + 1) + row + csv.substr(end2);
  whole.write("sensitivity_evaluations.csv", csv);
  whole.write("sensitivity_checkpoint.txt",
              cp.substr(0, cp.find("csv-bytes ")) + "csv-bytes " + std::to_string(csv.size()) + "\n");
  const std::string before = whole.read("sensitivity.csv");
  ASSERT_EQ(test::run_tarvex(resume, whole.path()).exit_code, 0);
  EXPECT_NE(whole.read("sensitivity.csv"), before);
}

TEST(SensitivityRun, RefusesSettingsBeforeAnyEvaluation) {
  TempDir dir;
  prepare(dir);
  test::RunResult r = test::run_tarvex({"--sensitivity", "morris", "--samples", "1"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("at least 2 trajectories"), std::string::npos) << r.err;
  r = test::run_tarvex({"--sensitivity", "sobol", "--samples", "4"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(lines_of(r.err).size(), 1u) << r.err;
  EXPECT_FALSE(dir.exists("sensitivity_evaluations.csv"));

  // Every upper bound set to its lower bound.
  std::vector<std::string> lines = lines_of(dir.read("scein.dat"));
  std::string flat = lines[0] + "\n" + lines[1] + "\n";
  for (std::size_t k = 2; k < lines.size(); ++k) {
    std::istringstream in(lines[k]);
    std::string x0, lo;
    in >> x0 >> lo;
    char b[40];
    std::snprintf(b, sizeof b, "%10s%10s%10s\n", x0.c_str(), lo.c_str(), lo.c_str());
    flat += b;
  }
  dir.write("scein.dat", flat);
  r = test::run_tarvex({"--sensitivity", "sobol"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("equal for every one of the 9 parameters"), std::string::npos) << r.err;
  EXPECT_EQ(lines_of(r.err).size(), 1u);
  EXPECT_FALSE(dir.exists("sensitivity_evaluations.csv"));

  r = test::run_tarvex({"--samples", "5"}, dir.path());
  EXPECT_EQ(r.exit_code, 2);
  r = test::run_tarvex({"--sensitivity", "morris", "--search"}, dir.path());
  EXPECT_EQ(r.exit_code, 2);
}

TEST(BestControl, CalibrationOnTheBestControlFileGivesTheBestObjective) {
  TempDir dir;
  prepare(dir);
  const std::string settings = dir.read("scein.dat");
  dir.write("scein.dat", "  120    5 0.01    2    7    1\n    5    3    5    2    1    0\n" +
                             settings.substr(settings.find('\n', settings.find('\n') + 1) + 1));
  const test::RunResult s = test::run_tarvex({"--search", "-j", "2"}, dir.path());
  ASSERT_EQ(s.exit_code, 0) << s.err;
  const std::string report = dir.read("sceout.dat");
  const std::string key = "  BEST OBJECTIVE (sse) = ";
  const double best = std::strtod(report.c_str() + report.find(key) + key.size(), nullptr);
  const std::string series = dir.read("outlet.out");

  // Only the nine values differ from the control file.
  const std::vector<std::string> a = lines_of(dir.read("Tarvex.in")), b = lines_of(dir.read("Tarvex.best.in"));
  ASSERT_EQ(a.size(), b.size());
  int changed = 0;
  for (std::size_t k = 0; k < a.size(); ++k) changed += a[k] != b[k];
  EXPECT_EQ(changed, 7);  // KS_CLASS 1 to 3 share a record

  const test::RunResult c = test::run_tarvex({"--control", "Tarvex.best.in", "--score-control"}, dir.path());
  ASSERT_EQ(c.exit_code, 0) << c.err;
  EXPECT_EQ(dir.read("outlet.out"), series);
  const std::vector<std::string> log = lines_of(dir.read("min-ris.txt"));
  const std::string obj = log.back().substr(log.back().find('=') + 1);
  EXPECT_EQ(std::strtof(obj.c_str(), nullptr), static_cast<float>(best));

  // Without --score-control the single evaluation keeps scoring scein.dat.
  const test::RunResult d = test::run_tarvex({"--control", "Tarvex.best.in"}, dir.path());
  ASSERT_EQ(d.exit_code, 0) << d.err;
  EXPECT_NE(dir.read("outlet.out"), series);
  EXPECT_EQ(test::run_tarvex({"--control", "missing.in"}, dir.path()).exit_code, 1);
}

}  // namespace
}  // namespace tarvex

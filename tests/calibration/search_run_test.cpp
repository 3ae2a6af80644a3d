// The calibration search of the built program (tarvex --search) on the small
// test catchment: records, thread independence, resume, refused settings.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/testkit.hpp"

namespace tarvex {
namespace {

using test::TempDir;

// 60 trials, 2 complexes of 5 points, the initial vector in the population.
const std::string kSettings =
    "   60    5 0.01    2    7    1\n"
    "    5    3    5    2    1    0\n";

std::string parameter_records() {
  const std::string s = test::read_file(test::test_data_dir() / "small" / "scein.dat");
  std::size_t pos = s.find('\n');
  return s.substr(s.find('\n', pos + 1) + 1);
}

void prepare(const TempDir& dir, const std::string& settings = kSettings) {
  test::copy_dir(test::test_data_dir() / "small", dir.path());
  dir.write("scein.dat", settings + parameter_records());
}

using test::lines_of;

// Field k (from 0) of a CSV row.
double csv_field(const std::string& row, int k) {
  std::size_t pos = 0;
  for (int i = 0; i < k; ++i) pos = row.find(',', pos) + 1;
  return std::strtod(row.c_str() + pos, nullptr);
}

const char* const kRecords[] = {"min-ris.txt", "sce_evaluations.csv", "sceout.dat", "outlet.out",
                                "sce_checkpoint.txt"};

TEST(SearchRun, RecordsAgreeAndDoNotDependOnThreads) {
  TempDir single, one, two;
  for (const TempDir* d : {&single, &one, &two}) prepare(*d);

  // The single evaluation scores the initial vector: the search's first.
  ASSERT_EQ(test::run_tarvex({}, single.path()).exit_code, 0);
  const std::string initial = lines_of(single.read("min-ris.txt")).at(1);

  const test::RunResult r1 = test::run_tarvex({"--search", "-j", "1"}, one.path());
  ASSERT_EQ(r1.exit_code, 0) << r1.err;
  EXPECT_EQ(r1.err, "");
  EXPECT_NE(r1.out.find("FIT OF THE BEST RUN"), std::string::npos);
  const test::RunResult r2 = test::run_tarvex({"--search", "--jobs=2"}, two.path());
  ASSERT_EQ(r2.exit_code, 0) << r2.err;
  EXPECT_EQ(r1.out, r2.out);
  for (const char* f : kRecords) EXPECT_EQ(one.read(f), two.read(f)) << f;

  const auto log = lines_of(one.read("min-ris.txt"));
  const auto csv = lines_of(one.read("sce_evaluations.csv"));
  ASSERT_GE(csv.size(), 61u);
  const std::size_t evals = csv.size() - 1;
  EXPECT_EQ(log.size(), 2 * evals);
  EXPECT_EQ(log[1], initial);
  EXPECT_EQ(csv_field(csv[evals], 0), static_cast<double>(evals));

  const std::string report = one.read("sceout.dat");
  EXPECT_NE(report.find("  TRIALS: " + std::to_string(evals) + " "), std::string::npos);
  const std::string key = "  BEST OBJECTIVE (sse) = ";
  const std::size_t at = report.find(key);
  ASSERT_NE(at, std::string::npos);
  const double best = std::strtod(report.c_str() + at + key.size(), nullptr);
  double lowest = csv_field(csv[1], 12);
  for (std::size_t k = 1; k <= evals; ++k) lowest = std::min(lowest, csv_field(csv[k], 12));
  EXPECT_EQ(best, lowest);
  EXPECT_LE(best, csv_field(csv[1], 12));
  EXPECT_LT(best, std::strtod(initial.c_str() + initial.find('=') + 1, nullptr));
  EXPECT_EQ(lines_of(one.read("outlet.out")).size(), lines_of(single.read("outlet.out")).size());
}

TEST(SearchRun, ResumeAfterAKillEndsLikeTheWholeSearch) {
  TempDir whole, cut;
  prepare(whole);
  prepare(cut);
  ASSERT_EQ(test::run_tarvex({"--search", "-j", "1"}, whole.path()).exit_code, 0);

  test::kill_search_past_first_loop(cut);

  const test::RunResult r = test::run_tarvex({"--search", "--resume", "-j", "2"}, cut.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  for (const char* f : kRecords) EXPECT_EQ(whole.read(f), cut.read(f)) << f;

  // A checkpoint of other settings is refused.
  cut.write("scein.dat", "   60    5 0.01    2    8    1\n    5    3    5    2    1    0\n" + parameter_records());
  const test::RunResult other = test::run_tarvex({"--search", "--resume"}, cut.path());
  EXPECT_EQ(other.exit_code, 1);
  EXPECT_NE(other.err.find("sce_checkpoint.txt"), std::string::npos) << other.err;
}

TEST(SearchRun, RefusesSettingsTheSearchCannotUse) {
  struct Case {
    std::string settings;
    int record;           // parameter record to replace (0: none)
    std::string replacement;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {kSettings, 3, "      0.40       1.0      0.05", "record 3: parameter 1: the lower bound 1 lies above"},
      {kSettings, 4, "       60.        5.       50.", "record 4: parameter 2: the initial value 60 lies outside"},
      {"    9    5 0.01    2    7    1\n    5    3    5    2    1    0\n", 0, "",
       "record 1: MAXTRIALS = 9 is smaller than the initial population"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    prepare(dir, c.settings);
    if (c.record > 0) {
      auto lines = lines_of(dir.read("scein.dat"));
      lines[static_cast<std::size_t>(c.record - 1)] = c.replacement;
      std::string text;
      for (const auto& l : lines) text += l + "\n";
      dir.write("scein.dat", text);
    }
    const test::RunResult r = test::run_tarvex({"--search"}, dir.path());
    EXPECT_EQ(r.exit_code, 1) << c.expected;
    EXPECT_NE(r.err.find("file 'scein.dat': " + c.expected), std::string::npos) << r.err;
    EXPECT_FALSE(dir.exists("min-ris.txt"));
  }
  // Search options without --search are usage errors.
  TempDir dir;
  EXPECT_EQ(test::run_tarvex({"--resume"}, dir.path()).exit_code, 2);
  EXPECT_EQ(test::run_tarvex({"--search", "--objective", "r2"}, dir.path()).exit_code, 2);
}

}  // namespace
}  // namespace tarvex

// The built program's sensitivity and uncertainty analyses with a
// calibration and a validation period on the small test catchment (300
// hourly records from 2020-10-01): the periods are applied, the bands keep
// every observed value, and a resume with other periods is refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/testkit.hpp"

namespace tarvex {
namespace {

using test::lines_of;
using test::TempDir;

const char* const kCalibration = "2020-10-01/2020-10-06";  // records 1 to 144
const char* const kValidation = "2020-10-07/2020-10-12";   // records 145 to 288

void prepare(const TempDir& dir) { test::copy_dir(test::test_data_dir() / "small", dir.path()); }

// Field `column` (from 0) of every data row of a CSV.
std::vector<std::string> column_of(const std::string& csv, std::size_t column) {
  std::vector<std::string> out;
  const std::vector<std::string> rows = lines_of(csv);
  for (std::size_t i = 1; i < rows.size(); ++i) {
    std::size_t at = 0;
    for (std::size_t c = 0; c < column && at != std::string::npos; ++c) {
      at = rows[i].find(',', at);
      if (at != std::string::npos) ++at;
    }
    out.push_back(at == std::string::npos ? "?" : rows[i].substr(at, rows[i].find(',', at) - at));
  }
  return out;
}

std::string line_with(const std::string& text, const std::string& part) {
  for (const std::string& l : lines_of(text)) {
    if (l.find(part) != std::string::npos) return l;
  }
  return "";
}

TEST(AnalysisPeriods, GlueBandsKeepTheValidationObservationsAndReportBothPeriods) {
  TempDir plain, periods;
  prepare(plain);
  prepare(periods);
  const test::RunResult r0 = test::run_tarvex({"--uncertainty", "glue", "--samples", "24", "-j", "2"}, plain.path());
  ASSERT_EQ(r0.exit_code, 0) << r0.err;
  const test::RunResult r = test::run_tarvex({"--uncertainty", "glue", "--samples", "24", "-j", "2",
                                              "--calibration-period", kCalibration, "--validation-period", kValidation},
                                             periods.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;

  // Every observed value as read, as without periods, and each row's period last.
  const std::string bands = periods.read("bands.csv");
  EXPECT_EQ(lines_of(bands)[0], "record,section,observed,q2.5,q5,q50,q95,q97.5,period");
  const std::vector<std::string> observed = column_of(bands, 2);
  ASSERT_EQ(observed.size(), 300u);
  EXPECT_EQ(observed, column_of(plain.read("bands.csv"), 2));
  const std::vector<std::string> period = column_of(bands, 8);
  EXPECT_EQ(period[0], "calibration");
  EXPECT_EQ(period[143], "calibration");
  EXPECT_EQ(period[144], "validation");
  EXPECT_EQ(period[287], "validation");
  EXPECT_EQ(period[299], "");
  EXPECT_NE(observed[200], "");  // left out of the scoring, kept here

  // The band's fit over every value, then on each period, wherever the summary goes.
  const std::string summary = periods.read("uncertainty_summary.txt");
  EXPECT_NE(line_with(summary, "95 % BAND").find("(300 OBSERVED VALUES)"), std::string::npos) << summary;
  EXPECT_NE(line_with(summary, "    CALIBRATION PERIOD " + std::string(kCalibration) + ": P-FACTOR")
                .find("(144 OBSERVED VALUES)"),
            std::string::npos)
      << summary;
  EXPECT_NE(line_with(summary, "    VALIDATION PERIOD " + std::string(kValidation) + ": P-FACTOR")
                .find("(144 OBSERVED VALUES)"),
            std::string::npos)
      << summary;
  EXPECT_NE(summary.find("  SCORED: CALIBRATION PERIOD " + std::string(kCalibration) + " (validation " + kValidation),
            std::string::npos);
  EXPECT_NE(r.out.find(summary), std::string::npos) << r.out;
  EXPECT_NE(periods.read("sceout.dat").find(summary), std::string::npos);
  EXPECT_EQ(r0.out.find("PERIOD"), std::string::npos);
}

TEST(AnalysisPeriods, ResumeWithOtherPeriodsIsRefused) {
  const std::vector<std::vector<std::string>> analyses = {
      {"--sensitivity", "morris", "--samples", "2", "-j", "2"},
      {"--uncertainty", "glue", "--samples", "24", "-j", "2"},
  };
  for (const std::vector<std::string>& analysis : analyses) {
    TempDir dir;
    prepare(dir);
    std::vector<std::string> first = analysis;
    first.insert(first.end(), {"--calibration-period", kCalibration});
    ASSERT_EQ(test::run_tarvex(first, dir.path()).exit_code, 0) << analysis[0];
    const std::string evaluations = analysis[0] == "--sensitivity" ? "sensitivity_evaluations.csv"
                                                                   : "uncertainty_evaluations.csv";
    const std::string logged = dir.read(evaluations);

    std::vector<std::string> none = analysis, other = analysis, same = first;
    none.push_back("--resume");
    other.insert(other.end(), {"--calibration-period", kValidation, "--resume"});
    same.push_back("--resume");
    for (const std::vector<std::string>& resume : {none, other}) {
      const test::RunResult r = test::run_tarvex(resume, dir.path());
      EXPECT_EQ(r.exit_code, 1) << analysis[0] << r.out;
      EXPECT_NE(r.err.find("checkpoint belongs to an analysis with other settings"), std::string::npos) << r.err;
      EXPECT_EQ(dir.read(evaluations), logged) << analysis[0];
    }
    const test::RunResult r = test::run_tarvex(same, dir.path());
    EXPECT_EQ(r.exit_code, 0) << analysis[0] << r.err;
    EXPECT_EQ(dir.read(evaluations), logged) << analysis[0];
  }
}

TEST(AnalysisPeriods, SensitivityScoresTheCalibrationPeriodOnly) {
  TempDir plain, periods;
  prepare(plain);
  prepare(periods);
  const test::RunResult r0 = test::run_tarvex({"--sensitivity", "morris", "--samples", "2", "-j", "2"}, plain.path());
  ASSERT_EQ(r0.exit_code, 0) << r0.err;
  const test::RunResult r = test::run_tarvex(
      {"--sensitivity", "morris", "--samples", "2", "-j", "2", "--calibration-period", kCalibration}, periods.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  // The same points (columns X1..X9), other objectives.
  const std::string a = plain.read("sensitivity_evaluations.csv"), b = periods.read("sensitivity_evaluations.csv");
  EXPECT_EQ(column_of(a, 3), column_of(b, 3));
  const std::vector<std::string> fa = column_of(a, 12), fb = column_of(b, 12);
  ASSERT_EQ(fa.size(), 20u);
  for (std::size_t m = 0; m < fa.size(); ++m) EXPECT_NE(fa[m], fb[m]) << "evaluation " << m + 1;
  const std::string line = "  SCORED: CALIBRATION PERIOD " + std::string(kCalibration);
  EXPECT_NE(r.out.find(line), std::string::npos) << r.out;
  EXPECT_NE(periods.read("sceout.dat").find(line), std::string::npos);
  EXPECT_EQ(plain.read("sceout.dat").find("SCORED"), std::string::npos);
}

}  // namespace
}  // namespace tarvex

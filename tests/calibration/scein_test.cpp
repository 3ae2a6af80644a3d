#include "calibration/scein.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "io/input_error.hpp"
#include "support/testkit.hpp"

namespace tarvex {
namespace {

using test::ChangeDir;
using test::TempDir;

// Runs SCEIN on the given "scein.dat" in a scratch directory; returns the
// report it wrote.
struct SceinRun {
  SceSettings set;
  int32_t errors = -1;
  std::string report;
};

SceinRun run_scein(const std::string& scein) {
  TempDir dir;
  ChangeDir cd(dir.path());
  dir.write("scein.dat", scein);
  SceinRun run;
  std::optional<TextWriter> report;
  run.errors = SCEIN(run.set, report);
  report->close();
  run.report = dir.read("sceout.dat");
  return run;
}

// Nine parameter records, 10 columns per value.
const char* kNineParams =
    "      0.05      0.01       1.0\n"
    "       5.0       1.0      20.0\n"
    "      10.0       1.0      50.0\n"
    "      12.5       1.0      50.0\n"
    "      15.0       1.0      50.0\n"
    "     0.001    0.0001      0.01\n"
    "   36000.0    3600.0  360000.0\n"
    "       2.0       0.5       5.0\n"
    "       0.2      0.05       0.5\n";

const char* kFiveParams =
    "       1.0       0.0       2.0\n"
    "       1.0       0.0       2.0\n"
    "       1.0       0.0       2.0\n"
    "       1.0       0.0       2.0\n"
    "       1.0       0.0       2.0\n";

// The report's title, its tables of settings with the given rows, and the
// parameter records of kNineParams as the report shows them.
const std::string kTitle =
    "          SHUFFLED COMPLEX EVOLUTION GLOBAL OPTIMIZATION\n"
    "          ==============================================\n"
    "\n"
    "\n";

std::string tables(const std::string& control, const std::string& algorithm, const std::string& complexes) {
  return "  SCE CONTROL     MAX TRIALS     REQUIRED IMPROVEMENT     RANDOM\n"
         "   PARAMETER        ALLOWED      PERCENT    NO. LOOPS      SEED\n"
         "  -----------     ----------     -------    ---------     ------\n" +
         control +
         "\n"
         "\n"
         "                  SCE ALGORITHM CONTROL PARAMETERS\n"
         "                  ================================\n"
         "\n"
         "  NUMBER OF     POINTS PER     POINTS IN      POINTS PER    EVOL. STEPS\n"
         "  COMPLEXES      COMPLEX      INI. POPUL.     SUB-COMPLX    PER COMPLEX\n"
         "  ---------     ----------    -----------     ----------    -----------     \n" +
         algorithm +
         "\n"
         "\n"
         "               COMPLX NO.     MIN COMPLEX     INI.POINT\n"
         "               REDUCTION      NO. ALLOWED      INCLUDED\n"
         "               ----------     -----------     ----------\n" +
         complexes +
         "\n"
         "\n"
         "        INITIAL PARAMETER VALUES AND PARAMETER BOUNDS\n"
         "        =============================================\n"
         "\n"
         "  PARAMETER     INITIAL VALUE     LOWER BOUND     UPPER BOUND\n"
         "  ---------     -------------     -----------     -----------\n";
}

const std::string kNineRows =
    "      X1               0.050           0.010           1.000\n"
    "      X2               5.000           1.000          20.000\n"
    "      X3              10.000           1.000          50.000\n"
    "      X4              12.500           1.000          50.000\n"
    "      X5              15.000           1.000          50.000\n"
    "    X6                 0.001           0.000           0.010\n"
    "      X7           36000.000        3600.000      360000.000\n"
    "      X8               2.000           0.500           5.000\n"
    "      X9               0.200           0.050           0.500\n";

TEST(SceinReport, DefaultSettingsGolden) {
  // PCTCHANGE "1" has two implied decimals; SEED 0 becomes 1969.
  SceinRun r = run_scein(
      " 1000    5    1    3    0    0\n"
      "this record is ignored\n" +
      std::string(kNineParams));
  EXPECT_EQ(r.errors, 0);
  const std::string expected =
      kTitle +
      tables("    DEFAULT          1000          1.0          5          1969\n",
             "      3             19             57             10             19          \n",
             "                  NO               3             NO  \n") +
      kNineRows;
  EXPECT_EQ(r.report, expected);
  EXPECT_EQ(r.set.NPAR, 9);
  EXPECT_EQ(r.set.SEED, 1969);
  EXPECT_DOUBLE_EQ(r.set.PCTCHANGE, 0.01);
  EXPECT_EQ(r.set.PAR0(7), 36000.0);
}

TEST(SceinReport, UserSettingsWithWarningsGolden) {
  // kstop 20, MINCPX 100, NPG 1, NPS 60 and NSPL 0 are all replaced; the
  // messages show the values as given (100 does not fit I2). PCTCHANGE 0.1
  // is 10.0 percent, too wide for its field. Parameter 10 has blanks inside
  // its fields, parameter 11 is a blank record, parameter 12 does not fit.
  SceinRun r = run_scein(
      " 5000   20  0.1    2   -7    1\n"
      "    1   60    0  100    1    0\n" +
      std::string(kNineParams) +
      "  1 2 . 5   - 3.25    1 0 0\n"
      "\n"
      "1234567.0 -99999.999\n");
  EXPECT_EQ(r.errors, 0);
  const std::string expected =
      kTitle +
      " **WARNING** THE NUMBER OF SHUFFLING LOOPS IN WHICH THE CRITERION VALUE MUST CHANGE\n"
      "             SHOULD BE GREATER THAN 0 AND LESS THAN 10.  kstop = 20 WAS SPECIFIED.\n"
      "             BUT kstop = 5 WILL BE USED INSTEAD.\n"
      "\n"
      "\n"
      " **WARNING** THE MINIMUM NUMBER OF COMPLEXES ** IS NOT A VALID CHOICE. SET IT TO DEFAULT\n"
      "\n"
      "\n"
      " **WARNING** THE NUMBER OF POINTS IN A COMPLEX    1 IS NOT A VALID CHOICE, SET IT TO DEFAULT\n"
      "\n"
      "\n"
      " **WARNING** THE NUMBER OF POINTS IN A SUB-COMPLEX   60 IS NOT A VALID CHOICE, SET IT TO DEFAULT\n"
      "\n"
      "\n"
      " **WARNING** THE NUMBER OF EVOLUTION STEPS TAKEN IN EACH COMPLEX BEFORE SHUFFLING   0\n"
      "             IS NOT A VALID CHOICE, SET IT TO DEFAULT\n"
      "\n"
      "\n"
      " *** TOTAL NUMBER OF WARNING MESSAGES IS 5\n"
      "\n"
      "\n" +
      tables("   USER SPEC.        5000          ***          5            -7\n",
             "      2             25             50             13             25          \n",
             "                  NO               2             YES \n") +
      kNineRows +
      "     X10              12.500          -3.250         100.000\n"
      "     X11               0.000           0.000           0.000\n"
      "     X12          **********      -99999.999           0.000\n";
  EXPECT_EQ(r.report, expected);
  EXPECT_EQ(r.set.NPAR, 12);
  EXPECT_EQ(r.set.MINCPX, 2);
  EXPECT_EQ(r.set.INIPT, 1);
  EXPECT_EQ(r.set.PRINTFLG, 0);
}

TEST(SceinSettings, DefaultsFollowTheParameterCount) {
  SceinRun r = run_scein("  500    0    5    4   11    0\n\n" + std::string(kFiveParams));
  EXPECT_EQ(r.errors, 0);
  EXPECT_EQ(r.set.NPAR, 5);
  EXPECT_EQ(r.set.NPG, 11);
  EXPECT_EQ(r.set.NPS, 6);
  EXPECT_EQ(r.set.NSPL, 11);
  EXPECT_EQ(r.set.MINCPX, 4);
  EXPECT_EQ(r.set.INIPT, 0);
  EXPECT_EQ(r.set.PRINTFLG, 0);
  EXPECT_EQ(r.set.kstop, 0);  // 0 is accepted without a warning
  EXPECT_EQ(r.set.SEED, 11);
  EXPECT_EQ(r.report.find("WARNING"), std::string::npos);
  EXPECT_NE(r.report.find("\n    DEFAULT           500          5.0          0            11\n"),
            std::string::npos)
      << r.report;
}

TEST(SceinSettings, OversizedPopulationFallsBackToTwoComplexes) {
  SceinRun r = run_scein(" 1000    5    1  200    0    0\n\n" + std::string(kFiveParams));
  EXPECT_EQ(r.errors, 0);
  // NPG 11 is above 1320 div 200 = 6 and is kept; 200 x 11 points then
  // exceed the population limit.
  EXPECT_NE(r.report.find(" **WARNING** THE NUMBER OF POINTS IN A COMPLEX   11 IS NOT"), std::string::npos);
  EXPECT_NE(r.report.find(" **WARNING** THE NUMBER OF POINTS IN INITIAL POPULATION  2200 EXCEED THE "
                          "POPULATION LIMIT,\n"
                          "             SET NGS TO 2, AND NPG, NPS AND NSPL TO DEFAULTS\n"),
            std::string::npos);
  EXPECT_NE(r.report.find(" *** TOTAL NUMBER OF WARNING MESSAGES IS 2\n"), std::string::npos);
  EXPECT_NE(r.report.find("\n      2             11             22              6             11          \n"),
            std::string::npos)
      << r.report;
  // MINCPX keeps 200, which is not below NGS: no reduction.
  EXPECT_EQ(r.set.MINCPX, 200);
  EXPECT_NE(r.report.find("\n                  NO             200             NO  \n"), std::string::npos);
}

TEST(SceinSettings, KstopAboveNineteenIsReplaced) {
  SceinRun r = run_scein(" 1000   20    1    2    0    0\n\n" + std::string(kNineParams));
  EXPECT_EQ(r.set.kstop, 5);
  EXPECT_NE(r.report.find("kstop = 20 WAS SPECIFIED."), std::string::npos);
  SceinRun r19 = run_scein(" 1000   19    1    2    0    0\n\n" + std::string(kNineParams));
  EXPECT_EQ(r19.set.kstop, 19);
  EXPECT_EQ(r19.report.find("WARNING"), std::string::npos);
}

TEST(SceinSettings, InvalidComplexCountIsRefusedAfterAllTables) {
  SceinRun r = run_scein(" 1000   -1    1    0    0    0\n\n" + std::string(kNineParams));
  EXPECT_EQ(r.errors, 1);
  const std::string head =
      kTitle +
      " **ERROR** NUMBER OF COMPLEXES IN INITIAL  POPULATION     0 IS NOT A VALID CHOICE\n"
      "\n"
      "\n"
      " **WARNING** THE NUMBER OF SHUFFLING LOOPS IN WHICH THE CRITERION VALUE MUST CHANGE\n"
      "             SHOULD BE GREATER THAN 0 AND LESS THAN 10.  kstop = -1 WAS SPECIFIED.\n"
      "             BUT kstop = 5 WILL BE USED INSTEAD.\n"
      "\n"
      "\n"
      " **WARNING** THE MINIMUM NUMBER OF COMPLEXES  0 IS NOT A VALID CHOICE. SET IT TO DEFAULT\n"
      "\n"
      "\n"
      " *** TOTAL NUMBER OF ERROR MESSAGES IS 1\n"
      "\n"
      "\n"
      " *** TOTAL NUMBER OF WARNING MESSAGES IS 2\n"
      "\n"
      "\n"
      "  SCE CONTROL ";
  EXPECT_EQ(r.report.substr(0, head.size()), head);
  const std::string tail =
      "      X9               0.200           0.050           0.500\n"
      "\n"
      "\n"
      "*** THE OPTIMIZATION SEARCH IS NOT CONDUCTED BECAUSE OF INPUT DATA ERROR ***\n";
  ASSERT_GE(r.report.size(), tail.size());
  EXPECT_EQ(r.report.substr(r.report.size() - tail.size()), tail);
  EXPECT_NE(r.report.find("\n      0             19              0             10             19          \n"),
            std::string::npos);
  EXPECT_NE(r.report.find("INI.POINT"), std::string::npos);
}

TEST(SceinSettings, SmallPercentFitsItsField) {
  // 0.005 is shown as 0.5 percent; a negative value drops its leading zero.
  SceinRun r = run_scein(" 1000    5 .005    2    0    0\n\n" + std::string(kNineParams));
  EXPECT_NE(r.report.find("          0.5          5"), std::string::npos);
  SceinRun n = run_scein(" 1000    5  -.5    2    0    0\n\n" + std::string(kNineParams));
  EXPECT_NE(n.report.find("          ***          5"), std::string::npos);
  SceinRun m = run_scein(" 1000    5-.005    2    0    0\n\n" + std::string(kNineParams));
  EXPECT_NE(m.report.find("         -.5          5"), std::string::npos) << m.report;
}

TEST(SceinInput, MissingFileAndMalformedRecordsThrow) {
  {
    TempDir dir;
    ChangeDir cd(dir.path());
    SceSettings set;
    std::optional<TextWriter> report;
    EXPECT_THROW(SCEIN(set, report), InputError);
  }
  auto message = [](const std::string& scein) {
    try {
      run_scein(scein);
    } catch (const InputError& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  std::string m = message(" 1000    x    1    2    0    0\n\n" + std::string(kNineParams));
  EXPECT_NE(m.find("scein.dat"), std::string::npos) << m;
  EXPECT_NE(m.find("record 1, columns 6-10"), std::string::npos) << m;
  m = message(" 1000    5    1    2    0    1\n    9    5   11    2    1  abc\n" + std::string(kNineParams));
  EXPECT_NE(m.find("record 2, columns 26-30"), std::string::npos) << m;
  m = message(" 1000    5    1    2    0    0\n\n" + std::string(kNineParams) +
              "       1.0       0.0      x2.0\n");
  EXPECT_NE(m.find("record 12, columns 21-30"), std::string::npos) << m;
  // Record 2 must be present even when it is not used.
  m = message(" 1000    5    1    2    0    0\n");
  EXPECT_NE(m.find("scein.dat"), std::string::npos) << m;
}

TEST(SceinInput, SixteenParametersAreTheLimit) {
  std::string sixteen;
  for (int k = 0; k < 16; ++k) sixteen += "       1.0       0.0       2.0\n";
  SceinRun r = run_scein(" 1000    5    1    2    0    0\n\n" + sixteen);
  EXPECT_EQ(r.set.NPAR, 16);
  EXPECT_NE(r.report.find("\n    X15 "), std::string::npos);
  EXPECT_NE(r.report.find("\n     X16 "), std::string::npos);
  try {
    run_scein(" 1000    5    1    2    0    0\n\n" + sixteen + "\n");
    FAIL() << "a 17th parameter record was accepted";
  } catch (const InputError& e) {
    const std::string m = e.what();
    EXPECT_NE(m.find("scein.dat"), std::string::npos) << m;
    EXPECT_NE(m.find("record 19"), std::string::npos) << m;
  }
}

TEST(SceinInput, ShortRecordsReadBlanks) {
  // Record 1 holds MAXTRIALS only; parameter records hold the initial value.
  SceinRun r = run_scein("   50\n\n       1.5\n   2\n");
  EXPECT_EQ(r.set.MAXTRIALS, 50);
  EXPECT_EQ(r.set.kstop, 0);
  EXPECT_EQ(r.set.NGS, 0);
  EXPECT_EQ(r.set.SEED, 1969);
  EXPECT_EQ(r.set.NPAR, 2);
  EXPECT_EQ(r.set.PAR0(1), 1.5);
  EXPECT_EQ(r.set.PARHI(1), 0.0);
  EXPECT_EQ(r.set.PAR0(2), 2.0);
  EXPECT_EQ(r.errors, 1);  // NGS 0
}

}  // namespace
}  // namespace tarvex

#include "calibration/scemain.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "io/input_error.hpp"
#include "model/limits.hpp"
#include "model/warn_error.hpp"
#include "small_catchment.hpp"
#include "support/testkit.hpp"

namespace tarvex {
namespace {

using test::ChangeDir;
using test::TempDir;

// Default settings with the nine parameters of the small catchment.
const char* kScein =
    "  100    5    1    2 1234    0\n"
    "\n"
    "     0.025     0.001       1.0\n"
    "       5.0       1.0      20.0\n"
    "      10.0       1.0      50.0\n"
    "      12.0       1.0      50.0\n"
    "      14.0       1.0      50.0\n"
    "      0.02     0.001       0.1\n"
    "   36000.0    3600.0  360000.0\n"
    "       2.0       0.5       5.0\n"
    "       0.2      0.05       0.5\n";

std::string control_file(const std::string& obs, int32_t head, int32_t n_obs) {
  return "Tarvex control file\nfor the calibration tests\nobserved discharge file:\n" + obs +
         "   observed series\nheader records:\n" + std::to_string(head) + "\nobserved values:\n" +
         std::to_string(n_obs) + "\n";
}

std::string obs_file(int32_t head, int32_t n) {
  std::string t;
  for (int32_t k = 1; k <= head; ++k) t += "header " + std::to_string(k) + "\n";
  // Each record holds a second number, which is ignored.
  for (int32_t k = 1; k <= n; ++k) t += "  " + std::to_string(0.001 * (k % 5)) + "  99.0\n";
  return t;
}

const std::string kBanner =
    "\n"
    "\n"
    "  ==================================================\n"
    "  ENTER THE SHUFFLED COMPLEX EVOLUTION GLOBAL SEARCH\n"
    "  ==================================================\n";

class ScemainTest : public ::testing::Test {
 protected:
  ScemainTest() : cd_(dir_.path()), s_(std::make_unique<ModelState>()) {
    test::build_small_catchment(*s_, 48, 3600.0f);
  }
  ModelState& s() { return *s_; }
  // The calibration pass as the driver runs it after loading: 1 after a
  // numbered refusal.
  int scemain() {
    const auto ctl = ControlFile::read("Tarvex.in", 4);
    try {
      return SCEMAIN(*s_, ctl ? *ctl : ControlFile());
    } catch (const RunRefused&) {
      return 1;
    }
  }
  bool ends_with(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
  }

  TempDir dir_;
  ChangeDir cd_;
  std::unique_ptr<ModelState> s_;
};

TEST_F(ScemainTest, DefaultRunScoresTheInitialVector) {
  dir_.write("scein.dat", kScein);
  dir_.write("Tarvex.in", control_file("'obs q.txt'", 2, 48));
  dir_.write("obs q.txt", obs_file(2, 48));
  int status = -1;
  const std::string out = test::capture_stdout([&] { status = scemain(); });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, "");  // the evaluation is silent

  const std::string report = dir_.read("sceout.dat");
  EXPECT_TRUE(ends_with(report, "      X9               0.200           0.050           0.500\n" + kBanner))
      << report;
  EXPECT_NE(report.find("\n    DEFAULT           100          1.0          5          1234\n"),
            std::string::npos);

  // Header records skipped; the second value of each record ignored.
  EXPECT_EQ(s().forcing.Q_OBS(1, 1), 0.001f);
  EXPECT_EQ(s().forcing.Q_OBS(4, 1), 0.004f);
  EXPECT_EQ(s().forcing.Q_OBS(5, 1), 0.0f);
  EXPECT_EQ(s().params.A_CHANNEL, 0.025f);

  float of = 0.0f;
  for (int32_t n = 1; n <= 48; ++n) {
    const float d = s().results.Q_SECTION(n, 1) - s().forcing.Q_OBS(n, 1);
    of = of + d * d;
  }
  const std::string log = dir_.read("min-ris.txt");
  EXPECT_EQ(log.rfind(" Parameter values: 0.025 5 10 12 14 0.02 36000 2 0.2\n Objective function = ", 0), 0u)
      << log;
  EXPECT_EQ(std::strtof(log.c_str() + log.find("= ") + 2, nullptr), of);
  const std::string outlet = dir_.read("outlet.out");
  EXPECT_EQ(std::count(outlet.begin(), outlet.end(), '\n'), 48);
  EXPECT_EQ(outlet.rfind(" 1 ", 0), 0u);
}

TEST_F(ScemainTest, FirstRecordIsDataWithoutHeaderAndNoObservationsStillRun) {
  dir_.write("scein.dat", kScein);
  dir_.write("Tarvex.in", control_file("obs.txt", 0, 3));
  dir_.write("obs.txt", "0.5\n0.25, 7\n0.125\n");
  EXPECT_EQ(scemain(), 0);
  EXPECT_EQ(s().forcing.Q_OBS(1, 1), 0.5f);
  EXPECT_EQ(s().forcing.Q_OBS(2, 1), 0.25f);
  EXPECT_EQ(s().forcing.Q_OBS(3, 1), 0.125f);

  // A record without a value: the read goes on to the next record.
  dir_.write("obs.txt", "0.5\n\n0.75 9\n0.375\n");
  EXPECT_EQ(scemain(), 0);
  EXPECT_EQ(s().forcing.Q_OBS(1, 1), 0.5f);
  EXPECT_EQ(s().forcing.Q_OBS(2, 1), 0.75f);
  EXPECT_EQ(s().forcing.Q_OBS(3, 1), 0.375f);

  dir_.write("Tarvex.in", control_file("obs.txt", 0, 0));
  std::filesystem::remove(dir_ / "obs.txt");
  dir_.write("obs.txt", "");
  EXPECT_EQ(scemain(), 0);
  EXPECT_EQ(test::read_file(dir_ / "outlet.out").empty(), false);
}

TEST_F(ScemainTest, WithoutCrossSectionEachRecordIsSkipped) {
  s().catchment.N_SECTIONS = 0;
  dir_.write("scein.dat", kScein);
  dir_.write("Tarvex.in", control_file("obs.txt", 1, 3));
  dir_.write("obs.txt", "head\nnot a number\n\nx y z\n");
  EXPECT_EQ(scemain(), 0);
  EXPECT_EQ(dir_.read("outlet.out"), "");
  dir_.write("Tarvex.in", control_file("obs.txt", 1, 4));
  EXPECT_THROW(scemain(), InputError);  // the file ends before record 4
}

TEST_F(ScemainTest, TooManyObservationsAreRefusedWithoutRun) {
  dir_.write("scein.dat", kScein);
  dir_.write("Tarvex.in", control_file("obs.txt", 0, 40001));
  int status = -1;
  const std::string out = test::capture_stdout([&] { status = scemain(); });
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out, "\n The number of discharge data exceeds the dimension of the file\n\n");
  EXPECT_FALSE(dir_.exists("min-ris.txt"));
  EXPECT_FALSE(dir_.exists("outlet.out"));
  // A refused pass leaves no report: it no longer keeps the settings tables
  // written before the refusal.
  EXPECT_FALSE(dir_.exists("sceout.dat"));
}

TEST_F(ScemainTest, FortyThousandObservationsAreAccepted) {
  s().forcing.N_DATA = 24;
  s().plan_steps();
  dir_.write("scein.dat", kScein);
  dir_.write("Tarvex.in", control_file("obs.txt", 0, 40000));
  std::string obs;
  obs.reserve(40000 * 4);
  for (int k = 0; k < 40000; ++k) obs += "0.5\n";
  dir_.write("obs.txt", obs);
  EXPECT_EQ(scemain(), 0);
  EXPECT_EQ(s().forcing.Q_OBS(40000, 1), 0.5f);
}

TEST_F(ScemainTest, InvalidComplexCountStopsBeforeAnyRun) {
  dir_.write("scein.dat", std::string("  100    5    1 1320    0    0\n\n") + (kScein + 32));
  int status = -1;
  const std::string out = test::capture_stdout([&] { status = scemain(); });
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out, "");
  EXPECT_TRUE(
      ends_with(dir_.read("sceout.dat"),
                "\n\n*** THE OPTIMIZATION SEARCH IS NOT CONDUCTED BECAUSE OF INPUT DATA ERROR ***\n"));
  EXPECT_FALSE(dir_.exists("min-ris.txt"));
  EXPECT_FALSE(dir_.exists("outlet.out"));
}

TEST_F(ScemainTest, FewerThanNineParametersAreRefusedBeforeAnyRun) {
  dir_.write("scein.dat", std::string(kScein, 32 + 31 * 8));  // eight parameter records
  dir_.write("Tarvex.in", control_file("obs.txt", 0, 3));
  dir_.write("obs.txt", "1\n2\n3\n");
  test::expect_input_error([&] { scemain(); }, {"scein.dat", "8 parameter records"});
  EXPECT_FALSE(dir_.exists("min-ris.txt"));
  EXPECT_FALSE(dir_.exists("outlet.out"));
  // A failed pass leaves no report (it used to keep the settings tables).
  EXPECT_FALSE(dir_.exists("sceout.dat"));
  EXPECT_EQ(s().forcing.Q_OBS(1, 1), 0.0f);
}

// kScein with record `record` (3 to 11: parameters 1 to 9) replaced.
std::string scein_with(int32_t record, const std::string& line) {
  std::string t = kScein;
  std::size_t at = 0;
  for (int32_t r = 1; r < record; ++r) at = t.find('\n', at) + 1;
  return t.replace(at, t.find('\n', at) - at, line);
}

TEST_F(ScemainTest, ModelParametersThatCannotBeSimulatedAreRefusedBeforeAnyRun) {
  dir_.write("Tarvex.in", control_file("obs.txt", 0, 3));
  dir_.write("obs.txt", "1\n2\n3\n");
  const struct {
    int32_t record;
    const char* line;
    const char* expected;
  } cases[] = {
      {9, "       0.0    3600.0  360000.0", "(TAU_SUB) must be positive"},
      {4, "   1.0e-45       1.0      20.0", "(WD_HILL) lies outside"},
      {5, "      -1.0       1.0      50.0", "(KS_CLASS(1)) must be positive"},
      {3, "    1.0e39     0.001       1.0", "(A_CHANNEL) is beyond the range"},
      {11, "     -0.01      0.05       0.5", "(IA_RATIO) must not be negative"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    dir_.write("scein.dat", scein_with(c.record, c.line));
    test::expect_input_error([&] { scemain(); }, {"scein.dat': record " + std::to_string(c.record), c.expected});
    EXPECT_FALSE(dir_.exists("min-ris.txt"));
  }
  // A class no catchment cell uses may have any coefficient.
  dir_.write("scein.dat", scein_with(6, "       0.0       1.0      50.0"));
  EXPECT_EQ(test::capture_stdout([&] { EXPECT_EQ(scemain(), 0); }), "");
  EXPECT_TRUE(dir_.exists("min-ris.txt"));
}

TEST_F(ScemainTest, ObservedValuesThatAreNoDischargesAreRefused) {
  dir_.write("scein.dat", kScein);
  dir_.write("Tarvex.in", control_file("obs.txt", 1, 3));
  dir_.write("obs.txt", "header\n1.\n-2e7\n3.\n");
  test::expect_input_error([&] { scemain(); }, {"obs.txt': record 3: observed discharge value 2: -2e+07 m3/s"});
  EXPECT_FALSE(dir_.exists("min-ris.txt"));
  dir_.write("obs.txt", "header\n1.\n-1e7\n3.\n");
  EXPECT_EQ(test::capture_stdout([&] { EXPECT_EQ(scemain(), 0); }), "");
}

TEST_F(ScemainTest, ObservedFileErrorsNameFileAndRecord) {
  dir_.write("scein.dat", kScein);
  dir_.write("Tarvex.in", control_file("missing.txt", 0, 3));
  EXPECT_THROW(scemain(), InputError);
  dir_.write("Tarvex.in", control_file("obs.txt", 1, 3));
  dir_.write("obs.txt", "head\n1.0\nabc\n3.0\n");
  test::expect_input_error([&] { scemain(); }, {"obs.txt", "record 3"});
  EXPECT_FALSE(dir_.exists("min-ris.txt"));
}

}  // namespace
}  // namespace tarvex

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include "io/control_file.hpp"
#include "io/input_error.hpp"
#include "output/write_output.hpp"
#include "support/small_state.hpp"
#include "support/testkit.hpp"

namespace tarvex {
namespace {

using test::ChangeDir;
using test::TempDir;

// Control file: label records, the output marker and the output section.
std::string control(const std::string& output_section) {
  return "Tarvex control file\n1 label\n2 label\nA51\nname.dat\nA67 output settings\n" + output_section;
}

std::string section(int32_t components, int32_t kind) {
  return "flow.out   discharge at the outlet\nFlow components (1 = total only)\n" + std::to_string(components) +
         "\nOutput kind (1 = series, 2 = annual maxima)\n" + std::to_string(kind) + "\n";
}

std::unique_ptr<ModelState> output_state(int32_t ni, int32_t nj, int32_t mode = 3) {
  auto s = test::small_state(ni, nj, mode);
  s->catchment.N_SECTIONS = 1;
  s->run.CUM_RAIN.fill(1.0f);
  s->forcing.RAIN_STATION_MAP.fill(1);
  s->forcing.TEMP_STATION_MAP.fill(1);
  s->catchment.SLOPE.fill(0.5f);
  return s;
}

using test::files_in;

// Runs in a scratch working directory.
class WriteOutput : public ::testing::Test {
 protected:
  // Writes the control file with the given output section.
  void control_file(const std::string& output_section) { d.write("Tarvex.in", control(output_section)); }
  TempDir d;
  ChangeDir cd{d.path()};
};

int32_t write(ModelState& s, int32_t nsteps) {
  RecordReader text("Tarvex.in");
  ControlFile ctl;
  ctl.output = ControlFile::read_output(text, s.catchment.N_SECTIONS);
  return WRITE_OUTPUT(s, ctl, nsteps);
}

TEST_F(WriteOutput, NoCrossSectionWritesOnlyTheGridFiles) {
  control_file("");  // no flags after the marker
  auto s = output_state(2, 2);
  s->catchment.N_SECTIONS = 0;
  EXPECT_EQ(write(*s, 7), 7);
  EXPECT_EQ(files_in(d),
            (std::set<std::string>{"Tarvex.in", "TotRain.out", "RaingThDistr.out", "TempStDistr.out", "Slope.out"}));
}

TEST_F(WriteOutput, EventRunWritesThreeGridFiles) {
  control_file("");
  auto s = output_state(1, 3, 2);
  s->catchment.N_SECTIONS = 0;
  write(*s, 0);
  EXPECT_EQ(files_in(d), (std::set<std::string>{"Tarvex.in", "TotRain.out", "RaingThDistr.out", "Slope.out"}));
  // A one-row grid gives one line per file.
  EXPECT_EQ(d.read("RaingThDistr.out"), "  1  1  1\n");
}

TEST_F(WriteOutput, GridFilesHoldFixedWidthRows) {
  control_file("");
  auto s = output_state(2, 3);
  s->catchment.N_SECTIONS = 0;
  const float rain[2][3] = {{1234.5f, -1.0f, 0.25f}, {1e12f, 0.0f, 1e8f}};
  const int32_t gauge[2][3] = {{1, 2, -1}, {4, 1000, 3}};
  const float slope[2][3] = {{0.0123f, -1.0f, 0.5f}, {12.25f, 1000.0f, 0.00005f}};
  for (int32_t i = 1; i <= 2; ++i) {
    for (int32_t j = 1; j <= 3; ++j) {
      s->run.CUM_RAIN(i, j) = rain[i - 1][j - 1];
      s->forcing.RAIN_STATION_MAP(i, j) = gauge[i - 1][j - 1];
      s->forcing.TEMP_STATION_MAP(i, j) = gauge[1 - (i - 1)][j - 1];
      s->catchment.SLOPE(i, j) = slope[i - 1][j - 1];
    }
  }
  write(*s, 0);
  EXPECT_EQ(d.read("TotRain.out"),
            "     1234.50       -1.00        0.25\n"
            "************        0.00100000000.00\n");  // full fields touch
  EXPECT_EQ(d.read("RaingThDistr.out"), "  1  2 -1\n  4***  3\n");
  EXPECT_EQ(d.read("TempStDistr.out"), "  4***  3\n  1  2 -1\n");
  EXPECT_EQ(d.read("Slope.out"), "  0.0123  -1.0000   0.5000 \n 12.2500 ********   0.0000 \n");
}

TEST_F(WriteOutput, FullWidthRowStaysOnOneLine) {
  control_file("");
  auto s = output_state(1, 1000);
  s->catchment.N_SECTIONS = 0;
  s->catchment.SLOPE(1, 1000) = 0.25f;
  write(*s, 0);
  // 1000 values of "  0.5000 " then the line end; the last value keeps its blank.
  std::string slope;
  for (int32_t j = 1; j < 1000; ++j) slope += "  0.5000 ";
  EXPECT_EQ(d.read("Slope.out"), slope + "  0.2500 \n");
  const std::string rain = d.read("TotRain.out");
  EXPECT_EQ(rain.size(), 12u * 1000u + 1u);
  EXPECT_EQ(rain.find('\n'), 12000u);
}

void fill_series(ModelState& s, int32_t n) {
  for (int32_t k = 1; k <= n; ++k) {
    s.results.Q_SECTION_SURF(k, 1) = static_cast<float>(k);
    s.results.Q_SECTION(k, 1) = 2.0f * static_cast<float>(k);
  }
}

TEST_F(WriteOutput, SeriesAveragedOverTheRainfallStep) {
  control_file(section(2, 1));
  auto s = output_state(1, 1);
  s->params.DT_SIM = 900.0f;  // R = 4
  s->plan_steps();
  fill_series(*s, 10);
  s->results.Q_SECTION_SURF(11, 1) = 1e30f;  // past the run: never read
  EXPECT_EQ(write(*s, 10), 2);
  EXPECT_EQ(d.read("flow.out"),
            " Simulated river flow\n"
            "   Step   Surface Flow    Total Flow\n"
            "      1      2.50000      5.00000\n"
            "      2      6.50000     13.00000\n");
}

TEST_F(WriteOutput, EqualStepsCopyTheSeries) {
  control_file(section(1, 1));
  auto s = output_state(1, 1);
  s->results.Q_SECTION(1, 1) = 0.123456f;
  s->results.Q_SECTION(2, 1) = 7.000004f;
  s->results.Q_SECTION(3, 1) = 123456.7f;  // too wide for its field
  s->results.Q_SECTION_SURF(1, 1) = 99.0f;
  EXPECT_EQ(write(*s, 3), 3);
  EXPECT_EQ(d.read("flow.out"),
            " Simulated river flow\n"
            "    Step    Total Flow\n"
            "      1      0.12346\n"
            "      2      7.00000\n"
            "      3   **********\n");
}

TEST_F(WriteOutput, AnnualMaximaStopAtTheLastStep) {
  for (int32_t kind : {2, 3}) {
    SCOPED_TRACE(kind);
    control_file(section(2, kind));
    auto s = output_state(1, 1);
    for (int32_t k = 1; k <= 8780; ++k) s->results.Q_SECTION(k, 1) = 1.0f;
    const int32_t n = 8760 + 5;
    s->results.Q_SECTION(4000, 1) = 12.5f;
    s->results.Q_SECTION(8763, 1) = 3.25f;
    s->results.Q_SECTION(8770, 1) = 500.0f;  // after the last step
    EXPECT_EQ(write(*s, n), n);
    EXPECT_EQ(d.read("flow.out"),
              " Simulated annual maximum flow\n"
              "    Year    Total Flow\n"
              "      1     12.50000\n"
              "      2      3.25000\n");
  }
}

TEST_F(WriteOutput, AnnualMaximaOfAFullRecord) {
  control_file(section(1, 2));
  auto s = output_state(1, 1);
  for (int32_t k = 1; k <= kLimits.records; ++k) s->results.Q_SECTION(k, 1) = static_cast<float>(k % 100);
  s->results.Q_SECTION(kLimits.records, 1) = 640.0f;
  write(*s, kLimits.records);
  const std::string text = d.read("flow.out");
  EXPECT_NE(text.find("\n      4     99.00000\n      5    640.00000\n"), std::string::npos) << text;
}

TEST_F(WriteOutput, MissingMarkerIsAnInputError) {
  d.write("Tarvex.in", "title\nA51\nname\n");
  auto s = output_state(1, 1);
  EXPECT_THROW(write(*s, 1), InputError);
}

}  // namespace
}  // namespace tarvex

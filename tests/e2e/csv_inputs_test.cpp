// Dated CSV inputs through the built program: the example in CSV form gives
// the results of its text form, a row's time is the start of its record,
// and the refusals name the file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/testkit.hpp"

namespace tarvex {
namespace {

namespace fs = std::filesystem;
using test::run_tarvex;
using test::TempDir;

// Renames the files a control file names (whole records).
void rename_in_control(const TempDir& d, const std::map<std::string, std::string>& names) {
  std::string out;
  for (const std::string& line : test::lines_of(d.read("Tarvex.in"))) {
    auto it = names.find(line);
    out += (it == names.end() ? line : it->second) + "\n";
  }
  d.write("Tarvex.in", out);
}

// Every file of d that is not in before, by name.
std::map<std::string, std::string> new_files(const TempDir& d, const std::set<std::string>& before) {
  std::map<std::string, std::string> m;
  for (const std::string& n : test::files_in(d)) {
    if (!before.count(n)) m[n] = d.read(n);
  }
  return m;
}

TEST(CsvInputs, ExampleInCsvFormGivesTheResultsOfTheTextForm) {
  const fs::path examples = test::source_dir() / "examples";
  for (const char* mode : {"2", "3", "4"}) {
    TempDir text, csv;
    test::copy_dir(examples / "catchment", text.path());
    test::copy_dir(examples / "catchment-csv", csv.path());
    const auto text_inputs = test::files_in(text);
    const auto csv_inputs = test::files_in(csv);
    const auto a = run_tarvex({"--mode", mode}, text.path());
    const auto b = run_tarvex({"--mode", mode}, csv.path());
    ASSERT_EQ(a.exit_code, 0) << a.err;
    ASSERT_EQ(b.exit_code, 0) << b.err;
    EXPECT_EQ(a.out, b.out) << "mode " << mode;
    const auto from_text = new_files(text, text_inputs);
    auto from_csv = new_files(csv, csv_inputs);
    ASSERT_FALSE(from_text.empty());
    for (const auto& [name, content] : from_text) {
      ASSERT_TRUE(from_csv.count(name)) << "mode " << mode << ": " << name;
      EXPECT_TRUE(from_csv[name] == content) << "mode " << mode << ": " << name << " differs";
    }
  }
}

// The committed CSV example is what the converter makes of the text one.
TEST(CsvInputs, ConverterMakesTheCommittedExample) {
  if (std::system("python3 -c '' >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 is not installed";
  const fs::path examples = test::source_dir() / "examples";
  TempDir d;
  const std::string cmd = "python3 '" + (examples / "text_to_csv.py").string() + "' '" +
                          (examples / "catchment").string() + "' '" + d.path().string() + "' >/dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  const auto made = test::files_in(d);
  for (const auto& e : fs::directory_iterator(examples / "catchment-csv")) {
    const std::string name = e.path().filename().string();
    ASSERT_TRUE(made.count(name)) << name;
    EXPECT_TRUE(d.read(name) == test::read_file(e.path())) << name << " differs";
  }
  EXPECT_EQ(made.size(), static_cast<std::size_t>(std::distance(fs::directory_iterator(examples / "catchment-csv"),
                                                                fs::directory_iterator())));
}

// The small catchment's 300 hourly records from 1 October 2020 and its two
// gauges, at rows 1.6 and 4.0, columns 2.2 and 7.2 of 8 rows of 50 m cells.
constexpr int kRecords = 300;
const char* kStations = "name,x,y\nwest,85,345\neast,335,225\n";

std::string hour(int day, int h) {
  char b[32];
  std::snprintf(b, sizeof b, "2020-%02d-%02dT%02d:00", day == 30 ? 9 : 10, day, h);
  return b;
}

// Rain of 20 mm at the west gauge in the hour starting at pulse_hour of
// 1 October, after a day of rows before the start with a decoy at the same hour.
std::string pulse_csv(int pulse_hour) {
  std::string t = "time,west,east\n";
  for (int h = 0; h < 24; ++h) t += hour(30, h) + (h == pulse_hour ? ",30,30\n" : ",0,0\n");
  for (int n = 0; n < kRecords; ++n) {
    t += hour(1 + n / 24, n % 24) + (n == pulse_hour ? ",20,0\n" : ",0,0\n");
  }
  return t;
}

TEST(CsvInputs, RowTimeIsTheStartOfItsRecord) {
  TempDir text, csv, later;
  for (const TempDir* d : {&text, &csv, &later}) test::copy_dir(test::test_data_dir() / "small", d->path());
  // Text layout: the pulse in record 6, the hour 05:00 to 06:00.
  std::string rain = "gauges\n2\npositions\n1.6 2.2\n4.0 7.2\nskip\n0\nlabel\nlabel\n";
  for (int n = 1; n <= kRecords; ++n) rain += std::to_string(n) + (n == 6 ? " 20 0\n" : " 0 0\n");
  text.write("rain.txt", rain);
  for (const TempDir* d : {&csv, &later}) {
    rename_in_control(*d, {{"rain.txt", "rain.csv"}});
    d->write("rain.stations.csv", kStations);
  }
  csv.write("rain.csv", pulse_csv(5));
  later.write("rain.csv", pulse_csv(6));
  for (const TempDir* d : {&text, &csv, &later}) {
    const auto r = run_tarvex({"--mode", "2"}, d->path());
    ASSERT_EQ(r.exit_code, 0) << r.err;
  }
  EXPECT_EQ(csv.read("discharge.out"), text.read("discharge.out"));
  EXPECT_EQ(csv.read("TotRain.out"), text.read("TotRain.out"));
  EXPECT_NE(later.read("discharge.out"), text.read("discharge.out"));
}

TEST(CsvInputs, GaugeMissingFromTheStationsFileIsAnInputError) {
  TempDir d;
  test::copy_dir(test::test_data_dir() / "small", d.path());
  rename_in_control(d, {{"rain.txt", "rain.csv"}});
  d.write("rain.csv", pulse_csv(5));
  d.write("rain.stations.csv", "name,x,y\nwest,85,345\nEast,335,225\n");
  const auto r = run_tarvex({"--mode", "2"}, d.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(test::lines_of(r.err).size(), 1u) << r.err;
  EXPECT_NE(r.err.find("rain.stations.csv"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("'east'"), std::string::npos) << r.err;

  // The table beside a series is an input no result may overwrite.
  d.write("rain.stations.csv", kStations);
  rename_in_control(d, {{"discharge.out", "rain.stations.csv"}});
  const auto over = run_tarvex({"--mode", "2"}, d.path());
  EXPECT_EQ(over.exit_code, 1);
  EXPECT_NE(over.err.find("would overwrite the gauge positions"), std::string::npos) << over.err;
  EXPECT_EQ(d.read("rain.stations.csv"), kStations);
}

// The small catchment's observations as CSV, with the values of records 40
// to 59 missing (a gap of 10 rows, then NA); the text form with -1 there.
void write_observed(const TempDir& text, const TempDir& csv) {
  const auto lines = test::lines_of(text.read("obs.txt"));
  std::string t = lines[0] + "\n" + lines[1] + "\n";
  std::string c = "time,outlet\n";
  for (int n = 1; n <= kRecords; ++n) {
    const bool missing = n >= 40 && n < 60;
    t += (missing ? std::string("-1") : lines[static_cast<std::size_t>(n + 1)]) + "\n";
    if (n >= 40 && n < 50) continue;  // the gap
    c += hour(1 + (n - 1) / 24, (n - 1) % 24) + "," + (missing ? "NA" : lines[static_cast<std::size_t>(n + 1)]) + "\n";
  }
  text.write("obs.txt", t);
  csv.write("obs.csv", c);
  rename_in_control(csv, {{"obs.txt", "obs.csv"}});
}

TEST(CsvInputs, MissingObservationsLeftOutOfTheSearchAndRefusedWithoutIt) {
  TempDir text, csv;
  for (const TempDir* d : {&text, &csv}) test::copy_dir(test::test_data_dir() / "small", d->path());
  write_observed(text, csv);

  const auto single = run_tarvex({"--mode", "4"}, csv.path());
  EXPECT_EQ(single.exit_code, 1);
  EXPECT_EQ(test::lines_of(single.err).size(), 1u) << single.err;
  EXPECT_NE(single.err.find("obs.csv"), std::string::npos) << single.err;
  EXPECT_NE(single.err.find("2020-10-02T15:00"), std::string::npos) << single.err;  // record 40, in the gap

  const auto a = run_tarvex({"--search", "-j", "1"}, text.path());
  const auto b = run_tarvex({"--search", "-j", "1"}, csv.path());
  ASSERT_EQ(a.exit_code, 0) << a.err;
  ASSERT_EQ(b.exit_code, 0) << b.err;
  EXPECT_EQ(a.out, b.out);
  for (const char* f : {"sceout.dat", "min-ris.txt", "outlet.out", "sce_evaluations.csv"}) {
    EXPECT_EQ(csv.read(f), text.read(f)) << f;
  }
  // The dated series leaves the missing observations empty.
  const auto rows = test::lines_of(csv.read("outlet.csv"));
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(kRecords + 1));
  EXPECT_NE(rows[45].find(",,calibration"), std::string::npos) << rows[45];
  EXPECT_EQ(rows[60].find(",,"), std::string::npos) << rows[60];
}

std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> f(1);
  for (char c : line) {
    if (c == ',') {
      f.emplace_back();
    } else {
      f.back() += c;
    }
  }
  return f;
}

TEST(DatedResults, SearchWritesTheOutletSeriesWithDates) {
  TempDir d;
  test::copy_dir(test::test_data_dir() / "small", d.path());
  const auto r = run_tarvex({"--search", "-j", "1"}, d.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const auto rows = test::lines_of(d.read("outlet.csv"));
  const auto plain = test::lines_of(d.read("outlet.out"));
  const auto obs = test::lines_of(d.read("obs.txt"));
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(kRecords + 1));
  ASSERT_EQ(plain.size(), static_cast<std::size_t>(kRecords));
  EXPECT_EQ(rows[0], "time,simulated,observed,period,evapotranspiration_mm");
  double et = 0.0;
  for (int n = 1; n <= kRecords; ++n) {
    const auto f = fields(rows[static_cast<std::size_t>(n)]);
    ASSERT_EQ(f.size(), 5u) << rows[static_cast<std::size_t>(n)];
    EXPECT_GE(std::stod(f[4]), 0.0) << rows[static_cast<std::size_t>(n)];
    et += std::stod(f[4]);
    EXPECT_EQ(f[0], hour(1 + (n - 1) / 24, (n - 1) % 24));
    std::istringstream listed(plain[static_cast<std::size_t>(n - 1)]);
    int label = 0;
    float simulated = 0.0f;
    listed >> label >> simulated;
    EXPECT_EQ(std::stof(f[1]), simulated);
    EXPECT_EQ(std::stof(f[2]), std::stof(obs[static_cast<std::size_t>(n + 1)]));
    EXPECT_EQ(f[3], "calibration");
  }
  EXPECT_GT(et, 0.0);
}

// A step whose evapotranspiration is out of range (beyond 10 m) blanks its
// own record only, not the others the engine ran in the same block.
TEST(DatedResults, AnOutOfRangeEvapotranspirationBlanksItsRecordOnly) {
  TempDir d;
  test::copy_dir(test::source_dir() / "examples" / "catchment-csv", d.path());
  std::vector<std::string> t = test::lines_of(d.read("temp.csv"));
  ASSERT_GT(t.size(), 1001u);
  t[1001] = t[1001].substr(0, t[1001].find(',')) + ",99";  // record 1001
  std::string text;
  for (const std::string& l : t) text += l + "\n";
  d.write("temp.csv", text);
  std::string et = d.read("temp.et.csv");
  ASSERT_NE(et.find("slope,5.0"), std::string::npos);
  et.replace(et.find("slope,5.0"), 9, "slope,200000.0");  // 10 degrees about 2 m a step, 99 beyond 10 m
  d.write("temp.et.csv", et);
  const auto r = run_tarvex({"--mode", "3", "-j", "2"}, d.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const auto rows = test::lines_of(d.read("outlet.csv"));
  ASSERT_GT(rows.size(), 1040u);
  for (std::size_t i = 960; i <= 1040; ++i) EXPECT_EQ(rows[i].back() == ',', i == 1001) << rows[i];
}

// Sets the value record that follows the label record starting with label.
void set_after(const TempDir& d, const std::string& label, const std::string& value) {
  auto lines = test::lines_of(d.read("Tarvex.in"));
  std::string out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const bool value_record = i > 0 && lines[i - 1].rfind(label, 0) == 0;
    out += (value_record ? value : lines[i]) + "\n";
  }
  d.write("Tarvex.in", out);
}

TEST(DatedResults, DischargeFileNamedCsvHoldsTheSeriesWithDates) {
  for (const char* kind : {"1", "2"}) {
    TempDir text, csv;
    for (const TempDir* d : {&text, &csv}) {
      test::copy_dir(test::test_data_dir() / "small", d->path());
      set_after(*d, "Output kind", kind);
    }
    rename_in_control(csv, {{"discharge.out", "discharge.csv"}});
    for (const TempDir* d : {&text, &csv}) {
      const auto r = run_tarvex({"--mode", "3"}, d->path());
      ASSERT_EQ(r.exit_code, 0) << r.err;
    }
    EXPECT_FALSE(csv.exists("outlet.csv"));  // text inputs
    const auto t = test::lines_of(text.read("discharge.out"));
    const auto c = test::lines_of(csv.read("discharge.csv"));
    ASSERT_EQ(c.size(), t.size() - 1) << kind;  // one header row instead of two
    EXPECT_EQ(c[0], std::string(kind) == "1" ? "time,surface_flow,total_flow" : "year,start,total_flow");
    for (std::size_t i = 1; i < c.size(); ++i) {
      const auto f = fields(c[i]);
      std::istringstream fixed(t[i + 1]);
      int label = 0;
      float surface = 0.0f, total = 0.0f;
      fixed >> label;
      if (std::string(kind) == "1") {
        fixed >> surface >> total;
        ASSERT_EQ(f.size(), 3u);
        EXPECT_EQ(f[0], hour(1 + (label - 1) / 24, (label - 1) % 24));
        EXPECT_NEAR(std::stof(f[1]), surface, 5e-6f);
      } else {
        fixed >> total;
        ASSERT_EQ(f.size(), 3u);
        EXPECT_EQ(f[0], std::to_string(label));
        EXPECT_EQ(f[1], "2020-10-01T00:00");
      }
      EXPECT_NEAR(std::stof(f[2]), total, 5e-6f) << c[i];
    }
  }
}

// A search scoring a calibration period after a warm-up scores what a
// search over observations missing outside that period scores.
TEST(ScorePeriods, WarmupAndPeriodsChooseTheScoredRecords) {
  TempDir periods, masked;
  for (const TempDir* d : {&periods, &masked}) test::copy_dir(test::test_data_dir() / "small", d->path());
  // Records 49 (3 October, after two days of warm-up) to 192 (8 October).
  const auto lines = test::lines_of(masked.read("obs.txt"));
  std::string t = lines[0] + "\n" + lines[1] + "\n";
  for (int n = 1; n <= kRecords; ++n) t += (n >= 49 && n <= 192 ? lines[static_cast<std::size_t>(n + 1)] : "-1") + "\n";
  masked.write("obs.txt", t);

  const auto a = run_tarvex({"--search", "-j", "1", "--warmup", "2", "--calibration-period", "2020-10-01/2020-10-08",
                             "--validation-period=2020-10-09/2020-10-31"},
                            periods.path());
  const auto b = run_tarvex({"--search", "-j", "1"}, masked.path());
  ASSERT_EQ(a.exit_code, 0) << a.err;
  ASSERT_EQ(b.exit_code, 0) << b.err;
  EXPECT_EQ(periods.read("min-ris.txt"), masked.read("min-ris.txt"));
  EXPECT_EQ(periods.read("outlet.out"), masked.read("outlet.out"));
  // The evaluations as the masked search's, then the validation columns.
  const auto evaluations = test::lines_of(periods.read("sce_evaluations.csv"));
  const auto masked_evaluations = test::lines_of(masked.read("sce_evaluations.csv"));
  ASSERT_EQ(evaluations.size(), masked_evaluations.size());
  const std::size_t columns = fields(masked_evaluations[0]).size();
  EXPECT_EQ(fields(evaluations[0]).size(), columns + 9);
  EXPECT_EQ(fields(evaluations[0])[columns], "val_NSE");
  std::size_t best = 1;
  for (std::size_t i = 1; i < evaluations.size(); ++i) {
    auto f = fields(evaluations[i]);
    f.resize(columns);
    EXPECT_EQ(f, fields(masked_evaluations[i])) << i;
    if (std::stod(f[12]) < std::stod(fields(evaluations[best])[12])) best = i;
  }

  const std::string report = periods.read("sceout.dat");
  EXPECT_NE(report.find("FIT OF THE BEST RUN (144 PAIRS)"), std::string::npos) << report;
  const std::size_t v = report.find("VALIDATION PERIOD 2020-10-09/2020-10-31");
  ASSERT_NE(v, std::string::npos) << report;
  EXPECT_NE(report.find("FIT OF THE BEST RUN (108 PAIRS)", v), std::string::npos) << report;
  // The validation NSE of the best evaluation is that of the table.
  const std::size_t nse = report.find("NSE", report.find("RMSE", v));
  ASSERT_NE(nse, std::string::npos);
  EXPECT_NEAR(std::stod(report.substr(nse + 3, 40)), std::stod(fields(evaluations[best])[columns]), 1e-5);
  EXPECT_NE(a.out.find("Validation period"), std::string::npos) << a.out;

  const auto rows = test::lines_of(periods.read("outlet.csv"));
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(kRecords + 1));
  std::map<std::string, int> count;
  for (std::size_t n = 1; n < rows.size(); ++n) count[fields(rows[n])[3]]++;
  EXPECT_EQ(count["warmup"], 48);
  EXPECT_EQ(count["calibration"], 144);
  EXPECT_EQ(count["validation"], 108);
  EXPECT_EQ(fields(rows[48])[3], "warmup");
  EXPECT_EQ(fields(rows[49])[0], "2020-10-03T00:00");
  EXPECT_EQ(fields(rows[49])[3], "calibration");
  EXPECT_EQ(fields(rows[193])[3], "validation");
  // The observations stay whole in the dated series.
  EXPECT_FALSE(fields(rows[1])[2].empty());
}

TEST(ScorePeriods, SlipsAreRefused) {
  TempDir d;
  test::copy_dir(test::test_data_dir() / "small", d.path());
  const std::vector<std::vector<std::string>> usage = {
      {"--warmup", "2"},  // without --search
      {"--search", "--warmup", "two"},
      {"--search", "--calibration-period", "2020-10-05"},
      {"--search", "--calibration-period", "2020-10-05/2020-10-01"},
      {"--search", "--calibration-period", "2020-10-01/2020-10-05", "--validation-period", "2020-10-05/2020-10-09"},
  };
  for (const auto& args : usage) {
    const auto r = run_tarvex(args, d.path());
    EXPECT_EQ(r.exit_code, 2) << args.back() << ": " << r.err;
    EXPECT_EQ(test::lines_of(r.err).size(), 1u) << r.err;
  }
  // A calibration period the run does not reach.
  const auto r = run_tarvex({"--search", "--calibration-period", "2021-01-01/2021-01-31"}, d.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("'obs.txt': no observed discharge in the calibration period"), std::string::npos) << r.err;
  EXPECT_FALSE(d.exists("sceout.dat"));
}

}  // namespace
}  // namespace tarvex

// A user's usual slips through the built program: values a read ignores are
// reported (the results stay those of the reading), --strict refuses them, a
// missing value is traced to its record, and command-line slips get one line.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/testkit.hpp"

namespace tarvex {
namespace {

namespace fs = std::filesystem;
using test::run_tarvex;
using test::TempDir;

void copy_small(const TempDir& d) { test::copy_dir(test::test_data_dir() / "small", d.path()); }

// Replaces line `line` (from 1) of a file of dir.
void set_line(const TempDir& d, const std::string& name, std::size_t line, const std::string& text) {
  std::vector<std::string> lines = test::lines_of(d.read(name));
  lines.at(line - 1) = text;
  std::string t;
  for (const auto& l : lines) t += l + "\n";
  d.write(name, t);
}

// Every file of dir but the one named, by name.
std::map<std::string, std::string> files_but(const TempDir& d, const std::string& skip) {
  std::map<std::string, std::string> m;
  for (const std::string& n : test::files_in(d)) {
    if (n != skip) m[n] = d.read(n);
  }
  return m;
}

bool one_line(const std::string& s) { return !s.empty() && s.find('\n') == s.size() - 1; }

constexpr std::size_t kRainLine = 159;  // rain record 150 of the small catchment: "150 0.00 0.00"

TEST(UserSlips, DecimalCommaInARainRecordIsReportedAndReadAsBefore) {
  TempDir slip, same;
  copy_small(slip);
  copy_small(same);
  set_line(slip, "rain.txt", kRainLine, "150 0.50 0,40");
  set_line(same, "rain.txt", kRainLine, "150 0.50 0");  // what the reading takes of it
  const auto a = run_tarvex({"--mode", "3"}, slip.path());
  const auto b = run_tarvex({"--mode", "3"}, same.path());
  EXPECT_EQ(a.exit_code, 0);
  EXPECT_EQ(b.exit_code, 0);
  EXPECT_EQ(a.out, b.out);
  EXPECT_EQ(files_but(slip, "rain.txt"), files_but(same, "rain.txt"));
  EXPECT_EQ(b.err, "");
  EXPECT_TRUE(one_line(a.err)) << a.err;
  EXPECT_EQ(a.err.rfind("tarvex: warning: file 'rain.txt': record 159 holds 4 values; rain record 150 ", 0), 0u)
      << a.err;
  EXPECT_NE(a.err.find("reads 3 and ignores the rest; 1 record of the file has values left unread"),
            std::string::npos)
      << a.err;

  const auto strict = run_tarvex({"--mode", "3", "--strict"}, slip.path());
  EXPECT_EQ(strict.exit_code, 1);
  EXPECT_TRUE(one_line(strict.err)) << strict.err;
  EXPECT_EQ(strict.err.rfind("tarvex: error: file 'rain.txt': record 159 holds 4 values;", 0), 0u) << strict.err;
}

TEST(UserSlips, DemWiderOrLongerThanTheGridIsReported) {
  TempDir plain;
  copy_small(plain);
  const auto base = run_tarvex({"--mode", "1"}, plain.path());
  ASSERT_EQ(base.exit_code, 0);
  const std::string dem = plain.read("dem.txt");
  std::string wide;
  for (const std::string& l : test::lines_of(dem)) wide += l + " 600.00\n";
  struct Case {
    std::string dem;
    std::string warning;
  };
  const Case cases[] = {
      {wide, "tarvex: warning: file 'dem.txt': record 1 holds 10 values; row 1 of the DEM (9 elevations) reads 9 "
             "and ignores the rest; 8 records of the file have values left unread (--strict refuses them)\n"},
      {dem + dem.substr(0, dem.find('\n') + 1) + dem,
       "tarvex: warning: file 'dem.txt': records 9 to 17 follow record 8, the last of the grid's 8 rows (NI = 8 "
       "in record 18 of 'Tarvex.in'); 9 records are ignored (--strict refuses them)\n"},
  };
  for (const Case& c : cases) {
    TempDir d;
    copy_small(d);
    d.write("dem.txt", c.dem);
    const auto r = run_tarvex({"--mode", "1"}, d.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, c.warning);
    EXPECT_EQ(r.out, base.out);
    EXPECT_EQ(files_but(d, "dem.txt"), files_but(plain, "dem.txt"));

    TempDir s;
    copy_small(s);
    s.write("dem.txt", c.dem);
    const auto strict = run_tarvex({"--mode", "1", "--strict"}, s.path());
    EXPECT_EQ(strict.exit_code, 1);
    EXPECT_TRUE(one_line(strict.err)) << strict.err;
    EXPECT_NE(strict.err.find("refused (--strict)"), std::string::npos) << strict.err;
  }
}

TEST(UserSlips, MissingValueIsTracedToItsRecord) {
  TempDir d;
  copy_small(d);
  set_line(d, "rain.txt", kRainLine, "150 0.00");
  const auto r = run_tarvex({"--mode", "3"}, d.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err,
            "tarvex: error: file 'rain.txt': the file ends after record 309; expected rain record 300 (label and 2 "
            "gauge values) (an integer); record 159 holds 2 values; rain record 150 (label and 2 gauge values) "
            "reads 3\n");
}

TEST(UserSlips, BundledInputsHoldNothingUnread) {
  TempDir small;
  copy_small(small);
  for (const char* mode : {"1", "2", "3", "4"}) {
    const auto r = run_tarvex({"--mode", mode, "--strict"}, small.path());
    EXPECT_EQ(r.exit_code, 0) << mode;
    EXPECT_EQ(r.err, "") << mode;
  }
  TempDir example;
  test::copy_dir(test::source_dir() / "examples" / "catchment", example.path());
  const auto r = run_tarvex({"--mode", "1", "--strict"}, example.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, "");
}

TEST(UserSlips, MissingControlFileNamesTheDirectoryAndMinusC) {
  TempDir d;
  const auto r = run_tarvex({"--mode", "3"}, d.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "\n File Tarvex.in not found\n\n");
  EXPECT_TRUE(one_line(r.err)) << r.err;
  EXPECT_NE(r.err.find("'" + fs::canonical(d.path()).string() + "'"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("-C DIR"), std::string::npos) << r.err;
}

TEST(UserSlips, UnknownOptionIsOneLine) {
  TempDir d;
  const auto r = run_tarvex({"--mdoe", "1"}, d.path());
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "tarvex: unknown argument '--mdoe'; see tarvex --help\n");
  const auto help = run_tarvex({"--help"}, d.path());
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_EQ(help.out.rfind("Usage: tarvex ", 0), 0u);
  EXPECT_NE(help.out.find("--strict"), std::string::npos);
}

}  // namespace
}  // namespace tarvex

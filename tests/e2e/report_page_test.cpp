// The run's page (report.html) through the built program: a search without a
// usable python still succeeds with one warning, and `tarvex report` refuses
// what it cannot use. The page itself is checked in a browser
// (tests/report/browser_check.py).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/testkit.hpp"

namespace tarvex {
namespace {

using test::run_tarvex;
using test::TempDir;

// Sets an environment variable for the scope (the program inherits it).
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old, had_ = true;
    setenv(name, value, 1);
  }
  ~ScopedEnv() {
    if (had_) setenv(name_, old_.c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

TEST(ReportPage, SearchWithoutPythonSucceedsWithOneWarning) {
  TempDir d;
  test::copy_dir(test::test_data_dir() / "small", d.path());
  ScopedEnv env("TARVEX_PYTHON", "/nonexistent/python3");
  const auto r = run_tarvex({"--search", "-j", "2"}, d.path());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "tarvex: warning: report.html not written: no python3 with matplotlib (install "
                   "python3-matplotlib)\n");
  EXPECT_TRUE(d.exists("sceout.dat"));
  EXPECT_FALSE(d.exists("report.html"));
  // The rebuild says why and fails.
  const auto again = run_tarvex({"report"}, d.path());
  EXPECT_EQ(again.exit_code, 1);
  EXPECT_NE(again.err.find("no python3 with matplotlib"), std::string::npos) << again.err;
}

TEST(ReportPage, RebuildRefusesWhatItCannotUse) {
  TempDir d;
  const auto extra = run_tarvex({"report", ".", "more"}, d.path());
  EXPECT_EQ(extra.exit_code, 2);
  EXPECT_NE(extra.err.find("'more'"), std::string::npos) << extra.err;
  const auto option = run_tarvex({"report", "--bogus"}, d.path());
  EXPECT_EQ(option.exit_code, 2);
  const auto missing = run_tarvex({"report", "no-such-dir"}, d.path());
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.err.find("'no-such-dir' is not a directory"), std::string::npos) << missing.err;
  EXPECT_FALSE(d.exists("report.html"));
}

TEST(ReportPage, OffWritesNoPage) {
  TempDir d;
  test::copy_dir(test::test_data_dir() / "small", d.path());
  ScopedEnv env("TARVEX_REPORT", "off");
  const auto r = run_tarvex({"--search", "-j", "2"}, d.path());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(d.exists("report.html"));
}

}  // namespace
}  // namespace tarvex

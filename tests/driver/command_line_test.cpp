// Runs the built program and checks its command-line contract.
#include <gtest/gtest.h>

#include "driver/command_line.hpp"
#include "support/testkit.hpp"
#include "support/tiny_catchment.hpp"

namespace tarvex {
namespace {

using test::run_tarvex;
using test::TempDir;

TEST(CommandLine, ParsesModesWordsAndDirectory) {
  std::string err;
  auto cl = parse_command_line({}, err);
  ASSERT_TRUE(cl);
  EXPECT_EQ(cl->mode, 4);
  const std::pair<const char*, int32_t> modes[] = {{"1", 1}, {"terrain", 1}, {"2", 2}, {"event", 2},
                                                   {"3", 3}, {"continuous", 3}, {"4", 4}, {"calibration", 4}};
  for (const auto& [word, mode] : modes) {
    auto m = parse_command_line({"--mode", word}, err);
    ASSERT_TRUE(m) << word;
    EXPECT_EQ(m->mode, mode);
  }
  auto d = parse_command_line({"-C", "some/dir", "--mode=event"}, err);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->directory, "some/dir");
  EXPECT_EQ(d->mode, 2);
  EXPECT_FALSE(parse_command_line({"--mode", "5"}, err));
  EXPECT_FALSE(parse_command_line({"--mode"}, err));
  EXPECT_FALSE(parse_command_line({"--frobnicate"}, err));
}

TEST(CommandLine, ThreadCount) {
  std::string err;
  EXPECT_EQ(parse_command_line({}, err)->jobs, 0);
  EXPECT_EQ(parse_command_line({"-j", "1"}, err)->jobs, 1);
  EXPECT_EQ(parse_command_line({"--jobs", "8", "--mode", "3"}, err)->jobs, 8);
  EXPECT_EQ(parse_command_line({"--jobs=0"}, err)->jobs, 0);
  for (const char* bad : {"-1", "two", "", "1e3", "99999", "2x"}) {
    EXPECT_FALSE(parse_command_line({"-j", bad}, err)) << bad;
    EXPECT_NE(err.find("thread count"), std::string::npos) << bad;
  }
  EXPECT_FALSE(parse_command_line({"--jobs"}, err));
}

TEST(CommandLine, HelpVersionAndUsageErrors) {
  TempDir d;
  auto help = run_tarvex({"--help"}, d.path());
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.out.find("Usage: tarvex"), std::string::npos);
  EXPECT_TRUE(help.err.empty());
  auto version = run_tarvex({"--version"}, d.path());
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out.rfind("tarvex ", 0), 0u);
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--bogus"}, {"--mode", "9"}, {"--mode", "steady"}, {"extra"}}) {
    auto r = run_tarvex(bad, d.path());
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("; see tarvex --help\n"), std::string::npos);
  }
}

TEST(CommandLine, MissingControlFileIsRefusedInEveryMode) {
  TempDir d;
  for (const char* mode : {"1", "2", "3", "4"}) {
    auto r = run_tarvex({"--mode", mode}, d.path());
    EXPECT_EQ(r.exit_code, 1) << mode;
    EXPECT_EQ(r.out, "\n File Tarvex.in not found\n\n") << mode;
  }
  auto def = run_tarvex({}, d.path());
  EXPECT_EQ(def.exit_code, 1);
  EXPECT_EQ(def.out, "\n File Tarvex.in not found\n\n");
}

TEST(CommandLine, DirectoryOption) {
  TempDir d;
  auto r = run_tarvex({"-C", (d / "missing").string()}, d.path());
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("missing"), std::string::npos);
  // Files are read in DIR, not in the current directory.
  TempDir other;
  test::write_tiny_run(other.path(), {.dt_sim = "7200."});
  auto in_dir = run_tarvex({"--mode", "3", "--directory", other.path().string()}, d.path());
  EXPECT_EQ(in_dir.exit_code, 1);
  EXPECT_EQ(in_dir.out, "\n\n Simulation time step > time step of the rainfall data\n\n");
}

// Runs --mode 3 on the tiny catchment with the control file ctl.
test::RunResult run_tiny(const test::ControlFileText& ctl) {
  TempDir d;
  test::write_tiny_run(d.path(), ctl);
  return run_tarvex({"--mode", "3"}, d.path());
}

TEST(CommandLine, RefusedTimeStepsEndThePassWithStatusOne) {
  auto r = run_tiny({.dt_sim = "1000."});
  EXPECT_EQ(r.exit_code, 1);
  // The loader's empty line, then the message, printed once.
  EXPECT_EQ(r.out, "\n\n The time step of the simulation is wrong\n\n");
}

TEST(CommandLine, FileLayerErrorsGoToStderrWithFileAndRecord) {
  auto r = run_tiny({.ni_nj = "3 four"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(r.out.empty());
  EXPECT_NE(r.err.find("Tarvex.in"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("record 18"), std::string::npos) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

}  // namespace
}  // namespace tarvex

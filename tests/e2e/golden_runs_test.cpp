// Runs the program on the committed input sets and compares every file it
// writes with the golden copies (reviewed by hand once; rewritten only by
// scripts/update_golden.sh after a deliberate change of the results).
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "support/testkit.hpp"

namespace tarvex {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::run_tarvex;
using test::TempDir;

fs::path small_set() { return test::test_data_dir() / "small"; }
fs::path example_set() { return test::source_dir() / "examples" / "catchment"; }

void expect_objective_recomputed(const TempDir& d);

// Runs mode on a scratch copy of set and compares the outputs with golden/modeN.
void expect_golden(const fs::path& set, const fs::path& golden, int mode) {
  TempDir d;
  test::copy_dir(set, d.path());
  auto r = run_tarvex({"--mode", std::to_string(mode)}, d.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(r.err.empty()) << r.err;
  const fs::path gold = golden / ("mode" + std::to_string(mode));
  int files = 0;
  for (const auto& e : fs::directory_iterator(gold)) {
    const std::string name = e.path().filename().string();
    const std::string expected = read_file(e.path());
    const std::string actual = name == "stdout.txt" ? r.out : read_file(d / name);
    EXPECT_TRUE(actual == expected) << name << " differs from " << e.path();
    ++files;
  }
  EXPECT_GE(files, 4);
  // Nothing but the golden outputs is written.
  for (const auto& e : fs::directory_iterator(d.path())) {
    const std::string name = e.path().filename().string();
    EXPECT_TRUE(fs::exists(set / name) || fs::exists(gold / name)) << "unexpected file " << name;
  }
  if (mode == 4) expect_objective_recomputed(d);
}

// Runs the terrain mode on a copy holding only the DEM-side inputs and
// compares the network files with the committed ones.
void expect_network_reproduced(const fs::path& set) {
  TempDir d;
  test::copy_dir(set, d.path());
  const char* network[] = {"dir.txt", "elev.txt", "area.txt", "links.txt", "RiverOrder.out"};
  for (const char* f : network) fs::remove(d / f);
  auto r = run_tarvex({"--mode", "1"}, d.path());
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  for (const char* f : network) EXPECT_TRUE(d.read(f) == read_file(set / f)) << f;
  EXPECT_FALSE(d.exists("LinkProperties_temp.out"));
}

// The objective logged by the calibration run is the sum of squared
// differences between "outlet.out" and the observed series, in 4-byte reals.
void expect_objective_recomputed(const TempDir& d) {
  std::istringstream sim(d.read("outlet.out"));
  std::istringstream obs(d.read("obs.txt"));
  std::string line;
  std::getline(obs, line);  // two header records
  std::getline(obs, line);
  float of = 0.0f;
  int n = 0;
  int k;
  float qs, qo;
  while (sim >> k >> qs) {
    ASSERT_TRUE(static_cast<bool>(obs >> qo));
    ASSERT_EQ(k, ++n);
    of = of + (qs - qo) * (qs - qo);
  }
  EXPECT_GT(n, 0);
  const std::string log = d.read("min-ris.txt");
  const auto at = log.find("Objective function = ");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(std::stof(log.substr(at + 21)), of);
}

TEST(SmallCatchment, TerrainModeReproducesTheNetworkFiles) { expect_network_reproduced(small_set()); }
TEST(SmallCatchment, EventRun) { expect_golden(small_set(), test::test_data_dir() / "small_golden", 2); }
TEST(SmallCatchment, ContinuousRun) { expect_golden(small_set(), test::test_data_dir() / "small_golden", 3); }
// The calibration run also checks that the logged objective is the sum of
// squared differences between "outlet.out" and the observed series.
TEST(SmallCatchment, CalibrationRun) { expect_golden(small_set(), test::test_data_dir() / "small_golden", 4); }

TEST(SmallCatchment, ContinuousRunOnTheFilesTheTerrainModeWrote) {
  TempDir d;
  test::copy_dir(small_set(), d.path());
  for (const char* f : {"dir.txt", "elev.txt", "area.txt", "links.txt"}) fs::remove(d / f);
  ASSERT_EQ(run_tarvex({"--mode", "1"}, d.path()).exit_code, 0);
  auto r = run_tarvex({"--mode", "3"}, d.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(d.read("discharge.out") == read_file(test::test_data_dir() / "small_golden/mode3/discharge.out"));
}

TEST(ExampleCatchment, TerrainModeReproducesTheNetworkFiles) { expect_network_reproduced(example_set()); }
TEST(ExampleCatchment, EventRun) { expect_golden(example_set(), test::test_data_dir() / "example_golden", 2); }
TEST(ExampleCatchment, ContinuousRun) { expect_golden(example_set(), test::test_data_dir() / "example_golden", 3); }
TEST(ExampleCatchment, CalibrationRun) { expect_golden(example_set(), test::test_data_dir() / "example_golden", 4); }

}  // namespace
}  // namespace tarvex

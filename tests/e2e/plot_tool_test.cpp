// The plotting tool draws the hydrograph and the network map of a run.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/testkit.hpp"

namespace tarvex {
namespace {

// A Python interpreter that has matplotlib, or an empty string.
std::string python_with_matplotlib() {
  for (const char* py : {"/usr/bin/python3", "python3"}) {
    const std::string cmd = std::string(py) + " -c 'import matplotlib' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) == 0) return py;
  }
  return "";
}

TEST(PlotTool, WritesTheHydrographAndTheNetworkMap) {
  const std::string py = python_with_matplotlib();
  if (py.empty()) GTEST_SKIP() << "matplotlib is not installed (Debian: python3-matplotlib)";
  test::TempDir d;
  test::copy_dir(test::test_data_dir() / "small", d.path());
  ASSERT_EQ(test::run_tarvex({}, d.path()).exit_code, 0);
  const std::string cmd = py + " '" + (test::source_dir() / "examples" / "plot_results.py").string() +
                          "' --dir '" + d.path().string() + "' --out '" + (d / "plots").string() +
                          "' >/dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  for (const char* png : {"hydrograph.png", "network.png"}) {
    const std::string bytes = test::read_file(d / "plots" / png);
    ASSERT_GT(bytes.size(), 1000u) << png;
    EXPECT_EQ(bytes.substr(1, 3), "PNG") << png;
  }
}

}  // namespace
}  // namespace tarvex

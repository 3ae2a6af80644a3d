// --no-limits through the program: inputs past the capacities run to the end,
// and the same inputs without the option are refused as before.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "support/testkit.hpp"
#include "support/tiny_catchment.hpp"
#include "terrain/terrain_files.hpp"

namespace tarvex {
namespace {

// Rain of gauge 1 (near (1,1)) and gauge 2 (near (3,4)) at record n, as the
// tiny catchment has it; temperature of record n.
std::string rain_a(int n) { return std::to_string((n >= 3 && n <= 8) ? 2.0 + n : 0.0); }
std::string rain_b(int n) { return std::to_string((n >= 4 && n <= 10) ? 1.5 * n : 0.0); }
std::string temp_of(int n) { return std::to_string(5.0 + 0.25 * (n % 24)); }

std::string temp_stations(int n_stations, const std::string& records) {
  std::string t = test::temp_file(records, n_stations);
  std::string lines;
  for (int k = 0; k < n_stations; ++k) lines += "2 2 500.\n";
  const std::string one = "2 2 500.\n";
  return t.replace(t.find(one), one.size(), lines);
}

TEST(NoLimits, MoreGaugesAndStationsRunAndMatchTheSameRainOnFewer) {
  test::TempDir base, wide;
  test::write_tiny_catchment(base.path());
  test::write_tiny_catchment(wide.path());
  test::ControlFileText ctl;
  test::write_control(base.path(), ctl);
  test::write_control(wide.path(), ctl);

  // Six gauges: 3 and 5 stand on gauge 1, 4 and 6 on gauge 2 with the same
  // rain. Gauge 1 misses record 5 and station 1 record 6: the nearest
  // reporting ones carry the same values, so the discharge is that of the
  // two-gauge, one-station catchment.
  std::string rain, temp2;
  for (int n = 1; n <= 24; ++n) {
    const std::string a = rain_a(n), b = rain_b(n);
    rain += std::to_string(n) + " " + (n == 5 ? "-1.0" : a) + " " + b + " " + a + " " + b + " " + a + " " + b + "\n";
    temp2 += std::to_string(n) + " " + (n == 6 ? "-99.0" : temp_of(n)) + " " + temp_of(n) + "\n";
  }
  wide.write("rain.txt", test::rain_file("1. 1.\n3. 4.\n1. 1.\n3. 4.\n1. 1.\n3. 4.\n", 6, rain));
  wide.write("temp.txt", temp_stations(2, temp2));

  const auto refused = test::run_tarvex({"--mode", "3"}, wide.path());
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_NE(refused.out.find("The number of raingauges exceeds the maximum allowed"), std::string::npos)
      << refused.out;

  const auto expected = test::run_tarvex({"--mode", "3"}, base.path());
  ASSERT_EQ(expected.exit_code, 0) << expected.err;
  const auto lifted = test::run_tarvex({"--mode", "3", "--no-limits"}, wide.path());
  ASSERT_EQ(lifted.exit_code, 0) << lifted.err;
  EXPECT_EQ(lifted.out, expected.out);
  EXPECT_EQ(wide.read("flow.out"), base.read("flow.out"));

  // Only two stations: refused without the option, run with it.
  test::TempDir two;
  test::write_tiny_catchment(two.path());
  test::write_control(two.path(), ctl);
  two.write("temp.txt", temp_stations(2, temp2));
  const auto two_refused = test::run_tarvex({"--mode", "3"}, two.path());
  EXPECT_EQ(two_refused.exit_code, 1);
  EXPECT_NE(two_refused.out.find("The number of temperature stations exceeds the maximum allowed"),
            std::string::npos);

  // Inverse squared distances over six gauges.
  ctl.interp = "2";
  test::write_control(wide.path(), ctl);
  const auto weighted = test::run_tarvex({"--mode", "3", "--no-limits"}, wide.path());
  EXPECT_EQ(weighted.exit_code, 0) << weighted.err;
}

TEST(NoLimits, SeriesMemoryCannotHoldIsAnErrorNamingThem) {
  // 65536 records x 30000 gauges, twice 7.3 GiB, within 4 GiB of address space.
  test::TempDir dir;
  test::write_tiny_catchment(dir.path());
  test::ControlFileText ctl;
  ctl.n_data = "65536";
  test::write_control(dir.path(), ctl);
  dir.write("rain.txt", "Number of rain gauges\n30000\n");
  const std::string cmd = "ulimit -v 4000000; cd '" + dir.path().string() + "' && '" +
                          test::tarvex_binary().string() + "' --mode 3 --no-limits >/dev/null 2>err.txt";
  const int status = std::system(("sh -c \"" + cmd + "\"").c_str());
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
  EXPECT_EQ(dir.read("err.txt"),
            "tarvex: error: the rain series of 65536 records x 30000 gauges does not fit in memory\n");
}

TEST(NoLimits, TerrainPastTheLinkTableAndTheGridSide) {
  // A fishbone on 22 x 999 cells: the last row drains to the outlet (22, 1);
  // columns 1, 3, ... are valleys down to it, the others ridges draining
  // sideways into them, each ridge cell a source: 21 x 499 = 10479 of them.
  const int ni = 22, nj = 999;
  std::vector<std::vector<double>> z(ni, std::vector<double>(nj));
  for (int i = 0; i < ni; ++i) {
    for (int j = 0; j < nj; ++j) {
      z[i][j] = 100.0 + 0.01 * j;
      if (i < ni - 1) z[i][j] += 0.1 * (ni - 1 - i) + (j % 2 == 1 ? 10.0 : 0.0);
    }
  }
  test::TerrainControl c;
  c.ni = ni;
  c.nj = nj;
  c.outlet_i = ni;
  c.outlet_j = 1;
  test::TempDir dir;
  dir.write("Tarvex.in", test::control_text(c));
  dir.write("dem.txt", test::grid_text(z));

  const auto refused = test::run_tarvex({"--mode", "1"}, dir.path());
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_NE(refused.out.find("The maximum number of links of the river network has been exceeded"),
            std::string::npos);

  const auto r = test::run_tarvex({"--mode", "1", "--no-limits"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.err << r.out;
  // Every source starts an order-1 link of the list.
  std::istringstream area(dir.read("area.txt"));
  int sources = 0;
  for (std::string v; area >> v;) sources += v == "1";
  std::istringstream links(dir.read("links.txt"));
  std::string line;
  std::getline(links, line);
  int order1 = 0, total = 0;
  while (std::getline(links, line)) {
    std::istringstream f(line);
    int iin, jin, ifin, jfin, ord;
    ASSERT_TRUE(f >> iin >> jin >> ifin >> jfin >> ord) << line;
    order1 += ord == 1;
    ++total;
  }
  EXPECT_GT(sources, 10000);
  EXPECT_EQ(order1, sources);
  EXPECT_GT(total, order1);

  // A grid side past 1000.
  test::TempDir wide;
  c.ni = 3;
  c.nj = 1001;
  c.outlet_i = 3;
  c.outlet_j = 501;
  wide.write("Tarvex.in", test::control_text(c));
  wide.write("dem.txt", test::grid_text(test::valley_dem(3, 1001)));
  EXPECT_EQ(test::run_tarvex({"--mode", "1"}, wide.path()).exit_code, 1);
  const auto w = test::run_tarvex({"--mode", "1", "--no-limits"}, wide.path());
  EXPECT_EQ(w.exit_code, 0) << w.err << w.out;
}

}  // namespace
}  // namespace tarvex

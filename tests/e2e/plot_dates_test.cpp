// The plotting tool on a run with dated CSV series: the hydrograph's times
// are dates from the control file's start date and record step, missing
// observations stay gaps, and the convergence plot names the objective.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/testkit.hpp"

namespace tarvex {
namespace {

std::string python_with_matplotlib() {
  for (const char* py : {"/usr/bin/python3", "python3"}) {
    const std::string cmd = std::string(py) + " -c 'import matplotlib' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) == 0) return py;
  }
  return "";
}

TEST(PlotDates, HydrographOfACsvRunIsDrawnAgainstDates) {
  const std::string py = python_with_matplotlib();
  if (py.empty()) GTEST_SKIP() << "matplotlib is not installed (Debian: python3-matplotlib)";
  test::TempDir d;
  test::copy_dir(test::source_dir() / "examples" / "catchment-csv", d.path());
  const auto run = test::run_tarvex({"-j", "2"}, d.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  // An observation missing: gaps, not zeros.
  std::string obs = d.read("obs.csv");
  const auto at = obs.find("2020-10-01T03:00,");
  ASSERT_NE(at, std::string::npos);
  obs.replace(at, obs.find('\n', at) - at, "2020-10-01T03:00,NA");
  d.write("obs.csv", obs);
  // What a search by KGE leaves, for the convergence plot.
  d.write("sceout.dat", d.read("sceout.dat") + "  OBJECTIVE: kge\n");
  d.write("sce_evaluations.csv", "evaluation,loop,complex,objective\n1,0,0,0.9\n2,0,0,0.5\n3,1,1,0.7\n");

  const std::string tool = (test::source_dir() / "examples").string();
  const std::string cmd = py + " '" + tool + "/plot_results.py' --dir '" + d.path().string() + "' --out '" +
                          (d / "plots").string() + "' >/dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  for (const char* png : {"hydrograph.png", "network.png", "convergence.png"}) {
    EXPECT_GT(test::read_file(d / "plots" / png).size(), 1000u) << png;
  }

  // The series the hydrograph draws.
  d.write("check.py",
          "import datetime, math, sys\n"
          "sys.path.insert(0, '" + tool + "')\n"
          "import plot_results as p\n"
          "names = p.file_names(p.control_records('.'))\n"
          "t, q = p.simulated('outlet.out', names)\n"
          "assert t[0] == datetime.datetime(2020, 10, 1), t[0]\n"
          "assert t[5] == datetime.datetime(2020, 10, 1, 5), t[5]\n"
          "t2, q2 = p.simulated('outlet.csv', names)\n"
          "assert t2[:10] == t[:10] and len(t2) == len(t), (t2[:3], len(t2))\n"
          "to, o = p.observed(names['obs'], names)\n"
          "assert to[3] == datetime.datetime(2020, 10, 1, 3) and math.isnan(o[3]), (to[3], o[3])\n"
          "tr, r = p.rain_series(names['rain'], names)\n"
          "assert tr[0] == t[0] and len(r) >= len(q)\n"
          "assert p.objective_name('.') == 'kge', p.objective_name('.')\n");
  const std::string check = "cd '" + d.path().string() + "' && " + py + " check.py";
  EXPECT_EQ(std::system(check.c_str()), 0);
}

}  // namespace
}  // namespace tarvex

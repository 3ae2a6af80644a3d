// Runs without capacities size their grids from the control file: grid files
// too small for NI x NJ, and grids memory cannot hold, are refused with one
// line before anything is taken or written.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "io/memory_check.hpp"
#include "support/testkit.hpp"

namespace tarvex {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::TempDir;

struct Shell {
  int exit_code;
  std::string err;
};

Shell run_in_shell(const std::string& prefix, const std::string& args, const fs::path& dir) {
  const fs::path err = dir / "stderr.txt";
  const std::string cmd = prefix + " cd '" + dir.string() + "' && '" + test::tarvex_binary().string() + "' " + args +
                          " >/dev/null 2>'" + err.string() + "'";
  const int status = std::system(("sh -c \"" + cmd + "\"").c_str());
  Shell r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(err)};
  fs::remove(err);
  return r;
}

// ulimit -v for 1.5 GB of address space beyond what starting the program
// takes (its shared libraries vary by build).
std::string ulimit_1500mb(const fs::path& dir) {
  long lo = 16 * 1024, hi = 4 * 1024 * 1024;
  while (hi - lo > 4 * 1024) {
    const long mid = (lo + hi) / 2;
    (run_in_shell("ulimit -v " + std::to_string(mid) + ";", "--version", dir).exit_code == 0 ? hi : lo) = mid;
  }
  return "ulimit -v " + std::to_string(hi + 1500000) + ";";
}

// The small catchment with its grids declared 20000 x 20000.
void prepare(const TempDir& d) {
  test::copy_dir(test::test_data_dir() / "small", d.path());
  std::string ctl = read_file(d / "Tarvex.in");
  const std::string key = "Rows and columns of the grids\n8 9\n";
  ctl.replace(ctl.find(key), key.size(), "Rows and columns of the grids\n20000 20000\n");
  test::write_file(d / "Tarvex.in", ctl);
}

TEST(MemoryCheck, GridFileTooSmallForTheDeclaredGridIsRefusedFirst) {
  TempDir d;
  prepare(d);
  const std::string limit = ulimit_1500mb(d.path());
  const std::string dir_before = read_file(d / "dir.txt");
  const std::string tail = " grid of record 18 of 'Tarvex.in': 400000000 values take at least 799999999 bytes\n";

  const Shell terrain = run_in_shell(limit, "--mode 1 --no-limits", d.path());
  EXPECT_EQ(terrain.exit_code, 1);
  EXPECT_EQ(terrain.err, "tarvex: error: file 'dem.txt': " + std::to_string(fs::file_size(d / "dem.txt")) +
                             " bytes cannot hold the 20000 x 20000" + tail);
  EXPECT_EQ(read_file(d / "dir.txt"), dir_before);

  const Shell run = run_in_shell(limit, "--mode 3 --no-limits", d.path());
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err, "tarvex: error: file 'rough.txt': " + std::to_string(fs::file_size(d / "rough.txt")) +
                         " bytes cannot hold the 20000 x 20000" + tail);
}

TEST(MemoryCheck, GridsMemoryCannotHoldAreRefusedWithTheEstimateAndTheLimit) {
  TempDir d;
  prepare(d);
  const std::string limit = ulimit_1500mb(d.path());
  const std::string order_before = read_file(d / "RiverOrder.out");
  // Files of the least size for the grid, holes on disk.
  for (const char* f : {"dem.txt", "rough.txt", "dir.txt", "elev.txt", "area.txt", "cn.txt"}) {
    fs::resize_file(d / f, 799999999);
  }
  const Shell terrain = run_in_shell(limit, "--mode 1 --no-limits", d.path());
  EXPECT_EQ(terrain.exit_code, 1);
  EXPECT_EQ(test::lines_of(terrain.err).size(), 1u) << terrain.err;
  EXPECT_EQ(terrain.err.rfind("tarvex: error: the terrain pass over 20000 x 20000 cells (record 18 of 'Tarvex.in') "
                              "needs about 9.6 GB of memory, more than the ",
                              0),
            0u)
      << terrain.err;
  EXPECT_NE(terrain.err.find(" the process may still take (the address-space limit (ulimit -v) of 1."),
            std::string::npos)
      << terrain.err;
  EXPECT_EQ(read_file(d / "RiverOrder.out"), order_before);

  const Shell run = run_in_shell(limit, "--mode 3 --no-limits", d.path());
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err.rfind("tarvex: error: a run over 20000 x 20000 cells (record 18 of 'Tarvex.in') and 300 records "
                          "needs about 60.8 GB of memory, more than the ",
                          0),
            0u)
      << run.err;

  // The small catchment itself runs under the same limit.
  TempDir small;
  test::copy_dir(test::test_data_dir() / "small", small.path());
  for (const char* args : {"--mode 1 --no-limits", "--mode 3 --no-limits", "--no-limits"}) {
    const Shell ok = run_in_shell(limit, args, small.path());
    EXPECT_EQ(ok.exit_code, 0) << args << ": " << ok.err;
  }
}

TEST(MemoryCheck, RoomIsTheCgroupLimitLessWhatTheProcessHolds) {
  struct Root : TempDir {
    void write(const std::string& name, const std::string& text) const {
      fs::create_directories((path() / name).parent_path());
      TempDir::write(name, text);
    }
  } root;
  root.write("proc/self/status", "Name:\ttarvex\nVmSize:\t  900000 kB\nVmRSS:\t    1000 kB\n");
  root.write("proc/meminfo", "MemTotal:       24000000 kB\nMemAvailable:   20000000 kB\n");
  // No cgroup file: the machine's available memory.
  std::optional<MemoryRoom> room = memory_room(root.path());
  ASSERT_TRUE(room);
  EXPECT_EQ(room->bytes, 20000000ull * 1024);
  EXPECT_EQ(room->source, "the memory available on this machine");

  // cgroup v2: the least limit of the process's cgroup and its parents.
  root.write("proc/self/cgroup", "0::/job/step\n");
  root.write("sys/fs/cgroup/job/memory.max", "1500000000\n");
  root.write("sys/fs/cgroup/job/step/memory.max", "max\n");
  room = memory_room(root.path());
  ASSERT_TRUE(room);
  EXPECT_EQ(room->bytes, 1500000000ull - 1000 * 1024);
  EXPECT_EQ(room->source, "the cgroup memory limit of 1.5 GB");

  // cgroup v1, the process's directory not visible (a cgroup namespace):
  // the mount's own limit; "no limit" is ignored.
  root.write("proc/self/cgroup", "5:cpu,cpuacct:/x\n4:memory:/x/y\n");
  root.write("sys/fs/cgroup/memory/memory.limit_in_bytes", "800000000\n");
  room = memory_room(root.path());
  ASSERT_TRUE(room);
  EXPECT_EQ(room->bytes, 800000000ull - 1000 * 1024);
  root.write("sys/fs/cgroup/memory/memory.limit_in_bytes", "9223372036854771712\n");
  room = memory_room(root.path());
  ASSERT_TRUE(room);
  EXPECT_EQ(room->source, "the memory available on this machine");
}

}  // namespace
}  // namespace tarvex

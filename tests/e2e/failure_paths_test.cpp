// Runs the built program where reading or writing fails or would cost more
// than the run needs: it must end with an error and exit 1 (or exit 2 for
// the command line), never with exit 0 and lost data.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>

#include "support/testkit.hpp"

namespace tarvex {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::TempDir;

constexpr std::uintmax_t kMiB = 1024 * 1024;

struct Shell {
  int exit_code;
  std::string err;
};

// Runs tarvex in dir under sh, with prefix (e.g. "ulimit -v N;") and the
// given redirection of standard output.
Shell run_in_shell(const std::string& prefix, const std::string& args, const fs::path& dir,
                   const std::string& out = "/dev/null") {
  const fs::path err = dir / "stderr.txt";
  const std::string cmd = prefix + " cd '" + dir.string() + "' && '" + test::tarvex_binary().string() + "' " +
                          args + " >" + out + " 2>'" + err.string() + "'";
  const int status = std::system(("sh -c \"" + cmd + "\"").c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(err)};
}

// Writes head, then a hole of gap bytes (NULs that take no disk), then tail.
void write_with_hole(const fs::path& path, const std::string& head, std::uintmax_t gap, const std::string& tail) {
  test::write_file(path, head);
  fs::resize_file(path, head.size() + gap);
  std::ofstream(path, std::ios::binary | std::ios::app) << tail;
}

void copy_small(const TempDir& d) { test::copy_dir(test::test_data_dir() / "small", d.path()); }

// Address space (KiB) the program needs to start: its shared libraries
// (GDAL among them, when built with it) take a share that varies by build.
long start_floor_kib(const fs::path& dir) {
  long lo = 16 * 1024, hi = 4 * 1024 * 1024;
  while (hi - lo > 4 * 1024) {
    const long mid = (lo + hi) / 2;
    if (run_in_shell("ulimit -v " + std::to_string(mid) + ";", "--version", dir).exit_code == 0) {
      hi = mid;
    } else {
      lo = mid;
    }
  }
  return hi;
}

TEST(FailurePaths, MemoryFollowsTheRecordsReadNotTheFileSize) {
  // With 100 MB of address space beyond what starting takes: a 200 MB
  // link-file header (skipped) and 1 GB of junk after the rain series (never
  // reached) cost nothing.
  TempDir d;
  copy_small(d);
  write_with_hole(d / "links.txt", "", 200 * kMiB, read_file(d / "links.txt"));
  fs::resize_file(d / "rain.txt", fs::file_size(d / "rain.txt") + 1024 * kMiB);
  const std::string limit = "ulimit -v " + std::to_string(start_floor_kib(d.path()) + 100000) + ";";
  auto ok = run_in_shell(limit, "--mode 2", d.path());
  ASSERT_EQ(ok.exit_code, 0) << ok.err;
  const fs::path gold = test::test_data_dir() / "small_golden" / "mode2";
  EXPECT_EQ(read_file(d / "discharge.out"), read_file(gold / "discharge.out"));

  // A record the run must hold and that memory cannot: an error naming the
  // file and the record.
  const std::string ctl = read_file(d / "Tarvex.in");
  std::size_t cut = 0;
  for (int k = 0; k < 10; ++k) cut = ctl.find('\n', cut) + 1;  // record 10: the start date
  write_with_hole(d / "Tarvex.in", ctl.substr(0, cut - 1), 200 * kMiB, ctl.substr(cut - 1));
  auto big = run_in_shell(limit, "--mode 2", d.path());
  EXPECT_EQ(big.exit_code, 1);
  EXPECT_NE(big.err.find("file 'Tarvex.in': record 10: out of memory"), std::string::npos) << big.err;

  // A device is not read until memory runs out.
  std::string ctl_dev = ctl;
  ctl_dev.replace(ctl_dev.find("\nrain.txt") + 1, 8, "/dev/zero");
  test::write_file(d / "Tarvex.in", ctl_dev);
  auto dev = run_in_shell(limit, "--mode 2", d.path());
  EXPECT_EQ(dev.exit_code, 1);
  EXPECT_EQ(dev.err, "tarvex: error: file '/dev/zero': not a regular file\n");
}

TEST(FailurePaths, RecordCountBeyondInt32IsAnError) {
  // 2^31 empty records after the links: 2 GB for a moment, in memory when
  // /dev/shm has room (much faster than a disk).
  std::error_code ec;
  const bool shm = fs::space("/dev/shm", ec).available > 4096 * kMiB && !ec;
  const char* old_tmp = std::getenv("TMPDIR");
  const std::string saved = old_tmp ? old_tmp : "";
  if (shm) ::setenv("TMPDIR", "/dev/shm", 1);
  TempDir d;
  if (shm) old_tmp ? ::setenv("TMPDIR", saved.c_str(), 1) : ::unsetenv("TMPDIR");
  copy_small(d);
  {
    std::ofstream links(d / "links.txt", std::ios::binary | std::ios::app);
    const std::string block(16 * kMiB, '\n');
    for (int k = 0; k < 128; ++k) links << block;
    ASSERT_TRUE(links.flush());
  }
  auto r = run_in_shell("", "--mode 2", d.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("file 'links.txt': more than 2147483647 records"), std::string::npos) << r.err;
}

TEST(FailurePaths, FailedStandardOutputIsNotSuccess) {
  TempDir d;
  copy_small(d);
  const std::string line = "tarvex: error: write error on standard output: No space left on device\n";
  for (const char* args : {"--help", "--version"}) {
    auto r = run_in_shell("", args, d.path(), "/dev/full");
    EXPECT_EQ(r.exit_code, 2) << args;
    EXPECT_EQ(r.err, line) << args;
  }
  auto run = run_in_shell("", "--mode 2", d.path(), "/dev/full");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err, line);
}

TEST(FailurePaths, EmptyDirectoryIsAUsageError) {
  TempDir d;
  for (const std::vector<std::string>& args : {std::vector<std::string>{"-C", ""}, {"--directory="}}) {
    auto r = test::run_tarvex(args, d.path());
    EXPECT_EQ(r.exit_code, 2) << args[0];
    EXPECT_NE(r.err.find("see tarvex --help"), std::string::npos) << args[0];
  }
}

// An output named like an input is refused before anything is written, by
// name or by another path to the same file.
TEST(FailurePaths, OutputsNeverOverwriteInputs) {
  auto rename_in_control = [](const TempDir& d, const std::string& from, const std::string& to) {
    std::string ctl = d.read("Tarvex.in");
    ctl.replace(ctl.find("\n" + from + "\n") + 1, from.size(), to);
    d.write("Tarvex.in", ctl);
  };
  {
    TempDir d;
    test::copy_dir(test::test_data_dir() / "small", d.path());
    const std::string dem = d.read("dem.txt");
    rename_in_control(d, "dir.txt", "dem.txt");
    const auto r = test::run_tarvex({"--mode", "1"}, d.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("the direction file (record 52 of 'Tarvex.in') would overwrite the DEM (record 12"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(d.read("dem.txt"), dem);
  }
  {
    TempDir d;
    test::copy_dir(test::test_data_dir() / "small", d.path());
    rename_in_control(d, "discharge.out", "./sub/../Tarvex.in");
    fs::create_directory(d / "sub");
    const auto r = test::run_tarvex({"--mode", "2"}, d.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("the discharge file"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("the control file"), std::string::npos) << r.err;
    EXPECT_FALSE(d.exists("TotRain.out"));
  }
  {
    // The observed series is the user's data even where a run does not read it.
    TempDir d;
    test::copy_dir(test::test_data_dir() / "small", d.path());
    const std::string obs = d.read("obs.txt");
    rename_in_control(d, "discharge.out", "obs.txt");
    const auto r = test::run_tarvex({"--mode", "3"}, d.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("would overwrite the observed discharge file"), std::string::npos) << r.err;
    EXPECT_EQ(d.read("obs.txt"), obs);
  }
}

}  // namespace
}  // namespace tarvex

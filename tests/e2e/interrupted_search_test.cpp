// The calibration search of the built program stopped from outside: by
// SIGINT or SIGTERM, by a file-size limit, or by a second run in the same
// directory.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/testkit.hpp"

namespace tarvex {
namespace {

namespace fs = std::filesystem;
using test::lines_of;
using test::TempDir;

// 240 trials, 2 complexes of 5 points: about 18 loops, so that a signal
// sent after loop 1 finds the search running.
const std::string kSettings =
    "  240    5 0.0     2    7    1\n"
    "    5    3    5    2    1    0\n";

void prepare(const TempDir& dir) {
  test::copy_dir(test::test_data_dir() / "small", dir.path());
  const std::string s = test::read_file(test::test_data_dir() / "small" / "scein.dat");
  const std::size_t second = s.find('\n', s.find('\n') + 1);
  dir.write("scein.dat", kSettings + s.substr(second + 1));
}

const char* const kRecords[] = {"min-ris.txt", "sce_evaluations.csv", "sceout.dat", "outlet.out",
                                "sce_checkpoint.txt"};

// The program started in dir, standard output and error into files of io.
class Started {
 public:
  Started(const std::vector<std::string>& args, const fs::path& dir, const TempDir& io, rlim_t file_limit = RLIM_INFINITY)
      : io_(io) {
    const std::string bin = test::tarvex_binary().string(), wd = dir.string();
    const std::string out = (io / "out").string(), err = (io / "err").string();
    std::vector<std::string> all{bin};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      const rlimit limit{file_limit, file_limit};
      if (::chdir(wd.c_str()) != 0 || ::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(120);
      const int in = ::open("/dev/null", O_RDONLY);
      const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (in < 0 || o < 0 || e < 0 || ::dup2(in, 0) < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0) ::_exit(121);
      ::execv(argv[0], argv.data());
      ::_exit(122);
    }
  }
  pid_t pid() const { return pid_; }
  void signal(int sig) const { ::kill(pid_, sig); }
  // The exit status, or minus the signal that ended the process.
  int wait() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  }
  std::string out() const { return io_.read("out"); }
  std::string err() const { return io_.read("err"); }

 private:
  const TempDir& io_;
  pid_t pid_ = -1;
};

// Waits until the checkpoint in dir is past loop `loop`.
bool wait_for_loop(const TempDir& dir, int loop) {
  for (int k = 0; k < 10000; ++k) {
    if (dir.exists("sce_checkpoint.txt")) {
      const std::string c = dir.read("sce_checkpoint.txt");
      const std::size_t at = c.find("\nloop ");
      if (at != std::string::npos && std::atoi(c.c_str() + at + 6) > loop) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

// The records of the whole search, run once.
const TempDir& whole_search() {
  static TempDir whole;
  static const bool ran = [] {
    prepare(whole);
    const test::RunResult r = test::run_tarvex({"--search", "-j", "1"}, whole.path());
    EXPECT_EQ(r.exit_code, 0) << r.err;
    whole.write("stdout", r.out);
    return true;
  }();
  EXPECT_TRUE(ran);
  return whole;
}

// Field k (from 0) of a CSV row.
double csv_field(const std::string& row, int k) {
  std::size_t pos = 0;
  for (int i = 0; i < k; ++i) pos = row.find(',', pos) + 1;
  return std::strtod(row.c_str() + pos, nullptr);
}

TEST(InterruptedSearch, KeepsTheBestPointAndResumesToTheWholeSearch) {
  const TempDir& whole = whole_search();
  TempDir cut, io;
  prepare(cut);

  Started first({"--search", "-j", "2"}, cut.path(), io);
  ASSERT_TRUE(wait_for_loop(cut, 1));
  first.signal(SIGINT);
  ASSERT_EQ(first.wait(), 130) << first.err();
  EXPECT_NE(first.err().find("interrupted by SIGINT"), std::string::npos) << first.err();
  EXPECT_NE(first.err().find("stopping the search once"), std::string::npos) << first.err();
  EXPECT_NE(first.out().find("Search stopped: interrupted"), std::string::npos) << first.out();

  // The records end at the checkpoint's loop; the report and the series give
  // the best point of those records.
  const std::string checkpoint = cut.read("sce_checkpoint.txt");
  const long evals = std::atol(checkpoint.c_str() + checkpoint.find("\nevaluations ") + 13);
  const auto csv = lines_of(cut.read("sce_evaluations.csv"));
  ASSERT_EQ(static_cast<long>(csv.size()), evals + 1);
  EXPECT_EQ(static_cast<long>(lines_of(cut.read("min-ris.txt")).size()), 2 * evals);
  double lowest = csv_field(csv[1], 12);
  for (std::size_t k = 1; k < csv.size(); ++k) lowest = std::min(lowest, csv_field(csv[k], 12));
  const std::string report = cut.read("sceout.dat");
  EXPECT_NE(report.find("  SEARCH STOPPED: interrupted by SIGINT\n"), std::string::npos) << report;
  EXPECT_NE(report.find("  TRIALS: " + std::to_string(evals) + " "), std::string::npos) << report;
  const std::string key = "  BEST OBJECTIVE (sse) = ";
  ASSERT_NE(report.find(key), std::string::npos) << report;
  EXPECT_EQ(std::strtod(report.c_str() + report.find(key) + key.size(), nullptr), lowest);
  EXPECT_EQ(lines_of(cut.read("outlet.out")).size(), lines_of(whole.read("outlet.out")).size());

  // Resumed, stopped by SIGTERM, resumed again: the records of the whole search.
  Started second({"--search", "--resume", "-j", "2"}, cut.path(), io);
  ASSERT_TRUE(wait_for_loop(cut, static_cast<int>(std::atoi(checkpoint.c_str() + checkpoint.find("\nloop ") + 6)) + 1));
  second.signal(SIGTERM);
  ASSERT_EQ(second.wait(), 143) << second.err();
  EXPECT_NE(cut.read("sceout.dat").find("  SEARCH STOPPED: interrupted by SIGTERM\n"), std::string::npos);

  const test::RunResult r = test::run_tarvex({"--search", "--resume", "-j", "1"}, cut.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, whole.read("stdout"));
  for (const char* f : kRecords) EXPECT_TRUE(whole.read(f) == cut.read(f)) << f;
}

// Every line of the log is a whole record, the two kinds in turn.
void expect_whole_log(const std::string& log) {
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), '\n');
  const auto lines = lines_of(log);
  ASSERT_EQ(lines.size() % 2, 0u);
  for (std::size_t k = 0; k < lines.size(); k += 2) {
    EXPECT_EQ(lines[k].rfind(" Parameter values: ", 0), 0u) << k;
    EXPECT_EQ(lines[k].find_first_not_of(" .-+0123456789e", 19), std::string::npos) << lines[k];
    EXPECT_EQ(lines[k + 1].rfind(" Objective function = ", 0), 0u) << k + 1;
  }
}

// Every row of the table holds as many fields as its header.
void expect_whole_table(const std::string& csv) {
  ASSERT_FALSE(csv.empty());
  EXPECT_EQ(csv.back(), '\n');
  const auto rows = lines_of(csv);
  const auto fields = [](const std::string& row) { return std::count(row.begin(), row.end(), ','); };
  for (std::size_t k = 1; k < rows.size(); ++k) {
    EXPECT_EQ(fields(rows[k]), fields(rows[0])) << "row " << k;
    EXPECT_EQ(csv_field(rows[k], 0), static_cast<double>(k));
  }
}

TEST(InterruptedSearch, AFileSizeLimitLeavesWholeRecordsAndAResumableSearch) {
  const TempDir& whole = whole_search();
  TempDir io;
  // The evaluation log reaches the smaller limit first, the table the larger.
  for (const auto& [limit, file] : {std::pair<rlim_t, const char*>{4000, "min-ris.txt"},
                                    std::pair<rlim_t, const char*>{20000, "sce_evaluations.csv"}}) {
    TempDir dir;
    prepare(dir);
    Started run({"--search", "-j", "2"}, dir.path(), io, limit);
    ASSERT_EQ(run.wait(), 1) << limit;
    const std::string err = run.err();
    EXPECT_EQ(lines_of(err).size(), 1u) << err;
    EXPECT_NE(err.find(std::string("file '") + file + "': appending"), std::string::npos) << err;
    EXPECT_NE(err.find("File too large"), std::string::npos) << err;
    expect_whole_log(dir.read("min-ris.txt"));
    expect_whole_table(dir.read("sce_evaluations.csv"));

    if (limit < 20000) continue;
    // What was cut back is what the checkpoint expects.
    const test::RunResult r = test::run_tarvex({"--search", "--resume", "-j", "1"}, dir.path());
    ASSERT_EQ(r.exit_code, 0) << r.err;
    for (const char* f : {"min-ris.txt", "sce_evaluations.csv", "sce_checkpoint.txt"})
      EXPECT_TRUE(whole.read(f) == dir.read(f)) << f;
  }
}

TEST(InterruptedSearch, OneRunAtATimeInADirectory) {
  TempDir dir, io, io2;
  prepare(dir);
  Started search({"--search", "-j", "1"}, dir.path(), io);
  ASSERT_TRUE(wait_for_loop(dir, 0));

  // Any run is refused while the search holds the directory.
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--search"}, {"--mode", "2"}}) {
    const test::RunResult r = test::run_tarvex(args, dir.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(lines_of(r.err).size(), 1u) << r.err;
    EXPECT_NE(r.err.find("process " + std::to_string(search.pid())), std::string::npos) << r.err;
  }
  // The search went on alone.
  EXPECT_TRUE(wait_for_loop(dir, 2));

  // A killed holder leaves no lock that counts.
  search.signal(SIGKILL);
  EXPECT_EQ(search.wait(), -SIGKILL);
  Started next({"--search", "--resume", "-j", "1"}, dir.path(), io2);
  EXPECT_EQ(next.wait(), 0) << next.err();
  EXPECT_FALSE(dir.exists(".tarvex.lock"));
  expect_whole_table(dir.read("sce_evaluations.csv"));
  // Nor do the temporaries the killed run was writing stay behind.
  for (const auto& e : fs::directory_iterator(dir.path())) {
    const std::string name = e.path().filename().string();
    EXPECT_FALSE(name.starts_with(".") && name.ends_with(".tmp")) << name;
  }
}

}  // namespace
}  // namespace tarvex

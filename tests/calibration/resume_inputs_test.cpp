// A resumed search (tarvex --search --resume) runs on the inputs it began
// with: the checkpoint keeps their digests, and its numbers are checked
// before the search goes on. Also the digest against published vectors.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "calibration/sce_search.hpp"
#include "calibration/search_inputs.hpp"
#include "io/control_file.hpp"
#include "io/input_digest.hpp"
#include "support/testkit.hpp"

namespace tarvex {
namespace {

using test::lines_of;
using test::TempDir;

TEST(InputDigest, MatchesTheFnv1aTestVectors) {
  EXPECT_EQ(fnv1a64(""), 0xcbf29ce484222325ull);
  EXPECT_EQ(fnv1a64("a"), 0xaf63dc4c8601ec8cull);
  EXPECT_EQ(fnv1a64("foobar"), 0x85944171f73967e8ull);
  EXPECT_EQ(fnv1a64("bar", fnv1a64("foo")), fnv1a64("foobar"));

  TempDir dir;
  dir.write("f.txt", "foobar");
  EXPECT_EQ(file_digest(dir / "f.txt"), "85944171f73967e8");
  // Larger than one read buffer.
  const std::string big(200000, 'x');
  dir.write("big.txt", big);
  EXPECT_EQ(file_digest(dir / "big.txt"), [&] {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(fnv1a64(big)));
    return std::string(hex);
  }());
  EXPECT_THROW(file_digest(dir / "missing.txt"), InputError);
  EXPECT_THROW(file_digest(dir.path()), InputError);
}

// Every state a search saves, whatever stopped it, passes the checks of
// its numbers; a stop flag changed in the last one does not.
TEST(SceStateChecks, EverySavedStateRestores) {
  auto sphere = [](int, std::span<const double> x) {
    double s = 0.0;
    for (double v : x) s += (v - 0.3) * (v - 0.3);
    return s;
  };
  struct Case {
    long max_evals;
    double pct_change;
    SceStop stop;
  };
  for (const Case& c : {Case{40, 0.0, SceStop::max_evals}, Case{100000, 1e9, SceStop::no_progress},
                        Case{100000, 0.0, SceStop::converged}}) {
    SceConfig cfg;
    cfg.ngs = 3;
    cfg.mingcs = 2;
    cfg.max_evals = c.max_evals;
    cfg.pct_change = c.pct_change;
    cfg.kstop = 1;
    const std::vector<double> lo = {-1, -1}, hi = {1, 1};
    SceSearch search(cfg, lo, hi, {}, sphere);
    std::vector<std::string> states;
    search.on_checkpoint = [&](const SceSearch& s) { states.push_back(s.save_state()); };
    ASSERT_EQ(search.run().stop, c.stop);
    for (const std::string& st : states) {
      SceSearch again(cfg, lo, hi, {}, sphere);
      EXPECT_NO_THROW(again.restore_state(st)) << st;
    }
    std::string last = states.back();
    const std::size_t at = last.find("\nstop ");
    last[at + 6] = '0';
    SceSearch again(cfg, lo, hi, {}, sphere);
    EXPECT_THROW(again.restore_state(last), SceStateError);
  }
}

const char* const kRecords[] = {"min-ris.txt", "sce_evaluations.csv", "sceout.dat", "outlet.out",
                                "sce_checkpoint.txt"};
// What a refused resume must leave as it was.
const char* const kKept[] = {"min-ris.txt", "sce_evaluations.csv", "sce_checkpoint.txt"};

void prepare(const TempDir& dir) {
  test::copy_dir(test::test_data_dir() / "small", dir.path());
  // 400 trials of 2 complexes of 5 points: some twenty loops.
  const std::string s = test::read_file(test::test_data_dir() / "small" / "scein.dat");
  const std::size_t params = s.find('\n', s.find('\n') + 1) + 1;
  dir.write("scein.dat", "  400    5 0.01    2    7    1\n    5    3    5    2    1    0\n" + s.substr(params));
}

// The line of text that starts with prefix, from 1; 0 when none does.
int line_starting(const std::string& text, const std::string& prefix) {
  const auto lines = lines_of(text);
  for (std::size_t k = 0; k < lines.size(); ++k)
    if (lines[k].rfind(prefix, 0) == 0) return static_cast<int>(k) + 1;
  return 0;
}

std::string with_line(const std::string& text, int line, const std::string& replacement) {
  auto lines = lines_of(text);
  lines.at(static_cast<std::size_t>(line - 1)) = replacement;
  std::string t;
  for (const auto& l : lines) t += l + "\n";
  return t;
}

// A search run to its end, and the same search killed once a loop after the
// initial population is saved.
class ResumeInputs : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    whole_ = std::make_unique<TempDir>();
    cut_ = std::make_unique<TempDir>();
    prepare(*whole_);
    prepare(*cut_);
    ASSERT_EQ(test::run_tarvex({"--search", "-j", "1"}, whole_->path()).exit_code, 0);

    const TempDir& cut = *cut_;
    test::kill_search_past_first_loop(cut);
    ASSERT_TRUE(cut.exists("sce_checkpoint.txt"));
  }
  static void TearDownTestSuite() {
    whole_.reset();
    cut_.reset();
  }

  // A copy of the interrupted search.
  static void copy_cut(const TempDir& dir) { test::copy_dir(cut_->path(), dir.path()); }

  // Expects the resume in dir refused with one line holding every part, and
  // the records left as they were.
  static void expect_refused(const TempDir& dir, const std::vector<std::string>& parts) {
    std::vector<std::string> before;
    for (const char* f : kKept) before.push_back(dir.read(f));
    const test::RunResult r = test::run_tarvex({"--search", "--resume", "-j", "1"}, dir.path());
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_EQ(lines_of(r.err).size(), 1u) << r.err;
    for (const std::string& p : parts) EXPECT_NE(r.err.find(p), std::string::npos) << p << "\n" << r.err;
    for (std::size_t k = 0; k < before.size(); ++k) EXPECT_TRUE(dir.read(kKept[k]) == before[k]) << kKept[k];
  }

  static std::unique_ptr<TempDir> whole_, cut_;
};

std::unique_ptr<TempDir> ResumeInputs::whole_;
std::unique_ptr<TempDir> ResumeInputs::cut_;

TEST_F(ResumeInputs, ChangedObservationsOrRainAreRefusedAndTheSameInputsEndAsTheWholeSearch) {
  {
    TempDir dir;
    copy_cut(dir);
    auto obs = lines_of(dir.read("obs.txt"));
    std::string text;
    for (std::size_t k = 0; k < obs.size(); ++k) text += (k == 2 ? std::string("0.00502") : obs[k]) + "\n";
    ASSERT_NE(text, dir.read("obs.txt"));
    dir.write("obs.txt", text);
    expect_refused(dir, {"file 'obs.txt'", "sce_checkpoint.txt", "without --resume"});
  }
  {
    TempDir dir;
    copy_cut(dir);
    std::string rain = dir.read("rain.txt");
    const std::size_t at = rain.rfind(" 0.00 ");
    ASSERT_NE(at, std::string::npos);
    rain.replace(at, 6, " 3.00 ");
    dir.write("rain.txt", rain);
    expect_refused(dir, {"file 'rain.txt'", "sce_checkpoint.txt"});
  }
  // Inputs as they were: the resumed search ends exactly as the whole one.
  TempDir same;
  copy_cut(same);
  const test::RunResult r = test::run_tarvex({"--search", "--resume", "-j", "2"}, same.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  for (const char* f : kRecords) EXPECT_TRUE(whole_->read(f) == same.read(f)) << f;
}

TEST_F(ResumeInputs, CheckpointNumbersOutOfRangeAreRefusedNamingTheRecord) {
  const std::string saved = cut_->read("sce_checkpoint.txt");
  const int stop_line = line_starting(saved, "stop ");
  ASSERT_GT(stop_line, 0);
  // A stop flag the state does not give: set when the search went on, clear
  // when it had ended.
  const bool went_on = lines_of(saved)[static_cast<std::size_t>(stop_line - 1)] == "stop 0";
  const std::string other_stop = went_on ? "stop 1" : "stop 0";
  struct Case {
    std::string prefix, replacement;
  };
  const std::vector<Case> cases = {
      {"log-bytes ", "log-bytes -5"},
      {"csv-bytes ", "csv-bytes +12"},
      {"loop ", "loop 2147483647"},
      {"evaluations ", "evaluations 99999999"},
      {"stop ", other_stop},
      {"stop ", "stop 7"},
      // A checkpoint of the build before the digests.
      {"tarvex-sce-checkpoint ", "tarvex-sce-checkpoint 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.replacement);
    TempDir dir;
    copy_cut(dir);
    const int line = line_starting(saved, c.prefix);
    ASSERT_GT(line, 0);
    dir.write("sce_checkpoint.txt", with_line(saved, line, c.replacement));
    // A huge loop count must be refused, not allocated: keep the run's
    // address space small so that a regression fails instead of paging.
    rlimit old{};
    getrlimit(RLIMIT_AS, &old);
    rlimit small = old;
    small.rlim_cur = 3ull << 30;
    if (old.rlim_max == RLIM_INFINITY || old.rlim_max > small.rlim_cur) setrlimit(RLIMIT_AS, &small);
    expect_refused(dir, {"file 'sce_checkpoint.txt': record " + std::to_string(line) + ":"});
    setrlimit(RLIMIT_AS, &old);
  }
}

}  // namespace
}  // namespace tarvex

namespace tarvex {
namespace {

// A dated series brings its tables along: a changed station or
// evapotranspiration table is a changed input, as the series itself.
TEST(SearchInputs, TablesBesideADatedSeriesAreInputs) {
  test::TempDir d;
  test::copy_dir(test::source_dir() / "examples" / "catchment-csv", d.path());
  test::ChangeDir cd(d.path());
  const auto ctl = ControlFile::read("Tarvex.in", 4);
  ASSERT_TRUE(ctl);
  const std::vector<InputDigest> before = search_inputs(*ctl);
  for (const char* table : {"rain.stations.csv", "temp.stations.csv", "temp.et.csv"}) {
    test::write_file(d / table, test::read_file(d / table) + "\n");
    const int k = first_changed_input(before, search_inputs(*ctl));
    ASSERT_GE(k, 0) << table;
    EXPECT_EQ(before[static_cast<std::size_t>(k)].path, table);
    test::write_file(d / table, test::read_file(d / table).substr(0, test::read_file(d / table).size() - 1));
  }
  EXPECT_EQ(first_changed_input(before, search_inputs(*ctl)), -1);
}

}  // namespace
}  // namespace tarvex

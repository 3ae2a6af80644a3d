// Every file a run writes is the same whatever the thread count. The
// catchments are small, so the minimum of cells per thread is lowered for
// the threads to engage.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "driver/main_menu.hpp"
#include "simulation/run_engine.hpp"
#include "support/testkit.hpp"

namespace tarvex {
namespace {

namespace fs = std::filesystem;

// Runs mode with jobs threads on a scratch copy of set; returns every file of
// the folder afterwards and the standard output.
std::map<std::string, std::string> run_in_process(const fs::path& set, int32_t mode, int32_t jobs) {
  test::TempDir d;
  test::copy_dir(set, d.path());
  test::ChangeDir cd(d.path());
  std::map<std::string, std::string> files;
  int status = -1;
  files["(stdout)"] = test::capture_stdout([&] {
    auto s = std::make_unique<ModelState>();
    s->control.min_cells_per_thread = 16;  // threads engage on these small catchments
    status = MAINMENU(*s, mode, jobs);
  });
  EXPECT_EQ(status, 0);
  for (const auto& e : fs::directory_iterator(d.path())) {
    files[e.path().filename().string()] = test::read_file(e.path());
  }
  return files;
}

TEST(ThreadCount, EveryOutputFileIsTheSameForEveryThreadCount) {
  const fs::path small = test::test_data_dir() / "small";
  const fs::path example = test::source_dir() / "examples" / "catchment";
  for (const auto& [set, mode] : {std::pair{small, 2}, {small, 3}, {small, 4}, {example, 2}}) {
    const auto one = run_in_process(set, mode, 1);
    const auto three = run_in_process(set, mode, 3);
    EXPECT_GE(one.size(), 5u);
    EXPECT_EQ(one.size(), three.size()) << set << " mode " << mode;
    for (const auto& [name, text] : one) {
      const auto it = three.find(name);
      ASSERT_NE(it, three.end()) << name;
      EXPECT_TRUE(it->second == text) << name << " differs, " << set << " mode " << mode;
    }
  }
}

}  // namespace
}  // namespace tarvex

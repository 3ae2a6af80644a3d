// Outputs are written beside their names; a run killed outright (SIGKILL, a
// second Ctrl-C) cannot remove its temporary. The next run writing that name
// removes the temporaries of processes that no longer exist, and no other.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "support/testkit.hpp"

namespace tarvex {
namespace {

TEST(StaleTemporaries, TheNextRunRemovesThoseOfEndedProcessesOnly) {
  test::TempDir dir;
  test::copy_dir(test::test_data_dir() / "small", dir.path());
  // A process id that has ended: a child that exits at once.
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ASSERT_GT(child, 0);
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);

  const std::string dead = ".dir.txt.tarvex-" + std::to_string(child) + "-0.tmp";
  const std::string alive = ".dir.txt.tarvex-" + std::to_string(::getpid()) + "-0.tmp";
  const std::string other = ".dir.txt.tarvex-notes.tmp";  // not a temporary of this program
  for (const std::string& name : {dead, alive, other}) dir.write(name, "part of a grid");

  const test::RunResult r = test::run_tarvex({"--mode", "1"}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_FALSE(dir.exists(dead));
  EXPECT_TRUE(dir.exists(alive));
  EXPECT_TRUE(dir.exists(other));
}

}  // namespace
}  // namespace tarvex

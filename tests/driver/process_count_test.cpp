// A build without MPI started as several processes by a launcher refuses to
// run: every copy would write the same files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/testkit.hpp"

namespace tarvex {
namespace {

TEST(ProcessCount, BuildWithoutMpiRefusesSeveralLaunchedCopies) {
#ifdef TARVEX_MPI
  GTEST_SKIP() << "this build runs the search over MPI ranks";
#endif
  test::TempDir dir;
  test::copy_dir(test::test_data_dir() / "small", dir.path());
  for (const char* var : {"OMPI_COMM_WORLD_SIZE", "PMI_SIZE"}) {
    ::setenv(var, "3", 1);
    const test::RunResult r = test::run_tarvex({"--search", "-j", "1"}, dir.path());
    ::unsetenv(var);
    EXPECT_EQ(r.exit_code, 1) << var;
    EXPECT_NE(r.err.find("started as 3 processes"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "sceout.dat"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "min-ris.txt"));
  }
}

}  // namespace
}  // namespace tarvex

#include "io/append_file.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include "io/input_error.hpp"
#include "support/testkit.hpp"

namespace tarvex {
namespace {

// A write that stops part-way (here at a file-size limit, as on a full disk)
// leaves the file as it was before the append.
TEST(AppendWhole, FailedAppendLeavesTheFileAsItWas) {
  test::TempDir d;
  const auto log = d / "min-ris.txt";
  append_whole(log, "first\n");
  append_whole(log, "second\n");
  ASSERT_EQ(test::read_file(log), "first\nsecond\n");

  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 20;  // room for 7 of the 100 bytes
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string message;
  try {
    append_whole(log, std::string(99, 'x') + "\n");
  } catch (const InputError& e) {
    message = e.what();
  }
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, old_handler);

  EXPECT_EQ(test::read_file(log), "first\nsecond\n");
  EXPECT_NE(message.find("min-ris.txt': appending 100 bytes failed"), std::string::npos) << message;
}

}  // namespace
}  // namespace tarvex

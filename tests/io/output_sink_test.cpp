// A process that only evaluates for another one writes no file: every
// writer of the file layer goes nowhere once outputs are discarded.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "io/append_file.hpp"
#include "io/output_sink.hpp"
#include "io/progress_file.hpp"
#include "io/search_files.hpp"
#include "io/text_writer.hpp"
#include "support/testkit.hpp"

namespace tarvex {
namespace {

TEST(OutputSink, DiscardedOutputsCreateAndChangeNoFile) {
  test::TempDir dir;
  test::ChangeDir cwd(dir.path());
  dir.write("kept.txt", "kept\n");
  // The switch is for the whole process: it is flipped in a child.
  EXPECT_EXIT(
      {
        discard_outputs();
        TextWriter w("report.txt");
        w.line("text");
        w.close();
        append_whole("log.txt", "record\n");
        replace_file_atomically("state.txt", "state\n");
        truncate_file("kept.txt", 0);
        ProgressFile progress;
        progress.write(1, 2);
        progress.close();
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
  for (const char* name : {"report.txt", "log.txt", "state.txt", "state.txt.tmp", "timestep.out"}) {
    EXPECT_FALSE(dir.exists(name)) << name;
  }
  EXPECT_EQ(dir.read("kept.txt"), "kept\n");
}

}  // namespace
}  // namespace tarvex

// A search over a control file with no output cross-section compares no
// discharge at all: it is refused naming the record of N_SECTIONS, not the
// observed file, whose values are all there.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/testkit.hpp"

namespace tarvex {
namespace {

TEST(SearchSections, NoCrossSectionIsRefusedNamingTheControlRecord) {
  test::TempDir dir;
  test::copy_dir(test::test_data_dir() / "small", dir.path());
  // Records 69 to 71: N_SECTIONS 1, its label and the section's cell.
  std::vector<std::string> lines = test::lines_of(dir.read("Tarvex.in"));
  ASSERT_EQ(lines.at(68), "1");
  lines.at(68) = "0";
  lines.erase(lines.begin() + 69, lines.begin() + 71);
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  dir.write("Tarvex.in", text);

  const test::RunResult r = test::run_tarvex({"--search", "-j", "1"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err,
            "tarvex: error: file 'Tarvex.in': record 69: N_SECTIONS = 0: no cross-section to compare with the "
            "observed discharge of 'obs.txt'; the search has nothing to fit\n");
  EXPECT_FALSE(dir.exists("sce_evaluations.csv"));
}

}  // namespace
}  // namespace tarvex

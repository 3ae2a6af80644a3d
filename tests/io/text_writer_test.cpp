#include "io/text_writer.hpp"

#include <gtest/gtest.h>

#include "io/input_error.hpp"
#include "io/record_reader.hpp"
#include "support/testkit.hpp"

namespace tarvex {
namespace {

std::string fixed(double v, int w, int d) {
  std::string s;
  put_fixed(s, v, w, d);
  return s;
}
std::string integer(int64_t v, int w) {
  std::string s;
  put_int(s, v, w);
  return s;
}

TEST(FixedFields, RightAlignedOrAsterisks) {
  EXPECT_EQ(integer(7, 3), "  7");
  EXPECT_EQ(integer(-1, 3), " -1");
  EXPECT_EQ(integer(-100, 2), "**");
  EXPECT_EQ(integer(1000000, 7), "1000000");
  EXPECT_EQ(fixed(0.12345678, 10, 5), "   0.12346");
  EXPECT_EQ(fixed(-1.0, 10, 1), "      -1.0");
  EXPECT_EQ(fixed(1.0, 3, 1), "1.0");
  EXPECT_EQ(fixed(10.0, 3, 1), "***");
  EXPECT_EQ(fixed(0.5, 2, 1), ".5");
  EXPECT_EQ(fixed(-0.5, 3, 1), "-.5");
  EXPECT_EQ(fixed(12345.6, 6, 1), "******");
  EXPECT_EQ(fixed(1.0e30, 12, 2), "************");
  EXPECT_EQ(fixed(2.675, 8, 2), "    2.67");  // the binary value lies below 2.675
}

TEST(ListLine, LeadingBlankAndSeparatedNumbers) {
  EXPECT_EQ(ListLine().text("DEM not found").str(), " DEM not found");
  EXPECT_EQ(ListLine().text("Year ").num(1).text(" completed").str(), " Year 1 completed");
  EXPECT_EQ(ListLine().text("S < 0 for cell").num(3).num(4).str(), " S < 0 for cell 3 4");
  EXPECT_EQ(ListLine().text("Completed time step ").num(5).text("/").num(400).str(),
            " Completed time step 5 / 400");
}

TEST(ListLine, NumbersReadBackExactly) {
  const double d = 0.1 + 0.2;
  const float f = 1.0f / 3.0f;
  auto r = RecordReader::from_text(ListLine().num(d).num(f).str() + "\n", "t");
  auto rd = r.read("two");
  EXPECT_EQ(rd.f64(), d);
  EXPECT_EQ(rd.f32(), f);
}

TEST(GridRows, ContinueAfterPerLineValues) {
  test::TempDir d;
  {
    TextWriter w(d / "g.txt");
    write_grid_row(w, 1000, 945, [](std::string& b, int32_t k) { put_int(b, k % 10, 2); });
    write_grid_row(w, 3, 945, [](std::string& b, int32_t k) { put_int(b, k, 2); });
  }
  std::string t = d.read("g.txt");
  auto first = t.find('\n');
  EXPECT_EQ(first, 945u * 2);
  auto second = t.find('\n', first + 1);
  EXPECT_EQ(second - first - 1, 55u * 2);
  EXPECT_EQ(t.substr(second + 1), " 0 1 2\n");
}

TEST(TextWriter, AppendKeepsEarlierContentAndBadPathFails) {
  test::TempDir d;
  {
    TextWriter w(d / "log.txt");
    w.line("one");
  }
  {
    TextWriter w(d / "log.txt", TextWriter::Mode::append);
    w.line("two");
  }
  EXPECT_EQ(d.read("log.txt"), "one\ntwo\n");
  EXPECT_THROW(TextWriter(d / "no" / "such" / "dir.txt"), InputError);
}

}  // namespace
}  // namespace tarvex

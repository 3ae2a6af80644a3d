#include "io/record_reader.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "support/testkit.hpp"

namespace tarvex {
namespace {

RecordReader text(const std::string& t) { return RecordReader::from_text(t, "test.txt"); }

// Reads one row of as many values as expected holds.
template <class T>
void expect_row(const std::string& t, const std::vector<T>& expected) {
  auto r = text(t);
  std::vector<T> v(expected.size());
  r.row(v.data(), static_cast<int32_t>(v.size()), "row");
  EXPECT_EQ(v, expected);
}

TEST(RecordReader, ReadSpansRecordsAndIgnoresRestOfLastRecord) {
  auto r = text("1 2\n3 4 5\n6\n");
  int32_t a, b, c;
  r.values("three values", a, b, c);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
  EXPECT_EQ(c, 3);
  EXPECT_EQ(r.record(), 2);
  // The next read starts on the next record: 4 and 5 are ignored.
  int32_t d;
  r.values("one value", d);
  EXPECT_EQ(d, 6);
}

TEST(RecordReader, CommasTabsAndBlanksSeparate) {
  expect_row<int32_t>("1,2\t3 ,  4\r\n", {1, 2, 3, 4});
}

TEST(RecordReader, BlankRecordsAreSkippedInsideARead) {
  auto r = text("\n   \n7\n");
  int32_t v;
  r.values("v", v);
  EXPECT_EQ(v, 7);
  EXPECT_EQ(r.record(), 3);
}

TEST(RecordReader, ReadOfNoValuesSkipsOneRecord) {
  auto r = text("a\nb\n9\n");
  auto rd = r.read("nothing");
  rd.finish();
  r.skip(1);
  int32_t v;
  r.values("v", v);
  EXPECT_EQ(v, 9);
}

TEST(RecordReader, RealForms) {
  expect_row<float>("1 1. .5 -2.5e1 3.0D2 +4 1e-50\n", {1.0f, 1.0f, 0.5f, -25.0f, 300.0f, 4.0f, 0.0f});
}

TEST(RecordReader, RealIsRoundedOnceToFloat) {
  // Rounding through double first would give the neighbouring float.
  auto r = text("1.00000005960464477550\n");
  float v;
  r.values("v", v);
  EXPECT_EQ(v, 1.00000011920928955078125f);
}

TEST(RecordReader, BadValuesNameFileRecordAndExpectation) {
  auto r = text("label\n12 x3\n");
  r.skip(1);
  int32_t a, b;
  try {
    r.values("NI, NJ", a, b);
    FAIL();
  } catch (const InputError& e) {
    std::string m = e.what();
    EXPECT_NE(m.find("test.txt"), std::string::npos) << m;
    EXPECT_NE(m.find("record 2"), std::string::npos) << m;
    EXPECT_NE(m.find("NI, NJ"), std::string::npos) << m;
    EXPECT_NE(m.find("x3"), std::string::npos) << m;
  }
  for (const char* bad : {"1.5", "1e3", "99999999999", "3*2", "nan"}) {
    auto q = text(std::string(bad) + "\n");
    int32_t v;
    EXPECT_THROW(q.values("an integer", v), InputError) << bad;
  }
  for (const char* bad : {"abc", "1.2.3", "1e", "inf", "1e50", "--1", "."}) {
    auto q = text(std::string(bad) + "\n");
    float v;
    EXPECT_THROW(q.values("a real", v), InputError) << bad;
  }
}

TEST(RecordReader, EarlyEndOfFile) {
  auto r = text("1 2\n");
  int32_t a, b, c;
  try {
    r.values("three values", a, b, c);
    FAIL();
  } catch (const InputError& e) {
    EXPECT_NE(std::string(e.what()).find("ends after record 1"), std::string::npos) << e.what();
  }
  auto s = text("x\n");
  EXPECT_THROW(s.skip(2), InputError);
}

TEST(RecordReader, NameRules) {
  auto r = text("abcdefghijklmnopqrstuvwxyz0123456789\nmy file.txt     \n'quoted name.txt' rest\nplain,word\n");
  EXPECT_EQ(r.name30("n"), "abcdefghijklmnopqrstuvwxyz0123");
  EXPECT_EQ(r.name30("n"), "my file.txt");
  EXPECT_EQ(r.name_item("n"), "quoted name.txt");
  EXPECT_EQ(r.name_item("n"), "plain");
}

TEST(RecordReader, MarkerSearchUsesFirstThreeCharactersCaseSensitive) {
  auto r = text("x\na51 lower\nA5\nA51xyz tail\nafter\n");
  r.find_marker("A51");
  EXPECT_EQ(r.record(), 4);
  EXPECT_EQ(r.name30("n"), "after");
  auto q = text("one\ntwo\n");
  EXPECT_THROW(q.find_marker("A67"), InputError);
}

TEST(RecordReader, CountAndRewind) {
  auto r = text("h\na\nb");
  EXPECT_EQ(r.count_records(), 3);
  r.rewind();
  EXPECT_EQ(r.name30("n"), "h");
  EXPECT_EQ(text("").count_records(), 0);
  EXPECT_EQ(text("a\n\n").count_records(), 2);
}

TEST(RecordReader, MissingFile) {
  test::TempDir d;
  EXPECT_FALSE(RecordReader::try_open(d / "none.txt").has_value());
  EXPECT_THROW(RecordReader(d / "none.txt"), InputError);
  EXPECT_FALSE(RecordReader::try_open(d.path()).has_value());  // a directory
}

}  // namespace
}  // namespace tarvex

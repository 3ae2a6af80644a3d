// Values a read leaves unread: the reading stays as it is, the file gets
// one warning (or an error when they are refused), and an error at the end
// of a file names the record that ran short.
#include "io/unread_values.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "io/grid_file.hpp"
#include "io/record_reader.hpp"
#include "support/testkit.hpp"

namespace tarvex {
namespace {

std::vector<std::string> g_warnings;
void keep(const std::string& m) { g_warnings.push_back(m); }

// Collects the warnings of one test.
class UnreadValuesTest : public ::testing::Test {
 protected:
  UnreadValuesTest() : old_(set_warning_sink(&keep)) { g_warnings.clear(); }
  ~UnreadValuesTest() override { set_warning_sink(old_); }

 private:
  WarningSink old_;
};

// Reads n records of a label and two gauge values from a file of that name.
std::vector<float> read_records(RecordReader r, int n) {
  std::vector<float> v;
  for (int k = 1; k <= n; ++k) {
    ListRead lr = r.read("rain record " + std::to_string(k) + " (label and 2 gauge values)");
    (void)lr.i32();
    v.push_back(lr.f32());
    v.push_back(lr.f32());
    lr.finish();
  }
  return v;
}

TEST_F(UnreadValuesTest, OneWarningPerFileWithTheFirstRecordTheCountsAndHowMany) {
  // A decimal comma splits a value in two; a second record holds a fourth value.
  const auto v = read_records(RecordReader::from_text("1 0.5 0,4\n2 1 2\n3 1 2 9\n4 1 2\n", "rain.txt"), 4);
  EXPECT_EQ(v, (std::vector<float>{0.5f, 0.0f, 1.0f, 2.0f, 1.0f, 2.0f, 1.0f, 2.0f}));  // read as before
  ASSERT_EQ(g_warnings.size(), 1u);
  EXPECT_EQ(g_warnings[0],
            "file 'rain.txt': record 1 holds 4 values; rain record 1 (label and 2 gauge values) reads 3 and ignores "
            "the rest; 2 records of the file have values left unread (--strict refuses them)");
}

TEST_F(UnreadValuesTest, ReadsThatTakeEveryValueStaySilent) {
  // Trailing blanks and commas, a read over two records, blank records,
  // words after a file name and a marker search.
  read_records(RecordReader::from_text("1 0.5 0.4 ,\r\n2\n 1 2\n\n3 1 2\n", "rain.txt"), 3);
  {
    auto names = RecordReader::from_text("dem.txt   the DEM\nx 1 2\nA51 marker\n", "Tarvex.in");
    EXPECT_EQ(names.name_item("a file name"), "dem.txt");
    names.find_marker("A51");
    auto grid = GridReader::from_text("1 2 3\n4 5\n6\n\n  \n", "dem.txt");
    grid.expect(GridExpect{2, 3, "Tarvex.in", 18});
    std::vector<float> rows(6);
    grid.rows(rows.data(), 2, 3, "the DEM");
  }
  EXPECT_TRUE(g_warnings.empty()) << g_warnings[0];
}

TEST_F(UnreadValuesTest, RecordsAfterTheLastRowOfAGridAreReportedWithTheLongRows) {
  auto grid = GridReader::from_text("1 2 3 4\n5 6 7\n8 9\n\n10\n", "dem.txt");
  grid.expect(GridExpect{2, 3, "Tarvex.in", 18});
  std::vector<float> rows(6);
  grid.rows(rows.data(), 2, 3, "the DEM");
  EXPECT_EQ(rows, (std::vector<float>{1, 2, 3, 5, 6, 7}));
  // Reported once the last row is read, before the reader closes.
  ASSERT_EQ(g_warnings.size(), 1u);
  EXPECT_EQ(g_warnings[0],
            "file 'dem.txt': record 1 holds 4 values; row 1 of the DEM reads 3 and ignores the rest; 1 record of "
            "the file has values left unread; records 3 to 5 follow record 2, the last of the grid's 2 rows "
            "(NI = 2 in record 18 of 'Tarvex.in'); 3 records are ignored (--strict refuses them)");
}

TEST_F(UnreadValuesTest, EndOfFileNamesTheRecordThatRanShort) {
  // Record 3 misses a value: its read takes one from record 4, and the last
  // read runs off the end.
  test::expect_input_error(
      [] { read_records(RecordReader::from_text("1 1 1\n2 1 1\n3 1\n4 1 1\n5 1 1\n", "rain.txt"), 5); },
      {"the file ends after record 5; expected rain record 5 (label and 2 gauge values) (an integer); "
       "record 3 holds 2 values; rain record 3 (label and 2 gauge values) reads 3"});
  // A blank record where a value was due, in a file of one value a record.
  test::expect_input_error(
      [] {
        auto r = RecordReader::from_text("0.5\n\n0.25\n", "obs.txt");
        for (int n = 1; n <= 3; ++n) {
          float q;
          r.values("observed discharge value " + std::to_string(n), q);
        }
      },
      {"record 2 holds 0 values; observed discharge value 2 reads 1"});
  // The warning is left out when an error ends the reading.
  EXPECT_TRUE(g_warnings.empty());
}

}  // namespace
}  // namespace tarvex

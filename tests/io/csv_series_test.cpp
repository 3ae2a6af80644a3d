// Dated CSV series: the accepted layouts, gaps, the times refused, and the
// tables beside a series (stations, evapotranspiration).
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

#include "io/csv_series.hpp"
#include "io/input_error.hpp"
#include "support/testkit.hpp"

namespace tarvex {
namespace {

using test::TempDir;

SeriesWindow hourly(int32_t records) {
  SeriesWindow w;
  w.start = day_seconds(2020, 10, 1);
  w.step = 3600;
  w.records = records;
  return w;
}

std::string error_of(const TempDir& d, const std::string& text, int32_t records = 3) {
  d.write("rain.csv", text);
  try {
    read_csv_series(d / "rain.csv", hourly(records), 0.0f);
  } catch (const InputError& e) {
    return e.what();
  }
  return "no error";
}

TEST(CsvTime, CalendarArithmetic) {
  int64_t t = 0;
  ASSERT_TRUE(parse_iso_time("2020-10-01T00:00", t));
  EXPECT_EQ(t, 1601510400);
  ASSERT_TRUE(parse_iso_time("2000-03-01 06:30", t));
  EXPECT_EQ(t, 951868800 + 6 * 3600 + 30 * 60);  // after a leap day of a century year
  ASSERT_TRUE(parse_iso_time("1969-12-31", t));
  EXPECT_EQ(t, -86400);
  EXPECT_EQ(format_iso_time(day_seconds(2024, 2, 29) + 3600 * 23), "2024-02-29T23:00");
  for (const char* bad : {"2021-02-29", "2020-13-01", "2020-10-01T24:00", "2020-10-1", "01/10/2020", "2020-10-01X00:00"}) {
    EXPECT_FALSE(parse_iso_time(bad, t)) << bad;
  }
}

TEST(CsvSeriesRead, LayoutsMissingValuesAndEarlierRows) {
  TempDir d;
  // Byte-order mark, CRLF, the three time forms, rows before the start.
  d.write("rain.csv",
          "\xEF\xBB\xBFtime,g1,g2\r\n"
          "2020-09-30T23:00,50,50\r\n"
          "2020-10-01,1.5,\r\n"
          "2020-10-01 01:00,NA,-1\r\n"
          "2020-10-01T02:00,NaN,0\r\n"
          "\r\n");
  const CsvSeries s = read_csv_series(d / "rain.csv", hourly(3), 0.0f);
  ASSERT_EQ(s.columns.size(), 2u);
  EXPECT_EQ(s.columns[1], "g2");
  EXPECT_EQ(s.at(1, 1), 1.5f);
  EXPECT_TRUE(std::isnan(s.at(1, 2)));
  EXPECT_TRUE(std::isnan(s.at(2, 1)));
  EXPECT_TRUE(std::isnan(s.at(2, 2)));  // negative
  EXPECT_TRUE(std::isnan(s.at(3, 1)));
  EXPECT_EQ(s.at(3, 2), 0.0f);
  EXPECT_EQ(s.line(1), 3);

  // The temperature bound: -50 is a value, -99 missing.
  d.write("t.csv", "time,t\n2020-10-01T00:00,-50\n2020-10-01T01:00,-99\n");
  const CsvSeries t = read_csv_series(d / "t.csv", hourly(2), -98.0f);
  EXPECT_EQ(t.at(1, 1), -50.0f);
  EXPECT_TRUE(std::isnan(t.at(2, 1)));
}

// Values read as the text layouts read them: the nearest 4-byte real of the
// decimal text, never a double rounded again.
TEST(CsvSeriesRead, ValuesAreTheNearestFourByteReals) {
  TempDir d;
  std::vector<std::string> texts = {"0.1", "-0.5", "1.", "16777217", "9999999", "1234.567", "0.0000001",
                                    "3.4028235e38", "1e-50", "0.30000001192092896", "+2.5", "7.000001",
                                    "1.0000000596046448"};  // a double would round it to a tie
  for (int i = 1; i < 4000; ++i) {
    char b[32];
    std::snprintf(b, sizeof b, "%.*f", i % 7, static_cast<double>(i) * 1.37113 + i * i * 0.013);
    texts.emplace_back(b);
  }
  std::string t = "time,v\n";
  for (std::size_t n = 0; n < texts.size(); ++n) t += format_iso_time(day_seconds(2020, 10, 1) + 3600 * int64_t(n)) + "," + texts[n] + "\n";
  d.write("v.csv", t);
  const CsvSeries s = read_csv_series(d / "v.csv", hourly(static_cast<int32_t>(texts.size())), -1.0e30f);
  for (std::size_t n = 0; n < texts.size(); ++n) {
    std::string_view v = texts[n];
    if (v.front() == '+') v.remove_prefix(1);
    float expect = 0.0f;
    std::from_chars(v.data(), v.data() + v.size(), expect);
    if (texts[n] == "1e-50") expect = 0.0f;
    EXPECT_EQ(s.at(static_cast<int32_t>(n + 1), 1), expect) << texts[n];
  }
  EXPECT_NE(error_of(d, "time,g\n2020-10-01T00:00,1e39\n", 1).find("'1e39' is not a number"), std::string::npos);
}

TEST(CsvSeriesRead, GapOfTwoStepsIsMissingForEveryColumn) {
  TempDir d;
  d.write("rain.csv",
          "time,g1,g2\n2020-10-01T00:00,1,2\n2020-10-01T01:00,3,4\n2020-10-01T04:00,5,6\n2020-10-01T05:00,7,8\n");
  const CsvSeries s = read_csv_series(d / "rain.csv", hourly(6), 0.0f);
  EXPECT_EQ(s.at(2, 2), 4.0f);
  for (int32_t n : {3, 4}) {
    EXPECT_TRUE(std::isnan(s.at(n, 1)) && std::isnan(s.at(n, 2))) << n;
    EXPECT_EQ(s.line(n), 0);
  }
  EXPECT_EQ(s.at(5, 1), 5.0f);
  EXPECT_EQ(s.at(6, 2), 8.0f);
  EXPECT_EQ(s.line(5), 4);
  // A record in the gap is named by its time.
  try {
    s.fail(3, "x");
    FAIL();
  } catch (const InputError& e) {
    EXPECT_NE(std::string(e.what()).find("time 2020-10-01T02:00"), std::string::npos) << e.what();
  }
  // A series that starts after the run's start leaves the first records missing.
  d.write("late.csv", "time,g\n2020-10-01T02:00,9\n");
  const CsvSeries late = read_csv_series(d / "late.csv", hourly(3), 0.0f);
  EXPECT_TRUE(std::isnan(late.at(1, 1)) && std::isnan(late.at(2, 1)));
  EXPECT_EQ(late.at(3, 1), 9.0f);
}

TEST(CsvSeriesRead, RefusesTimesThatBreakTheStepNamingFileAndLine) {
  TempDir d;
  const std::string head = "time,g\n2020-10-01T00:00,1\n";
  struct Case {
    std::string rows;
    std::vector<std::string> parts;
  };
  const Case cases[] = {
      {"2020-10-01T00:30,1\n", {"rain.csv", "line 3", "1800 s", "1 h"}},              // wrong spacing
      {"2020-10-01T02:00,1\n2020-10-01T01:00,1\n", {"line 4", "before", "line 3"}},  // out of order
      {"2020-10-01T00:00,1\n", {"line 3", "repeats", "line 2"}},                      // duplicated
      {"2020-10-01T01:00,1,2\n", {"line 3", "3 fields"}},
      {"2020-10-01T01:00,one\n", {"line 3", "'one' is not a number"}},
      {"01.10.2020 01:00,1\n", {"line 3", "not an ISO 8601 time"}},
      {"2020-10-01T01:00,1\n", {"line 3", "ends at 2020-10-01T01:00", "3 records", "2020-10-01T02:00"}},
  };
  for (const Case& c : cases) {
    const std::string e = error_of(d, head + c.rows);
    for (const std::string& p : c.parts) EXPECT_NE(e.find(p), std::string::npos) << c.rows << " -> " << e;
  }
  // The first row off the grid of steps from the start.
  EXPECT_NE(error_of(d, "time,g\n2020-09-30T23:20,1\n").find("whole number of record steps"), std::string::npos);
  EXPECT_NE(error_of(d, "time,g,g\n").find("appears twice"), std::string::npos);
  EXPECT_NE(error_of(d, "date,g\n").find("line 1"), std::string::npos);
}

TEST(CsvStations, MapCoordinatesGiveTheCellUnitsOfTheTextLayout) {
  // The text grids' georeference: lower-left corner (0, 0), 50 m cells, 100 rows.
  GeoReference geo;
  geo.cellsize = 50.0;
  float row = 0.0f, col = 0.0f;
  map_to_cell(1225.0, 4025.0, geo, 100, row, col);
  EXPECT_EQ(row, 20.0f);
  EXPECT_EQ(col, 25.0f);
  map_to_cell(85.0, 345.0, geo, 8, row, col);
  EXPECT_EQ(row, 1.6f);
  EXPECT_EQ(col, 2.2f);
  // A georeference by the centre of the lower-left cell, shifted corner.
  GeoReference c;
  c.x_ll = 500025.0;
  c.y_ll = 4100025.0;
  c.cellsize = 50.0;
  c.center = true;
  map_to_cell(500025.0, 4100025.0, c, 10, row, col);
  EXPECT_EQ(row, 10.0f);  // the southmost row
  EXPECT_EQ(col, 1.0f);
}

TEST(CsvStations, EveryColumnNeedsItsStation) {
  TempDir d;
  d.write("rain.csv", "time,north,south\n2020-10-01T00:00,1,2\n");
  const CsvSeries s = read_csv_series(d / "rain.csv", hourly(1), 0.0f);
  EXPECT_EQ(beside_series(d / "rain.csv", "stations"), d / "rain.stations.csv");
  d.write("rain.stations.csv", "name,row,column\nsouth,8,2\nnorth,1,3\n");
  const CsvStations st = read_csv_stations(d / "rain.stations.csv", false);
  EXPECT_FALSE(st.map_coordinates);
  const auto rows = stations_of(st, s);  // in the series' order
  EXPECT_EQ(rows[0].name, "north");
  EXPECT_EQ(rows[1].a, 8.0);

  d.write("rain.stations.csv", "name,x,y\nnorth,10,20\n");
  test::expect_input_error([&] { stations_of(read_csv_stations(d / "rain.stations.csv", false), s); },
                           {"rain.stations.csv", "'south'", "rain.csv"});
  d.write("t.stations.csv", "name,x,y\nst,1,2\n");
  test::expect_input_error([&] { read_csv_stations(d / "t.stations.csv", true); }, {"line 1", "elevation"});
  d.write("rain.stations.csv", "name,x,y\nnorth,10,20\nnorth,1,2\n");
  test::expect_input_error([&] { read_csv_stations(d / "rain.stations.csv", false); }, {"line 3", "repeats line 2"});
}

TEST(CsvEtTable, RowsInAnyOrderEachOnce) {
  TempDir d;
  const std::string months = ",1,2,3,4,5,6,7,8,9,10,11,12\n";
  d.write("t.et.csv", "# coefficients\nslope,5\noffset,-12\nb" + months + "a" + months +
                          "days,31,28,31,30,31,30,31,31,30,31,30,31\n");
  const EtTable t = read_et_table(d / "t.et.csv");
  EXPECT_EQ(t.offset, -12.0f);
  EXPECT_EQ(t.slope, 5.0f);
  EXPECT_EQ(t.a[11], 12.0f);
  EXPECT_EQ(t.days[1], 28);
  d.write("t.et.csv", "offset,1\nslope,2\na" + months + "b" + months);
  test::expect_input_error([&] { read_et_table(d / "t.et.csv"); }, {"t.et.csv", "no row days"});
  d.write("t.et.csv", "offset,1\nslope,2\na,1,2\n");
  test::expect_input_error([&] { read_et_table(d / "t.et.csv"); }, {"line 3", "holds 2 values; expected 12"});
}

}  // namespace
}  // namespace tarvex

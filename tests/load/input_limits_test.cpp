// Values the loaders refuse because the runs could not compute with them:
// stations too far for the nearest-station search, rain and temperatures no
// gauge can measure, curve numbers and links that give no finite number.
#include <gtest/gtest.h>

#include "io/grid_file.hpp"
#include "model/warn_error.hpp"

#include <memory>
#include <string>

#include "model/model_state.hpp"
#include "load/input_rain.hpp"
#include "load/input_temp.hpp"
#include "load/slope_comp.hpp"
#include "load/soil_storativity.hpp"
#include "io/input_error.hpp"
#include "support/small_state.hpp"
#include "support/testkit.hpp"
#include "support/tiny_catchment.hpp"

namespace tarvex {
namespace {

// 2 x 2, every cell a catchment cell but (2, 2).
std::unique_ptr<ModelState> state() {
  auto s = test::square_state(2);
  s->forcing.INTERP_METHOD = 1;
  return s;
}

using test::expect_input_error;

void rain(ModelState& s, const std::string& positions, const std::string& records) {
  auto r = RecordReader::from_text(test::rain_file(positions, 1, records), "rain.txt");
  INPUT_RAIN(s, r);
}

void temp(ModelState& s, const std::string& records, const std::string& position = "2 2 500.") {
  std::string text = test::temp_file(records);
  text.replace(text.find("2 2 500."), 8, position);
  auto r = RecordReader::from_text(text, "temp.txt");
  INPUT_TEMP(s, r);
}

TEST(InputLimits, StationsFarOffTheGridAreRefused) {
  // Beyond a squared distance of 1e20 the nearest-station search finds none.
  auto s = state();
  expect_input_error([&] { rain(*s, "2e10 1\n", "1 1.0\n2 1.0\n"); }, {"rain.txt", "record 4", "rain gauge 1"});
  expect_input_error([&] { temp(*s, "1 5.\n2 5.\n", "2 -1e7 500."); }, {"temp.txt", "record 12", "temperature station"});
  // A million cells away is still a position.
  rain(*s, "1e6 -1e6\n", "1 1.0\n2 1.0\n");
  EXPECT_EQ(s->forcing.RAIN_STATION_MAP(1, 1), 1);
  temp(*s, "1 5.\n2 5.\n", "-1e6 1 500.");
  EXPECT_EQ(s->forcing.TEMP_STATION_MAP(1, 2), 1);
}

TEST(InputLimits, RainAndTemperaturesNoGaugeMeasuresAreRefused) {
  auto s = state();
  expect_input_error([&] { rain(*s, "1 1\n", "1 1.0\n2 1e38\n"); }, {"rain.txt", "record 10", "rain record 2"});
  expect_input_error([&] { temp(*s, "1 293.15\n2 5.\n"); }, {"temp.txt", "record 17", "temperature record 1"});
  // The largest value, and a missing one: the only gauge, so the load is refused.
  test::capture_stdout([&] { EXPECT_THROW(rain(*s, "1 1\n", "1 100000.\n2 -1e38\n"), RunRefused); });
  EXPECT_EQ(s->forcing.RAIN_DATA(1, 1), 1.0e5f);
  EXPECT_EQ(s->forcing.RAIN_MISSING(2, 1), 1);
  temp(*s, "1 100.\n2 -40.\n");
  EXPECT_EQ(s->forcing.TEMP_DATA(1, 1), 100.0f);
}

TEST(InputLimits, EvapotranspirationCoefficientsStationElevationAndMonthLengths) {
  auto s = state();
  const std::string records = "1 5.\n2 5.\n";
  auto with = [&](const std::string& from, const std::string& to) {
    std::string t = test::temp_file(records);
    t.replace(t.find(from), from.size(), to);
    auto r = RecordReader::from_text(t, "temp.txt");
    INPUT_TEMP(*s, r);
  };
  expect_input_error([&] { with("-1.5 0.3", "-1.5 2e6"); }, {"temp.txt", "record 2", "offset or slope 2e+06"});
  expect_input_error([&] { with("0.5 0.6", "0.5 -1e38"); }, {"temp.txt", "record 4", "coefficient A -1e+38"});
  expect_input_error([&] { with("1.0 1.0 1.1", "1.0 1.0 1e7"); }, {"temp.txt", "record 6", "coefficient B 1e+07"});
  expect_input_error([&] { with("2 2 500.", "2 2 1e38"); }, {"temp.txt", "record 12", "elevation 1e+38 m"});
  // A month longer than 31 days would overflow the calendar's day sums.
  expect_input_error([&] { with("31 28 31", "31 2147483647 31"); }, {"temp.txt", "record 8", "month 2"});
  with("31 28 31", "31 29 31");
  EXPECT_EQ(s->forcing.DAYS_IN_MONTH(2), 29);
}

TEST(InputLimits, CurveNumberWhoseRetentionOverflowsIsRefusedOnTheCatchment) {
  auto s = state();
  // (100/CN - 1) * 254 overflows 4-byte reals below about 7.5e-35.
  auto off = GridReader::from_text("80. 80.\n80. 1e-36\n", "cn.txt");
  test::capture_stdout([&] { SOIL_STORATIVITY(*s, off); });  // (2, 2) is off the catchment
  auto on = GridReader::from_text("80. 1e-36\n80. 80.\n", "cn.txt");
  expect_input_error([&] { SOIL_STORATIVITY(*s, on); }, {"cn.txt", "(1, 2)", "beyond the range"});
}

TEST(InputLimits, LinkWithoutAFiniteSlopeIsRefused) {
  auto s = state();
  s->catchment.CELL_DX = 100.0f;
  s->catchment.CELL_DY = 100.0f;
  s->catchment.FLOW_DIR.fill(6);
  s->catchment.ELEVATION(1, 1) = 3.0e38f;
  s->catchment.ELEVATION(1, 2) = -3.0e38f;
  auto r = RecordReader::from_text("header\n1 1 1 2 1 1.0\n", "links.txt");
  expect_input_error([&] { SLOPE_COMP(*s, r, 2); }, {"links.txt", "record 2", "no finite slope"});
  // Shorter than one step: no link of a grid.
  s->catchment.ELEVATION(1, 1) = 10.0f;
  auto shortlink = RecordReader::from_text("header\n1 1 1 2 1 1e-20\n", "links.txt");
  expect_input_error([&] { SLOPE_COMP(*s, shortlink, 2); }, {"links.txt", "record 2", "length 1e-20"});
}

}  // namespace
}  // namespace tarvex

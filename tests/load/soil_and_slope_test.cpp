#include <gtest/gtest.h>

#include "io/grid_file.hpp"
#include "model/warn_error.hpp"

#include <memory>

#include "model/model_state.hpp"
#include "load/input_temp.hpp"
#include "load/slope_comp.hpp"
#include "load/soil_storativity.hpp"
#include "support/small_state.hpp"
#include "support/testkit.hpp"
#include "support/tiny_catchment.hpp"

namespace tarvex {
namespace {

std::unique_ptr<ModelState> state(int32_t ni, int32_t nj) { return test::small_state(ni, nj); }

TEST(SoilStorativity, CurveNumbersToRetention) {
  auto s = state(1, 6);
  s->catchment.SLOPE.fill(-1.0f);
  auto r = GridReader::from_text("100 50 25\n0 -3 101 999\n", "cn.txt");
  std::string out = test::capture_stdout([&] { SOIL_STORATIVITY(*s, r); });
  EXPECT_EQ(s->catchment.SOIL_CAPACITY(1, 1), 0.0001f);
  EXPECT_EQ(s->catchment.SOIL_CAPACITY(1, 2), 254.0f);
  EXPECT_EQ(s->catchment.SOIL_CAPACITY(1, 3), 762.0f);
  EXPECT_EQ(s->catchment.SOIL_CAPACITY(1, 4), -1.0f);
  EXPECT_EQ(s->catchment.SOIL_CAPACITY(1, 5), -1.0f);
  EXPECT_EQ(s->catchment.SOIL_CAPACITY(1, 6), (100.0f / 101.0f - 1.0f) * 254.0f);
  EXPECT_NEAR(s->catchment.SOIL_CAPACITY(1, 6), -2.515f, 0.001f);
  EXPECT_EQ(out, "\n S < 0 for cell 1 6\n Error in the CN file\n\n");
}

TEST(SlopeComp, MeanBedSlopeAlongEachLink) {
  auto s = state(1, 12);
  s->catchment.CELL_DX = 100.0f;
  s->catchment.CELL_DY = 100.0f;
  s->catchment.FLOW_DIR.fill(6);
  for (int32_t j = 1; j <= 12; ++j) s->catchment.ELEVATION(1, j) = 20.0f - static_cast<float>(j) * 0.5f;
  // (1,1)->(1,11): 10 steps, drop 5 m -> 0.005; (1,11)->(1,12): level -> 0.0001.
  s->catchment.ELEVATION(1, 12) = s->catchment.ELEVATION(1, 11);
  auto r = RecordReader::from_text("header\n1 1 1 11 1 10.0\n1 11 1 12 2 1.0\n", "links.txt");
  SLOPE_COMP(*s, r, 3);
  EXPECT_EQ(s->catchment.NPATH, 2);
  for (int32_t j = 1; j <= 10; ++j) EXPECT_EQ(s->catchment.SLOPE(1, j), 0.005f) << j;
  EXPECT_EQ(s->catchment.SLOPE(1, 11), 0.0001f);
  EXPECT_EQ(s->catchment.SLOPE(1, 12), -1.0f);  // end cell of the last link
}

// Every step routes each cell once, contributors first: each link keeps its
// own slope on its own cells, and a link file where two links share a cell,
// or a link follows the link it drains into, is refused at loading.
TEST(SlopeComp, EachCellBelongsToOneLinkListedBeforeItsReceiver) {
  const auto row = [] {
    auto s = state(1, 4);
    s->catchment.CELL_DX = 10.0f;
    s->catchment.CELL_DY = 30.0f;
    s->catchment.FLOW_DIR.fill(6);
    s->catchment.ELEVATION(1, 1) = 4.0f;
    s->catchment.ELEVATION(1, 2) = 3.0f;
    s->catchment.ELEVATION(1, 3) = 1.0f;
    s->catchment.ELEVATION(1, 4) = 0.0f;
    return s;
  };
  auto s = row();
  auto r = RecordReader::from_text("header\n1 1 1 3 1 2.0\n1 3 1 4 1 1.0\n", "links.txt");
  SLOPE_COMP(*s, r, 3);
  EXPECT_EQ(s->catchment.SLOPE(1, 1), (4.0f - 1.0f) / 40.0f);
  EXPECT_EQ(s->catchment.SLOPE(1, 2), (4.0f - 1.0f) / 40.0f);
  EXPECT_EQ(s->catchment.SLOPE(1, 3), (1.0f - 0.0f) / 20.0f);

  auto shared = row();
  auto rs = RecordReader::from_text("header\n1 1 1 3 1 2.0\n1 2 1 4 1 2.0\n", "links.txt");
  test::expect_input_error([&] { SLOPE_COMP(*shared, rs, 3); },
                           {"file 'links.txt'", "record 3", "walks cell (1, 2), which the link of record 2 walks"});

  auto late = row();
  auto rl = RecordReader::from_text("header\n1 3 1 4 1 1.0\n1 1 1 3 1 2.0\n", "links.txt");
  test::expect_input_error([&] { SLOPE_COMP(*late, rl, 3); },
                           {"record 3", "drains into the link of record 2, which comes before it"});
}

TEST(InputTemp, CoefficientsSeriesAndMissingValues) {
  auto s = state(2, 2);
  s->catchment.SLOPE.fill(1.0f);
  s->forcing.N_DATA = 2;
  s->plan_steps();
  auto r = RecordReader::from_text(test::temp_file("1 -98.0\n2 12.5\n"), "temp.txt");
  INPUT_TEMP(*s, r);
  EXPECT_EQ(s->forcing.TEMP_MISSING(1, 1), 0);  // -98.0 is a value
  EXPECT_EQ(s->forcing.TEMP_DATA(2, 1), 12.5f);
  EXPECT_EQ(s->forcing.ET_OFFSET, -1.5f);
  EXPECT_EQ(s->forcing.ET_MONTH_A(12), 0.5f);
  EXPECT_EQ(s->forcing.ET_MONTH_B(7), 1.3f);
  EXPECT_EQ(s->forcing.DAYS_IN_MONTH(12), 31);
  EXPECT_EQ(s->forcing.TEMP_STATION_MAP(2, 2), 1);

  auto t = state(1, 1);
  t->forcing.N_DATA = 1;
  t->plan_steps();
  auto m = RecordReader::from_text(test::temp_file("1 -98.1\n"), "temp.txt");
  try {
    test::capture_stdout([&] { INPUT_TEMP(*t, m); });
    ADD_FAILURE() << "a record with no station reporting is refused";
  } catch (const RunRefused& e) {
    EXPECT_EQ(e.number, 1004);
  }
}

}  // namespace
}  // namespace tarvex

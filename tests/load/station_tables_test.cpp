#include <gtest/gtest.h>

#include <memory>

#include "model/model_state.hpp"
#include "load/input_rain.hpp"
#include "simulation/station_weights.hpp"
#include "model/warn_error.hpp"
#include "support/small_state.hpp"
#include "support/testkit.hpp"
#include "support/tiny_catchment.hpp"

namespace tarvex {
namespace {

// A 3 x 3 state whose cells are all catchment cells except (3, 3).
std::unique_ptr<ModelState> small_state() { return test::square_state(3); }

TEST(Thiessen, NearestGaugeTiesToTheLowestNumber) {
  auto s = small_state();
  s->forcing.RAIN_XY(1, 1) = 1.0f;  // gauge 1 at (1, 1)
  s->forcing.RAIN_XY(2, 1) = 1.0f;
  s->forcing.RAIN_XY(1, 2) = 1.0f;  // gauge 2 at (1, 3)
  s->forcing.RAIN_XY(2, 2) = 3.0f;
  nearest_station(s->catchment.NI, s->catchment.NJ, 2, s->forcing.RAIN_XY, nullptr, s->forcing.RAIN_STATION_MAP, s->catchment.SLOPE);
  EXPECT_EQ(s->forcing.RAIN_STATION_MAP(1, 1), 1);
  EXPECT_EQ(s->forcing.RAIN_STATION_MAP(2, 2), 1);  // equally far from both
  EXPECT_EQ(s->forcing.RAIN_STATION_MAP(2, 3), 2);
  EXPECT_EQ(s->forcing.RAIN_STATION_MAP(3, 3), -1);  // off the catchment
}

TEST(InvDist, WeightsSumToOneAndAGaugeOnACellCentreDominates) {
  auto s = small_state();
  s->forcing.RAIN_XY(1, 1) = 2.0f;  // gauge 1 on cell (2, 2)
  s->forcing.RAIN_XY(2, 1) = 2.0f;
  s->forcing.RAIN_XY(1, 2) = 0.0f;  // gauge 2 at (0, 2)
  s->forcing.RAIN_XY(2, 2) = 2.0f;
  s->forcing.RAIN_WEIGHT.fill(7.0f);
  inverse_distance_weights(s->catchment.NI, s->catchment.NJ, 2, s->forcing.RAIN_XY, nullptr, s->forcing.RAIN_WEIGHT, s->catchment.SLOPE);
  const int32_t NI = 3;
  // Cell (2, 2): distances 0 -> 0.0001 and 4.
  const float w1 = 1.0f / 0.0001f, w2 = 1.0f / 4.0f;
  const float sum = 0.0f + w1 + w2;
  EXPECT_EQ(s->forcing.RAIN_WEIGHT(0 * NI + 2, 2), w1 / sum);
  EXPECT_EQ(s->forcing.RAIN_WEIGHT(1 * NI + 2, 2), w2 / sum);
  // Cell (1, 1): squared distances 2 and 2: equal weights.
  EXPECT_EQ(s->forcing.RAIN_WEIGHT(0 * NI + 1, 1), 0.5f);
  EXPECT_EQ(s->forcing.RAIN_WEIGHT(1 * NI + 1, 1), 0.5f);
  EXPECT_EQ(s->forcing.RAIN_WEIGHT(0 * NI + 3, 3), 0.0f);
  EXPECT_EQ(s->forcing.RAIN_WEIGHT(1 * NI + 3, 3), 0.0f);
  EXPECT_EQ(s->forcing.RAIN_WEIGHT(2 * NI + 1, 1), 7.0f);  // rows of absent gauges untouched
}

// Loads a rain file; the number of the refusal message, 0 when loaded.
int32_t load_rain(ModelState& s, const std::string& text) {
  auto r = RecordReader::from_text(text, "rain.txt");
  int32_t refused = 0;
  test::capture_stdout([&] {
    try {
      INPUT_RAIN(s, r);
    } catch (const RunRefused& e) {
      refused = e.number;
    }
  });
  return refused;
}

TEST(InputRain, MissingValuesAndStatus) {
  auto s = small_state();
  s->forcing.INTERP_METHOD = 1;
  EXPECT_EQ(load_rain(*s, test::rain_file("1 1\n3 1\n", 2, "1 0.0 -0.1\n2 1.5 2.5\n3 -1 0.0\n", 2)), 0);
  EXPECT_EQ(s->forcing.RAIN_MISSING(1, 1), 0);  // 0.0 is a value
  EXPECT_EQ(s->forcing.RAIN_MISSING(1, 2), 1);
  EXPECT_EQ(s->forcing.RAIN_MISSING(3, 1), 1);
  EXPECT_EQ(s->forcing.RAIN_DATA(2, 2), 2.5f);
  EXPECT_EQ(s->forcing.RAIN_STATION_MAP(3, 1), 2);

  // One gauge: any missing value fails the load; later records are not scanned.
  auto t = small_state();
  t->forcing.RAIN_MISSING(3, 1) = 5;
  EXPECT_EQ(load_rain(*t, test::rain_file("1 1\n", 1, "1 0.0\n2 -2.0\n3 1.0\n")), 1005);
  EXPECT_EQ(t->forcing.RAIN_MISSING(3, 1), 5);
  EXPECT_EQ(t->forcing.RAIN_STATION_MAP(1, 1), 0);  // no table built

  // Negative skip counts skip nothing; a data read may span records.
  auto u = small_state();
  u->forcing.INTERP_METHOD = 2;
  EXPECT_EQ(load_rain(*u, test::rain_file("1 1\n", 1, "1\n0.5\n2 0.25\n3 0.0\n", 0)), 0);
  EXPECT_EQ(u->forcing.RAIN_DATA(1, 1), 0.5f);
  EXPECT_EQ(u->forcing.RAIN_WEIGHT(2, 2), 1.0f);
}

TEST(InputRain, TooManyGaugesStopsReading) {
  auto s = small_state();
  std::string out;
  auto r = RecordReader::from_text("x\n5\nnothing more is read\n", "rain.txt");
  out = test::capture_stdout([&] { EXPECT_THROW(INPUT_RAIN(*s, r), RunRefused); });
  EXPECT_EQ(out, "\n The number of raingauges exceeds the maximum allowed\n\n");
  EXPECT_EQ(r.record(), 2);
}

TEST(InputRain, ShortSeriesNamesTheRecord) {
  auto s = small_state();
  try {
    load_rain(*s, test::rain_file("1 1\n", 1, "1 0.0\n2 1.0\n"));
    FAIL();
  } catch (const InputError& e) {
    EXPECT_NE(std::string(e.what()).find("rain record 3"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace tarvex

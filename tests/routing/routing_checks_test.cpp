#include <gtest/gtest.h>

#include <string>

#include "io/input_error.hpp"
#include "routing/routing_checks.hpp"
#include "routing_fixture.hpp"

namespace tarvex {
namespace {

using test::routing_state;

std::string refusal(const ModelState& s) {
  try {
    check_channel_roughness(s, {"Tarvex.in", 34, 46});
  } catch (const InputError& e) {
    return e.what();
  }
  return {};
}

TEST(ChannelRoughnessCheck, AcceptsAUsableLaw) {
  auto s = routing_state(3, 3);
  s->catchment.ELEVATION(3, 3) = 420.0f;
  s->catchment.ELEVATION(1, 1) = 4200.0f;  // above the reference top: the law extends
  EXPECT_EQ(refusal(*s), "");
  s->catchment.ELEVATION(3, 3) = 3400.0f;  // an outlet above it still gives a finite law
  EXPECT_EQ(refusal(*s), "");
}

TEST(ChannelRoughnessCheck, RefusesUndefinedLaws) {
  struct Case {
    const char* name;
    float wd, top, out, z_out;
    const char* record;
  };
  // The loading refuses coefficients and ratios that are not positive before
  // the law is checked (tests/driver); the law itself cannot be evaluated
  // with them either.
  const Case cases[] = {
      {"zero KS_CHAN_OUT", 10.0f, 40.0f, 0.0f, 500.0f, "record 34"},
      {"negative KS_CHAN_TOP", 10.0f, -4.0f, 20.0f, 500.0f, "record 34"},
      {"outlet at 3282 m", 10.0f, 40.0f, 20.0f, 3282.0f, "record 34"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto s = routing_state(3, 3);
    s->params.WD_CHAN = c.wd;
    s->params.KS_CHAN_TOP = c.top;
    s->params.KS_CHAN_OUT = c.out;
    s->catchment.ELEVATION(3, 3) = c.z_out;
    const std::string m = refusal(*s);
    EXPECT_NE(m.find("Tarvex.in"), std::string::npos) << m;
    EXPECT_NE(m.find(c.record), std::string::npos) << m;
  }
}

TEST(ChannelRoughnessCheck, RefusesAnOutletOffTheGrid) {
  auto s = routing_state(3, 3);
  s->catchment.OUTLET_I = 4;
  EXPECT_NE(refusal(*s).find("record 46"), std::string::npos);
}

TEST(ChannelRoughnessCheck, RefusesALawThatOverflowsOnACatchmentCell) {
  auto s = routing_state(3, 3);
  s->catchment.ELEVATION.fill(3281.99f);  // outlet a hair below the reference top
  s->catchment.ELEVATION(1, 1) = 4000.0f;
  EXPECT_NE(refusal(*s).find("cell (1,1)"), std::string::npos);
  s->catchment.SLOPE(1, 1) = -1.0f;  // off the catchment the law is not used
  EXPECT_EQ(refusal(*s), "");
}

}  // namespace
}  // namespace tarvex

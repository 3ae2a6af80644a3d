// The driver's checks of the two time steps after a load.
#include "driver/main_menu.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "io/input_error.hpp"
#include "support/testkit.hpp"
#include "support/tiny_catchment.hpp"

namespace tarvex {
namespace {

TEST(MainMenu, RecordStepOfMoreSimulationStepsThanAnIntegerCountsIsRefused) {
  test::TempDir dir;
  test::ControlFileText ctl{.dt_rain = "3.6e13"};  // 1e10 steps of 3600 s per record
  test::write_tiny_run(dir.path(), ctl);
  test::ChangeDir cd(dir.path());
  auto s = std::make_unique<ModelState>();
  test::expect_input_error([&] { MAINMENU(*s, 2); }, {"the simulation step is too short"});
  EXPECT_FALSE(dir.exists("timestep.out"));

  // A whole multiple within range still meets the numbered check.
  ctl.dt_rain = "3601.";
  test::write_control(dir.path(), ctl);
  int status = -1;
  const std::string out = test::capture_stdout([&] { status = MAINMENU(*s, 2); });
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("The time step of the simulation is wrong"), std::string::npos) << out;
}

}  // namespace
}  // namespace tarvex

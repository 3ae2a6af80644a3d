#include <gtest/gtest.h>

#include <memory>

#include "load/read_param.hpp"
#include "io/input_error.hpp"
#include "model/warn_error.hpp"
#include "support/testkit.hpp"
#include "support/tiny_catchment.hpp"

namespace tarvex {
namespace {

using test::ControlFileText;

// Loads the tiny catchment with the control file ctl; returns the state.
std::unique_ptr<ModelState> load(const ControlFileText& ctl, int32_t mode) {
  test::TempDir dir;
  test::write_tiny_catchment(dir.path());
  test::write_control(dir.path(), ctl);
  test::ChangeDir cd(dir.path());
  auto s = std::make_unique<ModelState>();
  s->control.RUN_MODE = mode;
  test::capture_stdout([&] { READ_PARAM(*s, test::control(mode)); });
  return s;
}

TEST(LoadChecks, TheLoadedRunCarriesItsStepPlan) {
  ControlFileText ctl;
  ctl.dt_sim = "900.";
  const auto s = load(ctl, 3);
  const StepPlan& p = s->params.step_plan;
  EXPECT_EQ(p.records, 24);
  EXPECT_FALSE(p.same_step);
  EXPECT_EQ(p.steps_per_record, 4.0f);
  EXPECT_EQ(p.records_per_step, 0.25f);
  EXPECT_EQ(p.steps_per_day, 96.0);
  EXPECT_EQ(p.run_steps_single, 96.0f);
  EXPECT_EQ(p.run_steps_objective, 96.0f);
}

// With the Strickler coefficients of the classes on two records, every later
// record moves by one: the refusals of the channel law name the records the
// file holds.
TEST(LoadChecks, ChannelLawRefusalsNameTheRecordsOfTheFile) {
  ControlFileText ctl;
  ctl.nclass = "2";
  ctl.ks_class = "5.\n5.";
  ctl.outlet = "9 9";
  test::expect_input_error([&] { load(ctl, 3); }, {"Tarvex.in", "record 47:", "outlet cell (9,9)"});

  // Coefficients that are not positive are refused once, by the loading,
  // before the law is looked at.
  for (const char* channel : {"0. 30. 25.", "20. 0. 25.", "20. -4. 25.", "20. 30. 0."}) {
    SCOPED_TRACE(channel);
    ctl = ControlFileText();
    ctl.channel = channel;
    test::expect_input_error([&] { load(ctl, 3); }, {"Tarvex.in", "record 34:", "must be positive"});
  }
}

}  // namespace
}  // namespace tarvex

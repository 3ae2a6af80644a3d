// The load refuses every value a pass cannot use, once: the counts the
// control file gives and the step plan of the run, naming the control file
// and its record. A run given a loaded state is not refused for its steps.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "load/read_param.hpp"
#include "io/input_error.hpp"
#include "model/warn_error.hpp"
#include "simulation/manual_calibration.hpp"
#include "simulation/simulation_run.hpp"
#include "support/testkit.hpp"
#include "support/tiny_catchment.hpp"

namespace tarvex {
namespace {

using test::ControlFileText;

// The tiny catchment with n records and the control file ctl, loaded in mode.
struct Loaded {
  test::TempDir dir;
  std::unique_ptr<ModelState> s = std::make_unique<ModelState>();
  std::string out;      // standard output of the load
  int32_t refused = 0;  // number of a numbered refusal

  Loaded(const ControlFileText& ctl, int32_t mode, int n = 24) {
    test::write_tiny_catchment(dir.path(), n);
    test::write_control(dir.path(), ctl);
    s->control.RUN_MODE = mode;
  }

  void load() {
    test::ChangeDir cd(dir.path());
    out = test::capture_stdout([&] {
      try {
        READ_PARAM(*s, test::control(s->control.RUN_MODE));
      } catch (const RunRefused& r) {
        refused = r.number;
      }
    });
  }
};

TEST(LoadValidate, StepPlansNoRunCanCarryOutAreRefusedByTheLoadNamingTheControlFile) {
  struct Case {
    const char* dt_sim;
    int32_t mode;
    const char* says;
  };
  // DT_SIM is record 22. 1.8 s: 2000 steps per record, 48000 steps for the
  // 24 records; 4e-5 s: more steps than a 4-byte integer counts.
  for (const Case& c : {Case{"1.8", 2, "holds at most 40000 steps"}, Case{"1.8", 4, "holds at most 40000 steps"},
                        Case{"4e-5", 2, "the run would need "}, Case{"4e-5", 4, "the run would need "}}) {
    ControlFileText ctl;
    ctl.dt_sim = c.dt_sim;
    Loaded l(ctl, c.mode);
    test::expect_input_error([&] { l.load(); }, {"file 'Tarvex.in': record 22: ", c.says});
  }

  // The numbered refusals of the time steps come from the load too, after
  // its empty line.
  for (const char* dt_sim : {"1000.", "7200."}) {
    ControlFileText ctl;
    ctl.dt_sim = dt_sim;
    Loaded l(ctl, 2);
    l.load();
    EXPECT_EQ(l.refused, std::string(dt_sim) == "1000." ? 1013 : 1012) << dt_sim;
    EXPECT_EQ(l.out.substr(0, 2), "\n\n") << dt_sim;
  }
}

TEST(LoadValidate, ARunThatPassedTheLoadIsNotRefusedForItsSteps) {
  // 25 records of 1600 steps: exactly the 40000 steps the series hold.
  ControlFileText ctl;
  ctl.n_data = "25";
  ctl.n_obs = "25";
  ctl.dt_sim = "2.25";
  {
    Loaded l(ctl, 2, 25);
    l.load();
    ASSERT_EQ(l.refused, 0) << l.out;
    test::ChangeDir cd(l.dir.path());
    int32_t n = 0;
    test::capture_stdout([&] { n = MANUAL_CALIBRATION(*l.s); });
    EXPECT_EQ(n, 40000);
  }
  {
    Loaded l(ctl, 4, 25);
    l.load();
    ASSERT_EQ(l.refused, 0) << l.out;
    EXPECT_EQ(RUN_SIMULATION(*l.s, l.s->run.objective_run, RunKind::objective), 40000);
  }
  // One step per record fewer fits no longer: refused by the load.
  ctl.dt_sim = "2.";
  Loaded l(ctl, 2, 25);
  test::expect_input_error([&] { l.load(); }, {"record 22: the run has 45000 simulation steps"});
}

TEST(LoadValidate, CountsPastTheLimitsAreReadAndRefusedOnceWithTheirNumbers) {
  ControlFileText classes;
  classes.nclass = "4";
  classes.ks_class = "5. 6. 7. 8.";
  ControlFileText sections;
  sections.n_sections = "2";
  sections.sections = {"3 4", "2 4"};
  sections.flow_files = {"flow1.out", "flow2.out"};
  for (const auto& [ctl, number] : {std::pair{classes, 1015}, std::pair{sections, 1017}}) {
    Loaded l(ctl, 3);
    {
      // The reader takes the values after the count as they stand.
      test::ChangeDir cd(l.dir.path());
      const ControlFile c = test::control(3);
      EXPECT_TRUE(c.run.roughness.ok() && c.run.rain.ok()) << number;
      if (number == 1017) {
        EXPECT_EQ(c.run.sections.size(), 2);
        EXPECT_EQ(c.output.discharge_files.size(), 2);
      }
    }
    l.load();
    EXPECT_EQ(l.refused, number);
  }

  // The terrain pass: a grid past the side and more exempt cells than the
  // limit; the names after them are read all the same.
  ControlFileText terrain;
  terrain.ni_nj = "1001 4";
  terrain.fixed = std::vector<std::string>(11, "1 1");
  test::TempDir dir;
  test::write_control(dir.path(), terrain);
  test::ChangeDir cd(dir.path());
  const ControlFile c = test::control(1);
  EXPECT_TRUE(c.terrain.outlet.ok() && c.terrain.links.ok());
  EXPECT_EQ(c.terrain.exempt.size(), 11);
}

TEST(LoadValidate, AnOutputRecordThatCannotBeReadIsRefusedBeforeTheRun) {
  ControlFileText ctl;
  ctl.flow_output_kind = "x";
  test::TempDir dir;
  test::write_tiny_run(dir.path(), ctl);
  const test::RunResult r = test::run_tarvex({"--mode", "3"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("file 'Tarvex.in': record "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("the kind of discharge output"), std::string::npos) << r.err;
  EXPECT_FALSE(dir.exists("timestep.out"));  // no step was run

  // The calibration run writes no discharge file: its load does not read them.
  Loaded l(ctl, 4);
  l.load();
  EXPECT_EQ(l.refused, 0);
}

}  // namespace
}  // namespace tarvex

#include "driver/main_menu.hpp"
#include "load/read_param.hpp"
#include "model/warn_error.hpp"

#include <gtest/gtest.h>

#include <memory>

#include "io/input_error.hpp"
#include "support/testkit.hpp"
#include "support/tiny_catchment.hpp"

namespace tarvex {
namespace {

using test::ControlFileText;

// Loads the tiny catchment with the control file ctl in a scratch directory.
class Load : public ::testing::Test {
 protected:
  void SetUp() override { test::write_tiny_catchment(dir.path()); }

  // Writes the control file, runs the loader, keeps its console output.
  void load(int32_t mode) {
    std::string text = ctl.render();
    if (records > 0) {
      std::size_t at = 0;
      for (int32_t k = 0; k < records; ++k) at = text.find('\n', at) + 1;
      text.resize(at);
    }
    test::write_file(dir.path() / "Tarvex.in", text);
    test::ChangeDir cd(dir.path());
    s = std::make_unique<ModelState>();
    s->control.RUN_MODE = mode;
    refused = 0;
    out = test::capture_stdout([&] {
      try {
        READ_PARAM(*s, test::control(mode));
      } catch (const RunRefused& r) {
        refused = r.number;
      }
    });
  }
  // Expects the load to fail in the file layer with a message holding all parts.
  void expect_input_error(int32_t mode, const std::vector<std::string>& parts) {
    test::expect_input_error([&] { load(mode); }, parts);
  }

  test::TempDir dir;
  ControlFileText ctl;
  int32_t records = 0;  // > 0: the control file ends after this record
  std::unique_ptr<ModelState> s;
  int32_t refused = 0;  // number of the refusal message, 0 when loaded
  std::string out;
};

TEST_F(Load, TinyCatchmentContinuous) {
  load(3);
  EXPECT_EQ(refused, 0);
  EXPECT_EQ(out, "\n");
  EXPECT_EQ(s->catchment.NI, 3);
  EXPECT_EQ(s->catchment.NJ, 4);
  EXPECT_EQ(s->forcing.N_DATA, 24);
  EXPECT_EQ(s->params.KS_CLASS(1), 5.0f);
  EXPECT_EQ(s->catchment.NPATH, 4);
  EXPECT_EQ(s->catchment.IIN(4), 2);
  EXPECT_EQ(s->catchment.JFIN(4), 4);
  const float L4 = ((100.0f + 100.0f) / 2.0f) * 4.0f;
  const float s1 = (12.0f - 6.0f) / L4;
  for (int32_t j = 1; j <= 4; ++j) EXPECT_EQ(s->catchment.SLOPE(1, j), s1);
  EXPECT_EQ(s->catchment.SLOPE(2, 4), (6.0f - 5.0f) / 100.0f);
  EXPECT_EQ(s->catchment.SLOPE(3, 1), (8.6f - 5.0f) / 300.0f);
  EXPECT_EQ(s->catchment.SLOPE(3, 4), -1.0f);
  EXPECT_EQ(s->run.CUM_RAIN(3, 4), -1.0f);
  EXPECT_EQ(s->run.CUM_RAIN(3, 3), 0.0f);
  EXPECT_EQ(s->catchment.SOIL_CAPACITY(1, 1), (100.0f / 80.0f - 1.0f) * 254.0f);
  EXPECT_EQ(s->forcing.RAIN_STATION_MAP(1, 2), 1);
  EXPECT_EQ(s->forcing.RAIN_STATION_MAP(3, 3), 2);
  EXPECT_EQ(s->forcing.RAIN_STATION_MAP(3, 4), -1);
  EXPECT_EQ(s->forcing.TEMP_STATION_MAP(1, 1), 1);
  EXPECT_EQ(s->forcing.TEMP_Z(1), 500.0f);
  EXPECT_EQ(s->forcing.DAYS_IN_MONTH(2), 28);
  EXPECT_EQ(s->forcing.START_DOY, 1.0f);
  EXPECT_EQ(s->catchment.N_SECTIONS, 1);
  EXPECT_EQ(s->catchment.SECTION_I(1), 3);
}

TEST_F(Load, StartDayOfYearSumsTheMonthsBefore) {
  ctl.start = "15 3 2001";
  load(4);
  EXPECT_EQ(s->forcing.START_DOY, 31.0f + 28.0f + 15.0f);
}

TEST_F(Load, CapacityEdgesAreRefusedWithTheirMessages) {
  struct Edge {
    std::string ControlFileText::*record;
    const char* value;
    int32_t mode;
    const char* message;  // nullptr: refused, message not checked
  };
  for (const Edge& e : {
           Edge{&ControlFileText::n_data, "40001", 3,
                "\n The length of the simulation exceeds the dimension of the file\n\n"},
           Edge{&ControlFileText::ni_nj, "1001 4", 3, "\n The dimension of the DEM exceeds the maximum allowed\n\n"},
           Edge{&ControlFileText::ni_nj, "3 1001", 2, nullptr},
           Edge{&ControlFileText::nclass, "4", 3,
                "\n The number of classes of hillslope roughness exceeds the dimension of the file\n\n"},
       }) {
    ctl = ControlFileText();
    ctl.*e.record = e.value;
    load(e.mode);
    EXPECT_NE(refused, 0) << e.value;
    if (e.message) {
      EXPECT_EQ(out, e.message) << e.value;
    }
  }
  ctl.nclass = "3";
  ctl.ks_class = "5. 6.\n7.";  // one read over two records shifts the later ones
  ctl.wd_hill = "10.";
  test::write_control(dir.path(), ctl);
  std::string t = ctl.render();
  load(3);
  EXPECT_EQ(refused, 0);
  EXPECT_EQ(s->params.KS_CLASS(3), 7.0f);
}

TEST_F(Load, MarkerSearchWithExemptCells) {
  ctl.fixed = {"2 2", "2 3", "1 1"};
  load(3);
  EXPECT_EQ(refused, 0);
  EXPECT_EQ(s->catchment.ELEVATION(1, 1), 12.0f);
  ctl.fixed.clear();
  ctl.marker = "A51";
  load(3);
  EXPECT_EQ(refused, 0);
  ctl.marker = "a51 lower case is no marker";
  expect_input_error(3, {"Tarvex.in", "A51"});
}

TEST_F(Load, ImperviousEventRunOpensNoCurveNumberOrTemperatureFile) {
  ctl.impervious = "1";
  ctl.cn_file = "does-not-exist.txt";
  ctl.temp_file = "neither.txt";
  ctl.start = "1 13 2001";  // not used by an event run
  load(2);
  EXPECT_EQ(refused, 0);
  for (int32_t i = 1; i <= 3; ++i) {
    for (int32_t j = 1; j <= 4; ++j) EXPECT_EQ(s->catchment.SOIL_CAPACITY(i, j), 0.00001f);
  }
  EXPECT_EQ(s->forcing.START_DOY, 0.0f);
  // Without the switch the curve-number file must exist.
  ctl.impervious = "0";
  expect_input_error(2, {"does-not-exist.txt"});
}

TEST_F(Load, MissingFilesHaveTheirNumbers) {
  const std::pair<std::string ControlFileText::*, const char*> cases[] = {
      {&ControlFileText::rough_file, "File of the classes of the hillslope roughness not found"},
      {&ControlFileText::dir_file, "File of the slope pointer not found"},
      {&ControlFileText::elev_file, "File of the modified DEM not found"},
      {&ControlFileText::area_file, "File of the contributing area not found"},
      {&ControlFileText::link_file, "File of link property not found"},
  };
  for (const auto& [field, text] : cases) {
    ctl = ControlFileText();
    ctl.*field = "missing.txt";
    load(3);
    EXPECT_NE(refused, 0) << text;
    EXPECT_EQ(out, std::string("\n ") + text + "\n\n");
  }
  for (auto field : {&ControlFileText::rain_file, &ControlFileText::temp_file, &ControlFileText::cn_file}) {
    ctl = ControlFileText();
    ctl.*field = "gone.txt";
    expect_input_error(3, {"gone.txt"});
  }
  std::filesystem::remove(dir / "Tarvex.in");
  test::ChangeDir cd(dir.path());
  ModelState fresh;
  fresh.control.RUN_MODE = 4;
  int32_t status = 0;
  EXPECT_EQ(test::capture_stdout([&] { status = MAINMENU(fresh, 4); }), "\n File Tarvex.in not found\n\n");
  EXPECT_EQ(status, 1);
}

TEST_F(Load, CrossSections) {
  ctl.n_sections = "0";
  ctl.sections = {"this record is a label, not a cross-section"};
  load(3);
  EXPECT_EQ(refused, 0);
  EXPECT_EQ(s->catchment.N_SECTIONS, 0);
  ctl.n_sections = "2";
  ctl.sections = {"3 4", "2 4"};
  for (int32_t mode : {2, 3, 4}) {
    load(mode);
    EXPECT_NE(refused, 0);
    EXPECT_EQ(out, "\n\n Number of cross-section where to display the river flow exceeds the maximum number "
                   "allowed\n\n");
  }
  ctl.n_sections = "1";
  ctl.sections = {"4 4"};
  expect_input_error(3, {"Tarvex.in", "cross-section", "outside"});
}

TEST_F(Load, ControlFileEndingAtTheCrossSectionCountIsAnInputError) {
  records = 69;  // the count; no cross-section cell follows
  expect_input_error(3, {"Tarvex.in", "record 69"});
}

TEST_F(Load, RainGaugeRefusals) {
  test::write_file(dir / "rain.txt",
                   test::rain_file("1 1\n1 2\n1 3\n2 1\n2 2\n", 5, "1 0 0 0 0 0\n"));
  load(3);
  EXPECT_EQ(refused, 1020);
  EXPECT_EQ(out, "\n\n The number of raingauges exceeds the maximum allowed\n\n");

  std::string recs;
  for (int n = 1; n <= 24; ++n) recs += std::to_string(n) + (n == 7 ? " -1 -0.1\n" : " 0.0 1.0\n");
  test::write_file(dir / "rain.txt", test::rain_file("1 1\n3 4\n", 2, recs));
  load(3);
  EXPECT_EQ(refused, 1005);
  EXPECT_EQ(out, "\n\n Error in rainfall data\n\n");

  test::write_file(dir / "rain.txt", test::rain_file("", 0, recs));
  expect_input_error(3, {"rain.txt", "record 2", "gauge"});
}

TEST_F(Load, TemperatureRefusals) {
  std::string recs;
  for (int n = 1; n <= 24; ++n) recs += std::to_string(n) + (n == 5 ? " -98.1\n" : " -98.0\n");
  test::write_file(dir / "temp.txt", test::temp_file(recs));
  load(3);
  EXPECT_EQ(refused, 1004);
  EXPECT_EQ(out, "\n\n Error in temperature data\n\n");

  test::write_file(dir / "temp.txt", test::temp_file("nothing after record 10 is read\n", 2));
  load(4);
  EXPECT_EQ(refused, 1021);
  EXPECT_EQ(out, "\n\n The number of temperature stations exceeds the maximum allowed\n\n");

  test::write_file(dir / "temp.txt", test::temp_file(recs, 0));
  expect_input_error(3, {"temp.txt", "record 10", "station"});
  test::write_file(dir / "temp.txt", test::temp_file(recs, 1, "31 0 31 30 31 30 31 31 30 31 30 31"));
  expect_input_error(4, {"temp.txt", "record 8", "month 2"});
}

TEST_F(Load, ControlValuesThatCannotBeSimulatedAreRefused) {
  struct Case {
    std::string ControlFileText::*field;
    const char* value;
    int32_t mode;
    const char* record;
  };
  const Case cases[] = {
      {&ControlFileText::start, "1 13 2001", 3, "record 10"},
      {&ControlFileText::start, "1 0 2001", 4, "record 10"},
      {&ControlFileText::n_data, "0", 3, "record 14"},
      {&ControlFileText::ni_nj, "0 4", 3, "record 18"},
      {&ControlFileText::dt_rain, "0.", 3, "record 16"},
      {&ControlFileText::dt_sim, "-5.", 3, "record 22"},
      {&ControlFileText::cell, "100. 0.", 3, "record 20"},
      {&ControlFileText::wd_hill, "0.", 3, "record 26"},
      {&ControlFileText::ks_class, "0.", 2, "record 30"},
      {&ControlFileText::channel, "20. 0. 25.", 3, "record 34"},
      {&ControlFileText::channel, "20. 30. -1.", 4, "record 34"},
      {&ControlFileText::k_sub, "0.", 3, "record 36"},
      {&ControlFileText::w_sub, "0.", 4, "record 38"},
      {&ControlFileText::tau_sub, "0.", 3, "record 40"},
      {&ControlFileText::f_sub_cap, "0.", 3, "record 42"},
      {&ControlFileText::ia_ratio, "1.", 2, "record 44"},
      {&ControlFileText::ia_ratio, "-0.1", 3, "record 44"},
      {&ControlFileText::outlet, "9 9", 3, "record 46"},
      // Positive, but beyond what 4-byte reals compute with.
      {&ControlFileText::cell, "0.0001 100.", 2, "record 20"},
      {&ControlFileText::cell, "100. 2e7", 4, "record 20"},
      {&ControlFileText::wd_hill, "1e-45", 2, "record 26"},
      {&ControlFileText::ks_class, "1e31", 3, "record 30"},
      {&ControlFileText::channel, "1e-45 30. 25.", 4, "record 34"},
      {&ControlFileText::k_sub, "1e-31", 3, "record 36"},
      {&ControlFileText::ia_ratio, "2e30", 3, "record 44"},
  };
  for (const Case& c : cases) {
    ctl = ControlFileText();
    ctl.*(c.field) = c.value;
    SCOPED_TRACE(std::string(c.value) + " " + c.record);
    expect_input_error(c.mode, {"Tarvex.in", c.record});
  }
  // The calibration run takes these from its settings: not refused here.
  ctl = ControlFileText();
  ctl.tau_sub = "0.";
  ctl.ks_class = "0.";
  load(4);
  EXPECT_EQ(refused, 0);
}

TEST_F(Load, StartDayMustBeADayOfTheStartMonth) {
  ctl.start = "29 2 2001";
  expect_input_error(3, {"Tarvex.in", "record 10", "start day 29", "1 to 28", "temp.txt"});
  ctl.start = "0 1 2001";
  expect_input_error(4, {"Tarvex.in", "record 10", "start day 0"});
  ctl.start = "31 12 2001";
  load(3);
  EXPECT_EQ(s->forcing.START_DOY, 365.0f);
  ctl.start = "40 2 2001";  // the event run has no calendar
  load(2);
  EXPECT_EQ(refused, 0);
}

TEST_F(Load, ElevationsOfTheCatchmentMustBeElevations) {
  // (3, 4), the end of the last links, and (1, 1), a catchment cell.
  test::write_file(dir / "elev.txt", "12. 9.5 8. 7.\n9. 8. 7. 6.\n8.6 7. 6. -1e30\n");
  expect_input_error(3, {"elev.txt", "row 3, column 4", "-1e+30 m"});
  test::write_file(dir / "elev.txt", "2e6 9.5 8. 7.\n9. 8. 7. 6.\n8.6 7. 6. 5.\n");
  expect_input_error(2, {"elev.txt", "row 1, column 1"});
}

TEST_F(Load, OutletAtTheReferenceElevationIsRefused) {
  test::write_file(dir / "elev.txt", "12. 9.5 8. 7.\n9. 8. 7. 6.\n8.6 7. 6. 3282.\n");
  expect_input_error(3, {"Tarvex.in", "3282"});
}

TEST_F(Load, RoughnessClassOfACatchmentCellMustExist) {
  test::write_file(dir / "rough.txt", "1 1 1 1\n1 2 1 1\n1 1 1 9\n");
  expect_input_error(3, {"rough.txt", "row 2, column 2", "class 2"});
  ctl.nclass = "2";
  ctl.ks_class = "5. 6.";
  load(3);  // (3, 4) is not a catchment cell: its class is never used
  EXPECT_EQ(refused, 0);
}

TEST_F(Load, BrokenLinkFilesAreRefused) {
  const std::string head = "   IIN JIN   IFIN JFIN  ORD   LEN\n";
  // (An initializer_list member would not keep its values alive past the
  // array's initialisation.)
  const struct {
    std::string text;
    const char* record;
    const char* what;
  } cases[] = {
      {head + "1 1 3 1 1 2.0\n", "record 2", "does not reach"},  // walks off eastwards
      {head + "1 1 2 4 1 0.0\n", "record 2", "length"},
      {head + "1 1 2 4 1 4.0\n3 4 1 1 1 1.0\n", "record 3", "direction 0"},
      {head + "1 1 2 4 1 4.0\n0 1 2 4 1 1.0\n", "record 3", "outside"},
  };
  for (const auto& c : cases) {
    test::write_file(dir / "links.txt", c.text);
    expect_input_error(3, {c.record, c.what});
  }
  // A loop: two cells pointing at each other.
  test::write_file(dir / "dir.txt", "6 4 6 8\n6 6 6 8\n6 6 6 0\n");
  test::write_file(dir / "links.txt", head + "1 1 2 4 1 4.0\n");
  expect_input_error(3, {"does not reach"});
  // Off the grid: the last column points east.
  test::write_file(dir / "dir.txt", "6 6 6 6\n6 6 6 8\n6 6 6 0\n");
  expect_input_error(3, {"leaves the grid"});
}

TEST_F(Load, MoreThanTenThousandLinksAreRefused) {
  std::string text = "   IIN JIN   IFIN JFIN  ORD   LEN\n";
  for (int k = 0; k < 10001; ++k) text += "2 4 3 4 2 1.0\n";
  test::write_file(dir / "links.txt", text);
  expect_input_error(3, {"links.txt", "record 10002", "10000"});
  // 10000 links pass the count (these repeat one link, refused for that).
  text.erase(text.size() - 14);
  test::write_file(dir / "links.txt", text);
  expect_input_error(3, {"links.txt", "record 3", "every cell belongs to one link"});
  // Trailing empty lines are no links.
  test::write_file(dir / "links.txt", "   IIN JIN   IFIN JFIN  ORD   LEN\n2 4 3 4 2 1.0\n\n\n");
  load(3);
  EXPECT_EQ(s->catchment.NPATH, 1);
}

TEST_F(Load, HeaderOnlyLinkFileLeavesNoCatchment) {
  test::write_file(dir / "links.txt", "   IIN JIN   IFIN JFIN  ORD   LEN\n");
  load(3);
  EXPECT_EQ(refused, 0);
  EXPECT_EQ(s->catchment.NPATH, 0);
  for (int32_t i = 1; i <= 3; ++i) {
    for (int32_t j = 1; j <= 4; ++j) {
      EXPECT_EQ(s->catchment.SLOPE(i, j), -1.0f);
      EXPECT_EQ(s->forcing.RAIN_STATION_MAP(i, j), -1);
    }
  }
}

TEST_F(Load, CurveNumbersAboveOneHundred) {
  // Off the catchment: reported and accepted.
  test::write_file(dir / "cn.txt", "80. 80. 75. 75.\n80. 70. 70. 75.\n85. 85. 80. 101.\n");
  load(3);
  EXPECT_EQ(refused, 0);
  EXPECT_EQ(out, "\n\n S < 0 for cell 3 4\n Error in the CN file\n\n");
  EXPECT_LT(s->catchment.SOIL_CAPACITY(3, 4), 0.0f);
  // On the catchment: every cell reported, then the load is refused.
  test::write_file(dir / "cn.txt", "80. 120. 75. 75.\n80. 70. 70. 75.\n85. 85. 80. 101.\n");
  try {
    load(3);
    ADD_FAILURE();
  } catch (const InputError& e) {
    EXPECT_NE(std::string(e.what()).find("cn.txt"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("(1, 2)"), std::string::npos) << e.what();
  }
  test::write_file(dir / "cn.txt", "0. 80. 75. 75.\n80. 70. 70. 75.\n85. 85. 80. 80.\n");
  expect_input_error(3, {"cn.txt", "record 1", "(1, 1)"});
}

TEST(LoadCapacity, FullGridFourGaugesAndFortyThousandRecords) {
  test::TempDir dir;
  std::string row;
  for (int j = 0; j < 1000; ++j) row += "1 ";
  row += "\n";
  std::string grid;
  for (int i = 0; i < 1000; ++i) grid += row;
  for (const char* f : {"rough.txt", "elev.txt", "area.txt", "cn.txt"}) test::write_file(dir / f, grid);
  for (char& c : grid) c = c == '1' ? '6' : c;
  test::write_file(dir / "dir.txt", grid);
  test::write_file(dir / "links.txt", "   IIN JIN   IFIN JFIN  ORD   LEN\n1000 999 1000 1000 1 1.0\n");
  std::string recs;
  for (int n = 1; n <= 40000; ++n) recs += std::to_string(n) + " 0.5 0 1 2\n";
  test::write_file(dir / "rain.txt", test::rain_file("1 1\n1 1000\n1000 1\n1000 1000\n", 4, recs));
  ControlFileText ctl;
  ctl.ni_nj = "1000 1000";
  ctl.n_data = "40000";
  ctl.outlet = "1000 1000";
  ctl.sections = {"1000 1000"};
  ctl.interp = "2";
  ctl.nclass = "3";
  ctl.ks_class = "5. 6. 7.";
  test::write_control(dir.path(), ctl);
  test::ChangeDir cd(dir.path());
  auto s = std::make_unique<ModelState>();
  s->control.RUN_MODE = 2;
  test::capture_stdout([&] { READ_PARAM(*s, test::control(2)); });
  EXPECT_EQ(s->forcing.RAIN_DATA(40000, 4), 2.0f);
  EXPECT_EQ(s->catchment.SLOPE(1000, 999), 0.0001f);  // level link
  // Gauge 4 sits on the only catchment cell's neighbour; weights sum to 1.
  float sum = 0.0f;
  for (int32_t k = 1; k <= 4; ++k) sum += s->forcing.RAIN_WEIGHT((k - 1) * 1000 + 1000, 999);
  EXPECT_NEAR(sum, 1.0f, 1e-6f);
  EXPECT_EQ(s->forcing.RAIN_WEIGHT(3 * 1000 + 1, 1), 0.0f);
}

}  // namespace
}  // namespace tarvex

namespace tarvex {
namespace {

template <class T>
std::vector<T> cells(const Grid<T>& g) {
  return std::vector<T>(g.data(), g.data() + 12);
}

TEST_F(Load, AsciiGridsLoadLikeTextGrids) {
  test::write_file(dir / "cn.txt", "80. 80. 75. 75.\n80. 70. 70. 75.\n85. 85. 80. 0.\n");
  load(3);
  ASSERT_EQ(refused, 0);
  const auto z = cells(s->catchment.ELEVATION), soil = cells(s->catchment.SOIL_CAPACITY);
  const auto dirs = cells(s->catchment.FLOW_DIR), area = cells(s->catchment.AREA_CELLS);

  const std::string head = "ncols 4\nnrows 3\nxllcorner 0\nyllcorner 0\ncellsize 100\nNODATA_value -9999\n";
  test::write_file(dir / "elev.asc", head + "12. 9.5 8. 7.\n9. 8. 7. 6.\n8.6 7. 6. 5.\n");
  test::write_file(dir / "cn.asc", "ncols 4\nnrows 3\nxllcorner 0\nyllcorner 0\ncellsize 100\nNODATA_value 255\n"
                                   "80 80 75 75\n80 70 70 75\n85 85 80 255\n");
  test::write_file(dir / "dir.asc", head + "6 6 6 8\n6 6 6 8\n6 6 6 0\n");
  test::write_file(dir / "area.asc", head + "1 2 3 4 1 2 3 8 1 2 3 12\n");
  ctl.elev_file = "elev.asc";
  ctl.cn_file = "cn.asc";
  ctl.dir_file = "dir.asc";
  ctl.area_file = "area.asc";
  load(3);
  ASSERT_EQ(refused, 0);
  EXPECT_EQ(cells(s->catchment.ELEVATION), z);
  EXPECT_EQ(cells(s->catchment.SOIL_CAPACITY), soil);  // no data reads as CN 0: no soil
  EXPECT_EQ(out, "\n");
  EXPECT_EQ(cells(s->catchment.FLOW_DIR), dirs);
  EXPECT_EQ(cells(s->catchment.AREA_CELLS), area);

  test::write_file(dir / "dir.asc", "ncols 4\nnrows 3\nxllcorner 0\nyllcorner 0\ncellsize 90\n6 6 6 8\n6 6 6 8\n6 6 6 0\n");
  expect_input_error(3, {"'dir.asc'", "cellsize 90", "100", "record 20"});
}

}  // namespace
}  // namespace tarvex

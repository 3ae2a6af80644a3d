#include "driver/read_param.hpp"

#include <cmath>
#include <optional>
#include <string>

#include "driver/check_parameters.hpp"
#include "driver/warn_error.hpp"
#include "forcing/input_limits.hpp"
#include "forcing/input_rain.hpp"
#include "forcing/input_temp.hpp"
#include "forcing/slope_comp.hpp"
#include "forcing/soil_storativity.hpp"
#include "io/record_reader.hpp"
#include "io/text_writer.hpp"

namespace tarvex {
namespace {

constexpr const char* kControlFile = "Tarvex.in";

// Opens a grid file named in the control file and reads NI rows of NJ values.
template <class T>
bool read_grid_file(const std::string& name, Grid<T>& g, int32_t ni, int32_t nj, const char* what) {
  auto f = RecordReader::try_open(name);
  if (!f) return false;
  for (int32_t I = 1; I <= ni; ++I) f->row(g.row(I), nj, "row " + std::to_string(I) + " of " + what);
  return true;
}

[[noreturn]] void refuse(const RecordReader& ctl, const std::string& what) {
  ctl.fail("record " + std::to_string(ctl.record()) + ": " + what);
}

// Elevations the runs use: catchment cells (channel roughness, cell
// temperature) and link ends (slopes).
void check_path_elevations(const ModelState& s, const std::string& elev_name) {
  auto check = [&](int32_t I, int32_t J) {
    const float z = s.ELEVATION(I, J);
    if (!(std::fabs(z) <= MAX_ELEVATION)) {
      throw InputError("file '" + elev_name + "': row " + std::to_string(I) + ", column " + std::to_string(J) +
                       ": the elevation " + shortest(z) + " m of a cell of the stream network lies outside -" +
                       shortest(MAX_ELEVATION) + " to " + shortest(MAX_ELEVATION) + " m");
    }
  };
  for (int32_t I = 1; I <= s.NI; ++I) {
    for (int32_t J = 1; J <= s.NJ; ++J) {
      if (s.SLOPE(I, J) > 0.0f) check(I, J);
    }
  }
  for (int32_t p = 1; p <= s.NPATH; ++p) check(s.IFIN(p), s.JFIN(p));
}

}  // namespace

void READ_PARAM(ModelState& s, int32_t& ERR, int32_t& STATUS) {
  auto opened = RecordReader::try_open(kControlFile);
  if (!opened) {
    ERR = 1;
    WARN_ERROR(1011);
    return;
  }
  RecordReader& ctl = *opened;
  const bool continuous = s.RUN_MODE == 3 || s.RUN_MODE == 4;

  ctl.skip(9);
  ctl.values("START_DAY, START_MONTH, START_YEAR", s.START_DAY, s.START_MONTH, s.START_YEAR);
  const int32_t start_record = ctl.record();
  if (continuous && (s.START_MONTH < 1 || s.START_MONTH > MAX_MONTHS)) {
    refuse(ctl, "the start month " + std::to_string(s.START_MONTH) + " is not a month (1 to 12)");
  }
  ctl.skip(3);
  ctl.values("N_DATA, the number of records of the rain series", s.N_DATA);
  if (s.N_DATA < 1) refuse(ctl, "the number of records N_DATA must be at least 1");
  ctl.skip(1);
  if (s.N_DATA > MAX_RECORDS) {
    ERR = 1;
    WARN_ERROR(1016);
    return;
  }

  ctl.values("DT_RAIN, the time step of the records in s", s.DT_RAIN);
  if (!(s.DT_RAIN > 0.0f)) refuse(ctl, "the time step of the records DT_RAIN must be positive");
  ctl.skip(1);
  ctl.values("NI, NJ, the rows and columns of the grids", s.NI, s.NJ);
  if (s.NI > MAX_GRID || s.NJ > MAX_GRID) {
    ERR = 1;
    WARN_ERROR(1018);
    return;
  }
  if (s.NI < 1 || s.NJ < 1) refuse(ctl, "a grid needs at least one row and one column");
  s.size_grids(s.NI, s.NJ);

  ctl.skip(1);
  ctl.values("CELL_DX, CELL_DY, the cell sizes in m", s.CELL_DX, s.CELL_DY);
  if (!(s.CELL_DX > 0.0f) || !(s.CELL_DY > 0.0f)) refuse(ctl, "the cell sizes must be positive");
  if (!(s.CELL_DX >= MIN_CELL_SIZE && s.CELL_DX <= MAX_CELL_SIZE && s.CELL_DY >= MIN_CELL_SIZE &&
        s.CELL_DY <= MAX_CELL_SIZE)) {
    refuse(ctl, "the cell sizes " + shortest(s.CELL_DX) + " and " + shortest(s.CELL_DY) + " m must lie between " +
                    shortest(MIN_CELL_SIZE) + " and " + shortest(MAX_CELL_SIZE) + " m");
  }
  ctl.skip(1);
  ctl.values("DT_SIM, the simulation time step in s", s.DT_SIM);
  if (!(s.DT_SIM > 0.0f)) refuse(ctl, "the simulation time step DT_SIM must be positive");
  ctl.skip(1);
  ctl.values("A_CHANNEL, the channel threshold area in km2", s.A_CHANNEL);
  ctl.skip(1);
  ctl.values("WD_HILL, the hillslope width-to-depth ratio", s.WD_HILL);
  const int32_t wd_hill_record = ctl.record();
  ctl.skip(1);
  ctl.values("NCLASS, the number of roughness classes", s.NCLASS);
  if (s.NCLASS > MAX_CLASSES) {
    ERR = 1;
    WARN_ERROR(1015);
    return;
  }

  ctl.skip(1);
  {
    ListRead r = ctl.read("the Strickler coefficients of the roughness classes");
    for (int32_t k = 1; k <= s.NCLASS; ++k) s.KS_CLASS(k) = r.f32();
    r.finish();
  }
  const int32_t ks_class_record = ctl.record();

  ctl.skip(1);
  const std::string rough_name = ctl.name_item("the name of the roughness-class file");
  if (!read_grid_file(rough_name, s.ROUGH_CLASS, s.NI, s.NJ, "the roughness-class grid")) {
    ERR = 1;
    WARN_ERROR(1010);
    return;
  }

  ctl.skip(1);
  ctl.values("WD_CHAN, KS_CHAN_TOP, KS_CHAN_OUT", s.WD_CHAN, s.KS_CHAN_TOP, s.KS_CHAN_OUT);
  const int32_t channel_record = ctl.record();
  ctl.skip(1);
  ctl.values("K_SUB, the subsurface celerity per unit slope in m/s", s.K_SUB);
  const int32_t k_sub_record = ctl.record();
  ctl.skip(1);
  ctl.values("W_SUB, the subsurface flow width in m", s.W_SUB);
  const int32_t w_sub_record = ctl.record();
  ctl.skip(1);
  ctl.values("TAU_SUB, the time constant of the subsurface store in s", s.TAU_SUB);
  const int32_t tau_record = ctl.record();
  ctl.skip(1);
  ctl.values("F_SUB_CAP, the subsurface capacity factor", s.F_SUB_CAP);
  const int32_t f_sub_record = ctl.record();
  ctl.skip(1);
  ctl.values("IA_RATIO, the initial-abstraction ratio", s.IA_RATIO);
  const int32_t ia_record = ctl.record();
  ctl.skip(1);
  ctl.values("OUTLET_I, OUTLET_J, the outlet cell", s.OUTLET_I, s.OUTLET_J);
  ctl.skip(1);
  ctl.values("IMPERVIOUS", s.IMPERVIOUS);
  ctl.skip(1);
  ctl.values("INTERP_METHOD", s.INTERP_METHOD);
  ctl.skip(1);

  const std::string dir_name = ctl.name30("the name of the direction file");
  if (!read_grid_file(dir_name, s.FLOW_DIR, s.NI, s.NJ, "the direction grid")) {
    ERR = 1;
    WARN_ERROR(1009);
    return;
  }

  ctl.find_marker("A51");
  const std::string elev_name = ctl.name30("the name of the pit-free elevation file");
  if (!read_grid_file(elev_name, s.ELEVATION, s.NI, s.NJ, "the pit-free elevation grid")) {
    ERR = 1;
    WARN_ERROR(1008);
    return;
  }

  ctl.skip(1);
  const std::string area_name = ctl.name30("the name of the contributing-area file");
  if (!read_grid_file(area_name, s.AREA_CELLS, s.NI, s.NJ, "the contributing-area grid")) {
    ERR = 1;
    WARN_ERROR(1007);
    return;
  }

  ctl.skip(1);
  const std::string link_name = ctl.name30("the name of the link-property file");
  {
    auto links = RecordReader::try_open(link_name);
    if (!links) {
      ERR = 1;
      WARN_ERROR(1006);
      return;
    }
    const int32_t LINK_RECORDS = links->count_records();
    links->rewind();
    SLOPE_COMP(s, *links, LINK_RECORDS);
  }
  check_path_elevations(s, elev_name);

  print_line("");

  ctl.skip(1);
  if (s.RUN_MODE == 2 && s.IMPERVIOUS == 1) {
    s.SOIL_CAPACITY.fill(0.00001f);
    ctl.skip(1, "the name of the curve-number file");
  } else {
    const std::string cn_name = ctl.name30("the name of the curve-number file");
    RecordReader cn(cn_name);
    SOIL_STORATIVITY(s, cn);
  }

  for (int32_t I = 1; I <= s.NI; ++I) {
    for (int32_t J = 1; J <= s.NJ; ++J) s.CUM_RAIN(I, J) = s.SLOPE(I, J) > 0.0f ? 0.0f : -1.0f;
  }

  ctl.skip(1);
  {
    const std::string rain_name = ctl.name30("the name of the rain file");
    RecordReader rain(rain_name);
    INPUT_RAIN(s, rain, STATUS);
    if (STATUS >= 98) {
      ERR = 1;
      if (STATUS == 99) WARN_ERROR(1005);
      return;
    }
  }

  if (continuous) {
    ctl.skip(1);
    const std::string temp_name = ctl.name30("the name of the temperature file");
    RecordReader temp(temp_name);
    INPUT_TEMP(s, temp, STATUS);
    if (STATUS >= 98) {
      if (STATUS == 99) WARN_ERROR(1004);
      return;
    }
    // The calendar starts on this day; a day the month does not have would
    // shift every later month.
    if (s.START_DAY < 1 || s.START_DAY > s.DAYS_IN_MONTH(s.START_MONTH)) {
      throw InputError(std::string("file '") + kControlFile + "': record " + std::to_string(start_record) +
                       ": the start day " + std::to_string(s.START_DAY) + " is not a day of month " +
                       std::to_string(s.START_MONTH) + " (1 to " + std::to_string(s.DAYS_IN_MONTH(s.START_MONTH)) +
                       " in '" + temp_name + "')");
    }
    float doy = 0.0f;
    for (int32_t m = 1; m <= s.START_MONTH - 1; ++m) doy = doy + static_cast<float>(s.DAYS_IN_MONTH(m));
    s.START_DOY = doy + static_cast<float>(s.START_DAY);
  } else {
    ctl.skip(2);
  }

  ctl.skip(1);
  ctl.values("N_SECTIONS, the number of output cross-sections", s.N_SECTIONS);
  if (s.N_SECTIONS > MAX_SECTIONS) {
    ERR = 1;
    WARN_ERROR(1017);
    return;
  }
  ctl.skip(1);
  for (int32_t k = 1; k <= s.N_SECTIONS; ++k) {
    ctl.values("SECTION_I, SECTION_J, the output cross-section cell", s.SECTION_I(k), s.SECTION_J(k));
    if (!s.SLOPE.contains(s.SECTION_I(k), s.SECTION_J(k))) {
      refuse(ctl, "the cross-section cell (" + std::to_string(s.SECTION_I(k)) + ", " +
                      std::to_string(s.SECTION_J(k)) + ") lies outside the grid");
    }
  }

  // Parameters the runs divide by or index with: refuse what cannot be simulated.
  ParameterRecords rec;
  rec.control = kControlFile;
  rec.wd_hill = wd_hill_record;
  rec.ks_class = ks_class_record;
  rec.channel = channel_record;
  rec.k_sub = k_sub_record;
  rec.w_sub = w_sub_record;
  rec.tau_sub = tau_record;
  rec.f_sub_cap = f_sub_record;
  rec.ia_ratio = ia_record;
  rec.rough_file = rough_name;
  check_parameters(s, rec);
}

}  // namespace tarvex

#pragma once
// The one model state of the process: grids, series, path list, scalars.
// Filled by loading, read and partly rewritten by the runs and the terrain
// preprocessing. Grids are addressed (I, J) from 1: I is the row (record of
// the grid file), J the column (position in the record).
#include <array>
#include <cassert>
#include <cstdint>
#include <vector>

#include "model/limits.hpp"
#include "model/step_plan.hpp"

namespace tarvex {


// Grid of NI x NJ cells stored row by row, addressed from 1.
template <class T>
class Grid {
 public:
  // Sizes the grid; a grid whose size changes is zero-filled.
  void resize(int32_t ni, int32_t nj) {
    if (ni == ni_ && nj == nj_ && !data_.empty()) return;
    ni_ = ni;
    nj_ = nj;
    data_.assign(static_cast<std::size_t>(ni > 0 ? ni : 0) * static_cast<std::size_t>(nj > 0 ? nj : 0),
                 T{});
  }
  T& operator()(int32_t i, int32_t j) {
    assert(i >= 1 && i <= ni_ && j >= 1 && j <= nj_);
    return data_[static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(nj_) +
                 static_cast<std::size_t>(j - 1)];
  }
  const T& operator()(int32_t i, int32_t j) const {
    assert(i >= 1 && i <= ni_ && j >= 1 && j <= nj_);
    return data_[static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(nj_) +
                 static_cast<std::size_t>(j - 1)];
  }
  // Pointer to cell (i, 1); row(i)[j - 1] is cell (i, j).
  T* row(int32_t i) { return data_.data() + static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(nj_); }
  const T* row(int32_t i) const {
    return data_.data() + static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(nj_);
  }
  bool contains(int32_t i, int32_t j) const { return i >= 1 && i <= ni_ && j >= 1 && j <= nj_; }
  void fill(T v) { data_.assign(data_.size(), v); }
  int32_t rows() const { return ni_; }
  int32_t cols() const { return nj_; }
  T* data() { return data_.data(); }
  const T* data() const { return data_.data(); }
  std::size_t size() const { return data_.size(); }

 private:
  std::vector<T> data_;
  int32_t ni_ = 0;
  int32_t nj_ = 0;
};

// Table addressed (a, b) from 1, stored with b fastest. A x B is the extent
// it starts with; a run without capacities sizes it to its data.
template <class T, int32_t A, int32_t B>
class Table {
 public:
  Table() : data_(static_cast<std::size_t>(A) * B, T{}) {}
  T& operator()(int32_t a, int32_t b) {
    assert(a >= 1 && a <= rows_ && b >= 1 && b <= cols_);
    return data_[static_cast<std::size_t>(a - 1) * static_cast<std::size_t>(cols_) + static_cast<std::size_t>(b - 1)];
  }
  const T& operator()(int32_t a, int32_t b) const {
    assert(a >= 1 && a <= rows_ && b >= 1 && b <= cols_);
    return data_[static_cast<std::size_t>(a - 1) * static_cast<std::size_t>(cols_) + static_cast<std::size_t>(b - 1)];
  }
  void fill(T v) { data_.assign(data_.size(), v); }
  // New extent, zero-filled.
  void resize(int32_t rows, int32_t cols) {
    std::vector<T>(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols), T{}).swap(data_);
    rows_ = rows;
    cols_ = cols;
  }
  // At least `rows` rows; the entries held keep their values, new ones are zero.
  void grow_rows(int32_t rows) {
    if (rows <= rows_) return;
    data_.resize(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols_), T{});
    rows_ = rows;
  }
  int32_t rows() const { return rows_; }
  int32_t cols() const { return cols_; }

 private:
  std::vector<T> data_;
  int32_t rows_ = A;
  int32_t cols_ = B;
};

// Array addressed from 1, N entries unless resized.
template <class T, int32_t N>
struct Array1 {
  std::vector<T> v = std::vector<T>(static_cast<std::size_t>(N), T{});
  T& operator()(int32_t k) {
    assert(k >= 1 && k <= size());
    return v[static_cast<std::size_t>(k - 1)];
  }
  const T& operator()(int32_t k) const {
    assert(k >= 1 && k <= size());
    return v[static_cast<std::size_t>(k - 1)];
  }
  // At least n entries; the entries held keep their values, new ones are zero.
  void grow(int32_t n) {
    if (n > size()) v.resize(static_cast<std::size_t>(n), T{});
  }
  int32_t size() const { return static_cast<int32_t>(v.size()); }
};


// Run control: what the command line and record 1 choose.
struct RunControl {
  int32_t RUN_MODE = 0;        // 1 terrain, 2 event run, 3 continuous run, 4 calibration, 5 end
  int32_t RUN_JOBS = 0;        // threads one simulation run may use (0: the machine's cores)
  Limits limits = kLimits;     // capacities every check reads; kNoLimits sizes the tables to the data
  // Routed cells a thread of a run needs at least (0: the engine's 16384);
  // the tests lower it to spread small catchments over threads.
  int64_t min_cells_per_thread = 0;
};

// The catchment: geometry, grids, drainage network and output cross-sections.
// Loaded once; no run writes it (the terrain pass builds the network).
struct Catchment {
  int32_t NI = 0, NJ = 0;      // rows and columns in use
  float CELL_DX = 0.0f;        // m, along the row index
  float CELL_DY = 0.0f;        // m, along the column index
  int32_t OUTLET_I = 0, OUTLET_J = 0;  // outlet cell (row, column)
  int32_t N_SECTIONS = 0;      // output cross-sections
  Array1<int32_t, kLimits.sections> SECTION_I, SECTION_J;  // cross-section cells (row, column)

  Grid<int32_t> ROUGH_CLASS;   // hillslope roughness class 1..NCLASS
  Grid<int32_t> FLOW_DIR;      // D8 code 0..9 (see model/direction_code.hpp)
  Grid<float> ELEVATION;       // m, pit-free elevation
  Grid<int32_t> AREA_CELLS;    // contributing area, cells
  Grid<float> SLOPE;           // m/m on catchment cells, -1.0 elsewhere
  Grid<float> SOIL_CAPACITY;   // mm, maximum soil retention S (from the curve numbers)

  // Path list: every path from its first cell to the cell it ends above.
  int32_t NPATH = 0;
  Array1<int32_t, kLimits.paths> IIN, JIN, IFIN, JFIN;  // (row, column) of first and last cell

  // Terrain pass results.
  Grid<int32_t> STREAM_ORDER;     // Strahler order, 0 off the network
  Grid<int32_t> CATCHMENT_MASK;   // -1 on the catchment of the outlet
  Array1<int32_t, kLimits.paths> LINK_ORD, LINK_I, LINK_J;  // order and start cell of each link
  int32_t LINK_OVERFLOW = 0;      // 1 when the links exceed the table
};

// The forcing: calendar, rain and temperature series with their stations,
// evapotranspiration coefficients and the observed discharge. Loaded once;
// no run writes it.
struct Forcing {
  int32_t START_DAY = 0, START_MONTH = 0, START_YEAR = 0;  // date of the first record
  float START_DOY = 0.0f;      // days, day of the year of the first record
  int32_t N_DATA = 0;          // records of the rain and temperature series
  float DT_RAIN = 0.0f;        // s, step of the records
  int32_t INTERP_METHOD = 0;   // 1 nearest gauge, otherwise inverse squared distance

  int32_t N_RAIN_ST = 0;
  Table<float, 2, kLimits.rain_gauges> RAIN_XY;                   // cell units: (1,k) row, (2,k) column
  Table<float, kLimits.records, kLimits.rain_gauges> RAIN_DATA;   // mm per record
  Table<int32_t, kLimits.records, kLimits.rain_gauges> RAIN_MISSING;  // 1 where a value is missing
  Grid<int32_t> RAIN_STATION_MAP;  // nearest gauge; -1 off the catchment
  Grid<float> RAIN_WEIGHT;         // (gauges*NI) x NJ inverse-distance weights, row (k-1)*NI + I

  int32_t N_TEMP_ST = 0;
  Table<float, 2, kLimits.temp_stations> TEMP_XY;                    // cell units, as RAIN_XY
  Array1<float, kLimits.temp_stations> TEMP_Z;                       // m, station elevation
  Table<float, kLimits.records, kLimits.temp_stations> TEMP_DATA;    // degrees Celsius
  Table<int32_t, kLimits.records, kLimits.temp_stations> TEMP_MISSING;
  Grid<int32_t> TEMP_STATION_MAP;  // nearest temperature station

  Array1<int32_t, MAX_MONTHS> DAYS_IN_MONTH;
  // Evapotranspiration of a month, mm: ET_SLOPE * T * B(m) * A(m) + ET_OFFSET
  // for the cell temperature T in degrees Celsius.
  float ET_OFFSET = 0.0f, ET_SLOPE = 0.0f;
  Array1<float, MAX_MONTHS> ET_MONTH_A, ET_MONTH_B;

  Table<float, kLimits.observed, kLimits.sections> Q_OBS;  // m3/s, observed per record; negative: missing
};

// The parameters of a run: the values a search varies and the fixed ones,
// with the simulation step and its plan.
struct Parameters {
  float DT_SIM = 0.0f;         // s, simulation step
  StepPlan step_plan;          // steps per record and per run, from N_DATA, DT_RAIN and DT_SIM
  float A_CHANNEL = 0.0f;      // km2, contributing area of a channel cell
  float WD_HILL = 0.0f;        // width-to-depth ratio, hillslope section
  int32_t NCLASS = 0;          // hillslope roughness classes
  Array1<float, kLimits.classes> KS_CLASS;  // m^(1/3)/s, Strickler coefficient per class
  float WD_CHAN = 0.0f;        // width-to-depth ratio, channel section
  float KS_CHAN_TOP = 0.0f;    // m^(1/3)/s, channel Strickler coefficient at 3282 m
  float KS_CHAN_OUT = 0.0f;    // m^(1/3)/s, channel Strickler coefficient at the outlet
  float K_SUB = 0.0f;          // m/s, subsurface celerity per unit slope
  float W_SUB = 0.0f;          // m, subsurface flow width
  float TAU_SUB = 0.0f;        // s, time constant of the subsurface store
  float F_SUB_CAP = 0.0f;      // subsurface capacity as a multiple of SOIL_CAPACITY
  float IA_RATIO = 0.0f;       // initial-abstraction ratio / soil store fraction
  int32_t IMPERVIOUS = 0;      // 1: an event run on a sealed catchment
};

// Working tables of one run driver (the single run and the objective-function
// run each own one set): the step tables of the station distribution and the
// step runoff grid.
struct RunTables {
  Grid<int32_t> RAIN_STATION_MAP_STEP;  // nearest reporting gauge
  Grid<float> RAIN_WEIGHT_STEP;         // (gauges*NI) x NJ, row (k-1)*NI + I
  Grid<int32_t> TEMP_STATION_MAP_STEP;  // nearest reporting temperature station
  Grid<float> STEP_RUNOFF;              // mm per step, surface runoff depth; -1 off the catchment

  // gauges: the planes of the weight grid (the capacity, or the gauges of a
  // run without capacities).
  void resize(int32_t ni, int32_t nj, int32_t gauges = kLimits.rain_gauges) {
    RAIN_STATION_MAP_STEP.resize(ni, nj);
    RAIN_WEIGHT_STEP.resize(gauges * ni, nj);
    TEMP_STATION_MAP_STEP.resize(ni, nj);
    STEP_RUNOFF.resize(ni, nj);
  }
};

// The state a run changes: stores, flows and routing coefficients per cell.
// Every run starts it from zero (INITIAL_VALUE); the grids hold the state
// after the last step when the run ends.
struct RunState {
  Grid<float> CUM_RAIN;        // mm, rain since loading; -1.0 off the catchment
  Grid<float> EVENT_RAIN;      // mm since the start of an event run
  Grid<float> INFILTRATION;    // mm per step not turned into runoff (event method)
  Grid<float> SOIL_WATER;      // mm, soil store
  Grid<float> SUB_STORE;       // mm, subsurface store
  Grid<float> ET_DEFICIT;      // mm/s, evapotranspiration not met by the soil store
  Grid<float> SUB_FLOW;        // m3/s, subsurface outflow of the cell
  Grid<float> CELL_TEMP;       // degrees Celsius
  Grid<float> CELL_ET;         // mm per step, potential evapotranspiration
  Grid<float> C1_SUP, C2_SUP, C3_SUP, C4_SUP;  // Muskingum-Cunge coefficients, surface (dimensionless)
  Grid<float> C1_SUB, C2_SUB, C3_SUB, C4_SUB;  // Muskingum-Cunge coefficients, subsurface (dimensionless)
  Grid<float> QIN_SUP, QOUT_SUP, QIN_SUB, QOUT_SUB;                  // m3/s, this step
  Grid<float> QIN_SUP_OLD, QOUT_SUP_OLD, QIN_SUB_OLD, QOUT_SUB_OLD;  // m3/s, the step before
  RunTables single_run;        // tables of the single run (modes 2 and 3)
  RunTables objective_run;     // tables of the objective-function run (mode 4)
};

// The results of the last run: the series at the output cross-sections.
struct Results {
  Table<float, kLimits.records, kLimits.sections> Q_SECTION_SURF;  // m3/s per step, surface
  Table<float, kLimits.records, kLimits.sections> Q_SECTION;       // m3/s per step, surface + subsurface
  Table<float, kLimits.records, kLimits.sections> Q_SIM_AGG;       // m3/s, mean of the steps of each record
  // Catchment-mean evapotranspiration of each step, mm, over the cells that
  // generate runoff: filled by a continuous run when want_et is set (the run
  // whose outputs are written), left empty otherwise.
  bool want_et = false;
  std::vector<double> ET_STEP;

  // With the capacities lifted: the series hold at least `steps` values.
  void size_series(int32_t steps, const Limits& limits);
};

// What one run reads and what it writes. A search worker points it at its
// own parameters, run state and results over the shared catchment and forcing.
struct RunModel {
  const RunControl& control;
  const Catchment& catchment;
  const Forcing& forcing;
  const Parameters& params;
  RunState& run;
  Results& results;
};

// Planes of the rain weight grids: the capacity, or with the capacities
// lifted the gauges read (at least one).
int32_t weight_planes(const Limits& limits, const Forcing& forcing);

// The loaded model of the process: one of each record.
struct ModelState {
  RunControl control;
  Catchment catchment;
  Forcing forcing;
  Parameters params;
  RunState run;
  Results results;

  // The records one run uses, over this state.
  RunModel view() { return RunModel{control, catchment, forcing, params, run, results}; }
  operator RunModel() { return view(); }

  // Sets step_plan from N_DATA, DT_RAIN and DT_SIM (DT_RAIN and DT_SIM
  // positive); the loading calls it once these are read and checked.
  void plan_steps() { params.step_plan = StepPlan::of(forcing.N_DATA, forcing.DT_RAIN, params.DT_SIM); }
  // Sizes every grid of the loaded inputs and of the simulation to NI x NJ.
  void size_grids(int32_t ni, int32_t nj);
  // Sizes the grids of the terrain mode to NI x NJ.
  void size_terrain_grids(int32_t ni, int32_t nj);
  int32_t weight_planes() const { return tarvex::weight_planes(control.limits, forcing); }
  // With the capacities lifted: sizes the rain tables to N_RAIN_ST gauges and
  // N_DATA records, the temperature tables to N_TEMP_ST stations. Throws an
  // InputError naming the table when memory does not hold it.
  // The series start with at most 65536 records and grow (grow_*_records) as
  // records are read, so memory follows the records the file holds.
  void size_rain_tables();
  void size_temp_tables();
  void grow_rain_records(int32_t n);
  void grow_temp_records(int32_t n);
  // With the capacities lifted: the observed series holds at least `records`
  // values (those read keep theirs, the others read as zero).
  void size_observed(int32_t records);
};

}  // namespace tarvex

#pragma once
// The control file "Tarvex.in", read once into typed values. Each value keeps
// the number of the record it was read from, for messages. A value that
// could not be read holds the error met on the way to it (a bad value, a
// file that ends early); the error is thrown when the value is taken, so
// that the program meets it at the same point of a run as when it read the
// file step by step, after the numbered refusals that come earlier.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "io/input_error.hpp"
#include "io/record_reader.hpp"

namespace tarvex {

template <class T>
class ControlValue {
 public:
  // The value; throws the error met reading it.
  const T& operator*() const {
    if (error_) throw *error_;
    return value_;
  }
  const T* operator->() const { return &**this; }
  // Record the value was read from (the last, for a read spanning records).
  int32_t record() const { return record_; }
  bool ok() const { return !error_; }

 private:
  friend class ControlParser;
  T value_{};
  int32_t record_ = 0;
  std::shared_ptr<const InputError> error_;
};

// Values read one after another (cells, file names), counted from 1. Past
// the values read, an item holds the error that ended the reading.
template <class T>
class ControlList {
 public:
  const ControlValue<T>& operator()(int32_t k) const {
    return k >= 1 && k <= size() ? items_[static_cast<std::size_t>(k - 1)] : rest_;
  }
  int32_t size() const { return static_cast<int32_t>(items_.size()); }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  friend class ControlParser;
  std::vector<ControlValue<T>> items_;
  ControlValue<T> rest_;
};

struct Cell {
  int32_t i = 0;
  int32_t j = 0;
};

class ControlFile {
 public:
  // Records 4, 6 and 8: observed discharge of the calibration run.
  struct Observed {
    ControlValue<std::string> file;
    ControlValue<int32_t> header_records;
    ControlValue<int32_t> values;
  };

  // What the terrain preprocessing reads, at the fixed records of a control
  // file without continuation lines.
  struct Terrain {
    ControlValue<std::string> dem;        // record 12
    ControlValue<Cell> grid;              // record 18: NI, NJ
    ControlValue<Cell> outlet;            // record 46
    ControlValue<std::string> directions;  // record 52
    ControlValue<int32_t> n_exempt;       // record 54
    ControlList<Cell> exempt;
    ControlValue<std::string> elevation;  // after the marker record
    ControlValue<std::string> area;
    ControlValue<std::string> links;
    // Record 20, needed only to write a GIS grid from a DEM without
    // georeference.
    ControlValue<std::pair<float, float>> cell_size;
  };

  // What loading a simulation reads, record after record.
  struct Run {
    ControlValue<std::vector<int32_t>> start;  // day, month, year
    ControlValue<int32_t> n_data;
    ControlValue<float> dt_rain;
    ControlValue<Cell> grid;
    ControlValue<std::pair<float, float>> cell_size;
    ControlValue<float> dt_sim;
    ControlValue<float> a_channel;
    ControlValue<float> wd_hill;
    ControlValue<int32_t> nclass;
    ControlValue<std::vector<float>> ks_class;
    ControlValue<std::string> roughness;
    ControlValue<std::vector<float>> channel;  // WD_CHAN, KS_CHAN_TOP, KS_CHAN_OUT
    ControlValue<float> k_sub, w_sub, tau_sub, f_sub_cap, ia_ratio;
    ControlValue<Cell> outlet;
    ControlValue<int32_t> impervious;
    ControlValue<int32_t> interp_method;
    ControlValue<std::string> directions;
    ControlValue<std::string> elevation;  // after marker "A51"
    ControlValue<std::string> area;
    ControlValue<std::string> links;
    ControlValue<std::string> curve_numbers;
    ControlValue<std::string> rain;
    ControlValue<std::string> temperature;  // continuous runs only
    ControlValue<int32_t> n_sections;
    ControlList<Cell> sections;
  };

  // After marker "A67": the result files of single runs.
  struct Output {
    ControlValue<bool> marker;
    ControlList<std::string> discharge_files;
    ControlValue<int32_t> components;  // 1: total flow only
    ControlValue<int32_t> kind;        // 1: time series, else annual maxima
  };

  // Reads the control file of a pass in the given mode (1 terrain, 2 event,
  // 3 continuous, 4 calibration). Nothing when the file cannot be opened.
  // The values are read as they stand: the load checks them against the
  // limits of the run.
  static std::optional<ControlFile> read(const std::filesystem::path& path, int32_t mode);
  // The same from text held in memory (tests, fuzzing).
  static ControlFile parse(RecordReader text, int32_t mode);

  // The output section alone, for a run with the given cross-sections.
  static Output read_output(RecordReader& text, int32_t sections);

  const std::string& name() const { return name_; }
  // Refuses a value: "file 'Tarvex.in': record N: what".
  [[noreturn]] void refuse(int32_t record, std::string_view what) const;

  Observed observed;
  Terrain terrain;
  Run run;
  Output output;

 private:
  std::string name_;
};

}  // namespace tarvex

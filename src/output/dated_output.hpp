#pragma once
// Results with dates: the discharge file in CSV and "outlet.csv". Record n
// (from 1) starts at start + (n - 1) * step seconds (io/csv_series.hpp).
#include <cstdint>
#include <string>
#include <vector>

#include "io/control_file.hpp"
#include "io/text_writer.hpp"

namespace tarvex {

// True when a pass of the mode reads a CSV series (rain, temperature in
// modes 3 and 4, observed discharge in mode 4): it writes "outlet.csv".
bool dated_inputs(int32_t mode, const ControlFile& ctl);

// Discharge file rows after the header. kind 1: time,surface_flow,total_flow,
// one row per record; otherwise annual maxima of windows of year_steps
// records: year,start,total_flow (year counted from 1, start the time of
// the window's first record).
void write_discharge_csv(TextWriter& out, int64_t start, int64_t step, const std::vector<float>& surface,
                         const std::vector<float>& total, int32_t records, int32_t kind, int32_t year_steps);

// Per record, the sum of its steps' values (steps per record R), in the
// blocks whose mean is the record's discharge; at most `records`, empty for
// no steps.
std::vector<double> record_sums(const std::vector<double>& steps, int32_t records, float R);

// time,simulated,observed,period: observed is empty where missing (NaN or
// negative) or past the observations; period the label of the record
// (warmup, calibration, validation), empty past the labels. With et (mm per
// record) a last column evapotranspiration_mm, empty where not a number.
void write_outlet_csv(const std::string& name, int64_t start, int64_t step, const std::vector<float>& simulated,
                      const std::vector<float>& observed, const std::vector<std::string>& periods,
                      const std::vector<double>& et = {});

}  // namespace tarvex

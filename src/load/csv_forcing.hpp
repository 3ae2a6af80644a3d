#pragma once
// Rain, temperature and observed discharge read from dated CSV series (see
// io/csv_series.hpp) into the tables the text layouts fill.
#include <cstdint>
#include <string>

#include "io/ascii_grid.hpp"
#include "io/control_file.hpp"
#include "io/csv_series.hpp"
#include "model/model_state.hpp"

namespace tarvex {

// The records of a run: from 00:00 of the start date (record 10), one every
// DT_RAIN seconds (record 16). Refuses, naming the control-file record, a
// start date that is no calendar day or a step of no whole number of seconds.
SeriesWindow run_window(const ModelState& s, const ControlFile& ctl, int32_t records);

// Rain gauges from the series' columns and the stations file beside it
// (positions in map coordinates of geo, or in cell units), the series, the
// missing flags and the station tables, as INPUT_RAIN fills them.
void INPUT_RAIN_CSV(ModelState& s, const std::string& name, const SeriesWindow& w, const GeoReference& geo);
// The same for temperature, with the evapotranspiration table beside it.
void INPUT_TEMP_CSV(ModelState& s, const std::string& name, const SeriesWindow& w, const GeoReference& geo);
// Q_OBS(1..w.records, 1..N_SECTIONS) by time, one column per cross-section
// (the series is checked but nothing is kept without a cross-section).
// A missing value reads as NaN when missing_allowed, else is refused.
void load_observed_csv(ModelState& s, const std::string& name, const SeriesWindow& w, bool missing_allowed);

}  // namespace tarvex
